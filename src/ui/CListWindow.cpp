#include "ui/CListWindow.h"

#include "ui/CListFilterModel.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QVBoxLayout>

#include <algorithm>

// --- CListView ---

CListView::CListView(QWidget* parent) : QTreeView(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true); // keeps 100,000 rows cheap to lay out
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setIconSize(QSize(16, 16));
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setSectionResizeMode(QHeaderView::Interactive);
}

bool CListView::IsOnIcon(const QPoint& pos) const {
    const QModelIndex index = indexAt(pos);
    if (!index.isValid() || index.column() != 0) {
        return false;
    }
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    option.index = index;
    option.features |= QStyleOptionViewItem::HasDecoration | QStyleOptionViewItem::HasDisplay;
    option.icon = qvariant_cast<QIcon>(index.data(Qt::DecorationRole));
    option.text = index.data(Qt::DisplayRole).toString();
    const QRect icon = style()->subElementRect(QStyle::SE_ItemViewItemDecoration, &option, this);
    return icon.adjusted(-1, -1, 1, 1).contains(pos);
}

int CListView::FirstVisibleRow() const {
    const QModelIndex top = indexAt(QPoint(1, 1));
    return top.isValid() ? top.row() : 0;
}

int CListView::RowsPerPage() const {
    int rowHeight = 0;
    if (model() != nullptr && model()->rowCount() > 0) {
        rowHeight = visualRect(model()->index(FirstVisibleRow(), 0)).height();
    }
    if (rowHeight <= 0) {
        rowHeight = fontMetrics().height() + 4;
    }
    return std::max(1, viewport()->height() / rowHeight);
}

std::vector<int> CListView::SelectedRows() const {
    // The list selects whole rows: the selection's ranges name them directly, which stays
    // linear in the number of ranges where selectedRows() is not.
    std::vector<int> rows;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            rows.push_back(row);
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void CListView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && onDeleteKey) {
        onDeleteKey();
        return;
    }
    if (event->key() == Qt::Key_Insert && onInsertKey) {
        onInsertKey();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && onEnterKey) {
        onEnterKey();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CListView::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const bool onIcon = event->button() == Qt::LeftButton && IsOnIcon(pos);
    const QModelIndex index = indexAt(pos);
    QTreeView::mousePressEvent(event);
    if (onIcon && onIconClick) {
        onIconClick(index);
    }
}

void CListView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QTreeView::mouseDoubleClickEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    const bool onIcon = IsOnIcon(pos);
    // The second press selects like the first; it is not another icon click.
    QTreeView::mousePressEvent(event);
    if (onDoubleClick) {
        onDoubleClick(index, onIcon);
    }
}

// --- CListWindow ---

CListWindow::CListWindow(const QString& title, int padFirst, int padOther, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_padFirst(padFirst),
      m_padOther(padOther) {
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_menuBar = new QMenuBar(this);
    m_menuBar->setNativeMenuBar(false);
    layout->setMenuBar(m_menuBar);
    auto* bar = new QHBoxLayout();
    bar->setContentsMargins(4, 4, 4, 4);
    m_filterEdit = new QLineEdit(this);
    m_filterEdit->setObjectName(QStringLiteral("filter"));
    m_filterEdit->setPlaceholderText(QStringLiteral("Search (Ctrl+F)"));
    m_filterEdit->setClearButtonEnabled(true);
    m_filterEdit->installEventFilter(this);
    m_rowCount = new QLabel(this);
    m_rowCount->setObjectName(QStringLiteral("rowCount"));
    bar->addWidget(m_filterEdit, 1);
    bar->addWidget(m_rowCount);
    layout->addLayout(bar);
    m_view = new CListView(this);
    m_view->setObjectName(QStringLiteral("list"));
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(m_view);
    m_rowMenu = new QMenu(this);
    m_rowMenu->setObjectName(QStringLiteral("rowMenu"));
    connect(m_view, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (m_view->indexAt(pos).isValid() || !m_view->SelectedRows().empty()) {
            m_rowMenu->popup(m_view->viewport()->mapToGlobal(pos));
        }
    });
    auto* find = new QShortcut(QKeySequence::Find, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(find, &QShortcut::activated, this, [this] {
        m_filterEdit->setFocus(Qt::ShortcutFocusReason);
        m_filterEdit->selectAll();
    });
    auto* clear = new QShortcut(QKeySequence(Qt::Key_Escape), this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(clear, &QShortcut::activated, m_filterEdit, &QLineEdit::clear);
    resize(480, 260);
}

void CListWindow::SetSourceModel(CIdRowsModel* model) {
    m_filter = new CListFilterModel(model, this);
    m_view->setModel(m_filter);
    connect(m_filterEdit, &QLineEdit::textChanged, m_filter, &CListFilterModel::SetFilterText);
    for (QAbstractItemModel* counted :
         {static_cast<QAbstractItemModel*>(m_filter), static_cast<QAbstractItemModel*>(model)}) {
        connect(counted, &QAbstractItemModel::rowsInserted, this, &CListWindow::UpdateRowCount);
        connect(counted, &QAbstractItemModel::rowsRemoved, this, &CListWindow::UpdateRowCount);
        connect(counted, &QAbstractItemModel::modelReset, this, &CListWindow::UpdateRowCount);
        connect(counted, &QAbstractItemModel::layoutChanged, this, &CListWindow::UpdateRowCount);
    }
    UpdateRowCount();
}

bool CListWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_filterEdit && event->type() == QEvent::FocusIn && m_filter != nullptr) {
        m_filter->Prepare();
    }
    return QWidget::eventFilter(watched, event);
}

void CListWindow::UpdateRowCount() {
    const QLocale locale;
    const int all = m_filter->sourceModel()->rowCount();
    m_rowCount->setText(
        m_filter->FilterText().trimmed().isEmpty()
            ? locale.toString(all)
            : QStringLiteral("%1 of %2").arg(locale.toString(m_filter->rowCount()), locale.toString(all)));
}

QAction* CListWindow::AddWindowAction(const QString& text, const char* objectName, const QKeySequence& shortcut) {
    auto* action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(objectName));
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
    }
    return action;
}

std::vector<std::uint64_t> CListWindow::SelectedIds() const {
    std::vector<std::uint64_t> ids;
    for (const int row : m_view->SelectedRows()) {
        if (const std::uint64_t id = m_filter->IdAt(row); id != 0) {
            ids.push_back(id);
        }
    }
    return ids;
}

void CListWindow::CopySelectedNumbers() const {
    const auto* rows = static_cast<const CIdRowsModel*>(m_filter->sourceModel());
    QStringList numbers;
    for (const std::uint64_t id : SelectedIds()) {
        numbers << QString::fromStdString(rows->NumberOf(id));
    }
    if (!numbers.isEmpty()) {
        QGuiApplication::clipboard()->setText(numbers.join(QLatin1Char('\n')));
    }
}

int CListWindow::SourceRow(const QModelIndex& index) const {
    return index.isValid() ? m_filter->SourceRow(index.row()) : -1;
}

QAction* CListWindow::AddCommand(QMenuBar* bar, const QString& text, int id, const char* objectName) {
    QAction* action = bar->addAction(text);
    action->setData(id);
    action->setObjectName(QString::fromLatin1(objectName));
    return action;
}

void CListWindow::FinishInitialisation() {
    layout()->activate();
    m_nMarginX = width() - m_view->width();
    m_bInitialised = true;
}

int CListWindow::TextWidth(const QString& text) const {
    return m_view->fontMetrics().horizontalAdvance(text);
}

int CListWindow::WindowWidthFor(int columnWidths) const {
    return style()->pixelMetric(QStyle::PM_ScrollBarExtent) + m_nMarginX + columnWidths + 8;
}

void CListWindow::SetHeadingWidths() {
    QAbstractItemModel* model = m_view->model();
    if (model == nullptr) {
        return;
    }
    for (int c = 0; c < model->columnCount(); ++c) {
        m_view->setColumnWidth(c, TextWidth(model->headerData(c, Qt::Horizontal).toString()) + Pad(c));
    }
    if (m_bInitialised) {
        ResizeToColumns();
    }
}

void CListWindow::FitColumns() {
    QAbstractItemModel* model = m_view->model();
    if (model == nullptr || model->rowCount() == 0) {
        return;
    }
    const int columns = model->columnCount();
    std::vector<int> widths(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
        widths[static_cast<std::size_t>(c)] = TextWidth(model->headerData(c, Qt::Horizontal).toString()) + Pad(c);
    }
    const int first = m_view->FirstVisibleRow();
    const int last = std::min(model->rowCount(), first + m_view->RowsPerPage());
    for (int r = first; r < last; ++r) {
        for (int c = 0; c < columns; ++c) {
            const int cell = TextWidth(model->index(r, c).data(Qt::DisplayRole).toString()) + Pad(c);
            widths[static_cast<std::size_t>(c)] = std::max(widths[static_cast<std::size_t>(c)], cell);
        }
    }
    for (int c = 0; c < columns; ++c) {
        m_view->setColumnWidth(c, widths[static_cast<std::size_t>(c)]);
    }
    if (m_bInitialised) {
        ResizeToColumns();
    }
}

void CListWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnHide();
}

void CListWindow::ResizeToColumns() {
    if ((windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) != 0) {
        return; // the window keeps the size the user gave it
    }
    int sum = 0;
    for (int c = 0; c < m_view->header()->count(); ++c) {
        sum += m_view->columnWidth(c);
    }
    resize(WindowWidthFor(sum), height());
}
