#include "ui/CPhoneBookDlg.h"

#include "records/CCallLog.h"
#include "records/CPhoneBook.h"
#include "ui/CPhoneBookEntryDlg.h"
#include "ui/CPhoneBookModel.h"

#include "core/CWindowHost.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>

#include <memory>
#include <utility>

namespace {

// Padding of a column beyond its text: the name column also holds the icon.
constexpr int kPadName = 38;
constexpr int kPadOther = 20;

} // namespace

const std::array<CPhoneBookDlg::SColumnToggle, 10> CPhoneBookDlg::kColumnToggles = {{
    {32801, "Company", 1},
    {32802, "Memo", 2},
    {32792, "Last Incoming Time", 5},
    {32793, "Last Incoming Duration", 6},
    {32794, "Total Incoming Calls", 7},
    {32795, "Total Incoming Time", 8},
    {32796, "Last Outgoing Time", 9},
    {32797, "Last Outgoing Duration", 10},
    {32798, "Total Outgoing Calls", 11},
    {32799, "Total Outgoing Time", 12},
}};

CPhoneBookDlg::CPhoneBookDlg(CSettings& settings, PostMessageFn post, SendCommandFn command, QWidget* parent)
    : CListWindow(QStringLiteral("Phone Book"), kPadName, kPadOther, parent), m_settings(settings),
      m_model(new CPhoneBookModel(this)), m_post(std::move(post)), m_command(std::move(command)) {
    setObjectName(QStringLiteral("PhoneBookDlg"));
    SetSourceModel(m_model);
    View()->setProperty("controlId", kListId);
    View()->header()->setSectionsClickable(true);
    View()->header()->setSortIndicatorShown(false);

    QMenuBar* bar = MenuBar();
    connect(AddCommand(bar, QStringLiteral("&New"), kIdNew, "actionNew"), &QAction::triggered, this,
            [this] { OnNew(); });
    connect(AddCommand(bar, QStringLiteral("&Edit"), kIdEdit, "actionEdit"), &QAction::triggered, this,
            [this] { OnEdit(); });
    QAction* remove = AddCommand(bar, QStringLiteral("&Delete"), kIdDelete, "actionDelete");
    connect(remove, &QAction::triggered, this, [this] { OnDelete(); });

    m_columnsMenu = bar->addMenu(QStringLiteral("&Columns"));
    m_columnsMenu->setObjectName(QStringLiteral("menuColumns"));
    for (const SColumnToggle& toggle : kColumnToggles) {
        QAction* action = m_columnsMenu->addAction(QString::fromLatin1(toggle.text));
        action->setCheckable(true);
        action->setData(toggle.id);
        action->setObjectName(QStringLiteral("actionColumn%1").arg(toggle.bit));
        const int bit = toggle.bit;
        connect(action, &QAction::triggered, this, [this, bit] { OnToggleColumn(bit); });
    }
    m_optionsMenu = bar->addMenu(QStringLiteral("&Options"));
    m_optionsMenu->setObjectName(QStringLiteral("menuOptions"));
    QAction* incomplete = m_optionsMenu->addAction(QStringLiteral("&Log Incomplete Calls"));
    incomplete->setCheckable(true);
    incomplete->setData(kIdLogIncompleteCalls);
    incomplete->setObjectName(QStringLiteral("actionLogIncompleteCalls"));
    // Not the window's business: the controller flips the setting.
    connect(incomplete, &QAction::triggered, this, [this] { m_command(kIdLogIncompleteCalls); });
    connect(m_columnsMenu, &QMenu::aboutToShow, this, [this] { UpdateMenuChecks(); });
    connect(m_optionsMenu, &QMenu::aboutToShow, this, [this] { UpdateMenuChecks(); });

    connect(AddCommand(bar, QStringLiteral("Clear &Totals"), kIdClearTotals, "actionClearTotals"), &QAction::triggered,
            this, [this] { OnClearTotals(); });
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("menuFile"));
    connect(file->addAction(QStringLiteral("&Import...")), &QAction::triggered, this,
            [this] { m_command(cmd::kPhoneBookImport); });
    file->actions().back()->setObjectName(QStringLiteral("actionImport"));
    connect(file->addAction(QStringLiteral("E&xport...")), &QAction::triggered, this,
            [this] { m_command(cmd::kPhoneBookExport); });
    file->actions().back()->setObjectName(QStringLiteral("actionExport"));

    // The bar's "&Edit" edits an entry: undo and the row actions have a popup of their own.
    m_undo = AddWindowAction(QStringLiteral("&Undo Delete"), "actionUndo", QKeySequence::Undo);
    m_undo->setEnabled(false);
    connect(m_undo, &QAction::triggered, this, [this] { m_command(cmd::kUndoPhoneBookDelete); });
    QAction* copy = AddWindowAction(QStringLiteral("&Copy Number"), "actionCopyNumber", QKeySequence::Copy);
    connect(copy, &QAction::triggered, this, [this] { OnCopyNumber(); });
    m_block = AddWindowAction(QStringLiteral("B&lock Caller"), "actionBlockCaller", QKeySequence(Qt::CTRL | Qt::Key_B));
    connect(m_block, &QAction::triggered, this, [this] { OnToggleBlocked(); });
    QMenu* actions = bar->addMenu(QStringLiteral("&Actions"));
    actions->setObjectName(QStringLiteral("menuActions"));
    actions->addActions({m_undo, copy, m_block});
    actions->insertSeparator(copy);
    QAction* edit = new QAction(QStringLiteral("&Edit..."), this);
    connect(edit, &QAction::triggered, this, [this] { OnEdit(); });
    RowMenu()->addActions({edit, copy, m_block});
    RowMenu()->addSeparator();
    RowMenu()->addAction(remove);
    const auto blockText = [this] {
        m_block->setText(SelectionBlocked() ? QStringLiteral("Un&block Caller") : QStringLiteral("B&lock Caller"));
    };
    connect(actions, &QMenu::aboutToShow, this, blockText);
    connect(RowMenu(), &QMenu::aboutToShow, this, blockText);

    connect(AddCommand(bar, QStringLiteral("&Hide"), kIdHide, "actionHide"), &QAction::triggered, this,
            [this] { OnHide(); });

    View()->onDeleteKey = [this] { OnDelete(); };
    View()->onInsertKey = [this] { OnNew(); };
    View()->onIconClick = [this](const QModelIndex& index) { OnIconClickRow(SourceRow(index)); };
    View()->onDoubleClick = [this](const QModelIndex&, bool onIcon) {
        if (!onIcon) {
            OnEdit();
        }
    };
    connect(View()->header(), &QHeaderView::sectionClicked, this, [this](int k) { OnHeaderClicked(k); });

    m_entryRunner = [](CPhoneBookEntryDlg& dialog) { return dialog.exec() == QDialog::Accepted; };

    m_model->SetSortColumn(m_settings.m_nPhoneBookSortColumn);
    m_model->SetColumnMask(m_settings.m_dwPhoneBookColumnMask);
    SetHeadingWidths();
    FinishInitialisation();
    SetHeadingWidths(); // now that the margins are known, the window takes its width
}

CPhoneBookDlg::~CPhoneBookDlg() = default;

void CPhoneBookDlg::SetPhoneBook(const CPhoneBook* phoneBook) {
    m_model->SetPhoneBook(phoneBook);
}

void CPhoneBookDlg::SetCallLog(const CCallLog* callLog) {
    m_callLog = callLog;
}

void CPhoneBookDlg::SetEntryDialogRunner(EntryDialogRunner runner) {
    m_entryRunner = std::move(runner);
}

void CPhoneBookDlg::Fill() {
    // The window is built before the settings are read: the columns follow them here.
    if (m_model->SetColumnMask(m_settings.m_dwPhoneBookColumnMask)) {
        SetHeadingWidths();
    }
    m_model->SetSortColumn(m_settings.m_nPhoneBookSortColumn);
    m_model->Fill();
    FitColumns();
}

void CPhoneBookDlg::ClearRows() {
    m_model->Clear();
}

void CPhoneBookDlg::RefreshEntry(std::uint64_t id) {
    m_model->SetSortColumn(m_settings.m_nPhoneBookSortColumn);
    m_model->RefreshEntry(id);
    FitColumns();
}

bool CPhoneBookDlg::HandleMessage(const CMessage& msg) {
    switch (msg.id) {
    case WM_RV_PB_ADD_ENTRY:
        m_model->SetSortColumn(m_settings.m_nPhoneBookSortColumn);
        m_model->InsertEntry(msg.key);
        FitColumns();
        return true;
    case WM_RV_PB_DELETE_ENTRY:
        m_model->RemoveIds(msg.Keys());
        FitColumns();
        return true;
    case WM_RV_PB_REPLACE_ENTRY:
        // The edited entry (lParam = its old id) was re-filed as a new one (key).
        m_model->RemoveEntry(static_cast<std::uint64_t>(msg.lParam));
        m_model->SetSortColumn(m_settings.m_nPhoneBookSortColumn);
        m_model->InsertEntry(msg.key);
        FitColumns();
        return true;
    case WM_RV_PB_CLEAR_TOTALS:
        RefreshEntry(msg.key);
        return true;
    case WM_RV_PB_COLUMNS_CHANGED:
        OnColumnsChanged();
        return true;
    case WM_RV_RESTORED:
        m_model->SetSortColumn(m_settings.m_nPhoneBookSortColumn);
        for (const std::uint64_t id : msg.Keys()) {
            m_model->InsertEntry(id);
        }
        FitColumns();
        return true;
    case WM_RV_PB_SET_IGNORE:
        for (const std::uint64_t id : msg.Keys()) {
            RefreshEntry(id);
        }
        return true;
    case WM_RV_UNDO_AVAILABLE:
        m_undo->setEnabled(msg.wParam > 0);
        return true;
    case WM_RV_LOG_TO_PHONE_BOOK: {
        if (m_callLog == nullptr) {
            return true;
        }
        CCallLogRecord copy;
        {
            const auto lock = m_callLog->Lock();
            const CCallLogRecord* record = m_callLog->FindById(msg.key);
            if (record == nullptr) {
                return true;
            }
            copy = *record; // the dialog is modal: the record may go while it is open
        }
        OnNewFromRecord(copy);
        return true;
    }
    case WM_RV_NUMBER_TO_PHONE_BOOK:
        if (auto entry = EntryForNumber(msg.text)) {
            PostNewEntry(std::move(entry));
        }
        return true;
    default:
        return false;
    }
}

bool CPhoneBookDlg::RunEntryDialog(CPhoneBookEntryDlg& dialog) {
    dialog.UpdateControls();
    return m_entryRunner && m_entryRunner(dialog);
}

std::shared_ptr<CPhoneBookEntry> CPhoneBookDlg::EntryFromDialog(const CPhoneBookEntryDlg& dialog) {
    auto entry = std::make_shared<CPhoneBookEntry>(dialog.m_strArea + dialog.m_strNumber, dialog.m_strLastName,
                                                   dialog.m_strFirstName, dialog.m_strCompany, dialog.m_strMemo);
    entry->m_dwFlags = dialog.m_bIgnore ? PBF_IGNORE : 0;
    return entry;
}

void CPhoneBookDlg::OnNew() {
    if (auto entry = EntryForNumber("")) {
        PostNewEntry(std::move(entry));
    }
}

void CPhoneBookDlg::OnEdit() {
    const CPhoneBook* phoneBook = m_model->PhoneBook();
    const std::vector<std::uint64_t> ids = SelectedIds();
    if (phoneBook == nullptr || ids.empty()) {
        return;
    }
    const std::uint64_t id = ids.front();
    CPhoneBookEntryDlg dialog({}, this);
    {
        const auto lock = phoneBook->Lock();
        const CPhoneBookEntry* entry = phoneBook->FindById(id);
        if (entry == nullptr) {
            return;
        }
        const std::string& number = entry->m_strNumber;
        dialog.m_strArea = number.substr(0, 3);
        dialog.m_strNumber = number.size() > 3 ? number.substr(3) : std::string();
        dialog.m_strFirstName = entry->m_strFirstName;
        dialog.m_strLastName = entry->m_strLastName;
        dialog.m_strCompany = entry->m_strCompany;
        dialog.m_strMemo = entry->m_strMemo;
        dialog.m_bIgnore = (entry->m_dwFlags & PBF_IGNORE) != 0;
    }
    if (!RunEntryDialog(dialog)) {
        return;
    }
    // The store may have changed while the dialog was open (a call recorded, the entry
    // deleted): copy the entry as it is now, so no statistics are lost and nothing freed is
    // read.
    std::shared_ptr<CPhoneBookEntry> edited;
    {
        const auto lock = phoneBook->Lock();
        const CPhoneBookEntry* entry = phoneBook->FindById(id);
        if (entry == nullptr) {
            return;
        }
        edited = std::make_shared<CPhoneBookEntry>(*entry);
    }
    edited->m_strNumber = dialog.m_strArea + dialog.m_strNumber;
    edited->m_strLastName = dialog.m_strLastName;
    edited->m_strFirstName = dialog.m_strFirstName;
    edited->m_strCompany = dialog.m_strCompany;
    edited->m_strMemo = dialog.m_strMemo;
    edited->m_dwFlags = dialog.m_bIgnore ? PBF_IGNORE : 0; // the other bits are cleared
    edited->GetName();
    CMessage msg = CMessage::WithKey(WM_RV_PB_REPLACE_ENTRY, id);
    msg.object = std::move(edited);
    m_post(std::move(msg));
}

std::shared_ptr<CPhoneBookEntry> CPhoneBookDlg::EntryForNumber(const std::string& number) {
    const CPhoneBook* phoneBook = m_model->PhoneBook();
    CPhoneBookEntryDlg dialog({}, this);
    if (number.size() < 8) {
        dialog.m_strArea = phoneBook != nullptr ? phoneBook->GetAreaCode() : m_settings.m_strDefaultAreaCode;
        dialog.m_strNumber = number;
    } else {
        dialog.m_strArea = number.substr(0, 3);
        dialog.m_strNumber = number.substr(3);
    }
    return RunEntryDialog(dialog) ? EntryFromDialog(dialog) : nullptr;
}

void CPhoneBookDlg::PostNewEntry(std::shared_ptr<CPhoneBookEntry> entry) {
    CMessage msg = CMessage::WithKey(WM_RV_PB_ADD_ENTRY, entry->m_id);
    msg.object = std::move(entry);
    m_post(std::move(msg));
}

void CPhoneBookDlg::OnNewFromRecord(const CCallLogRecord& record) {
    auto entry = EntryForNumber(record.m_strNumber);
    if (!entry) {
        return;
    }
    if (record.m_bOutgoing) {
        entry->m_bHasOutgoing = true;
        entry->m_timeLastOutgoing = record.m_timeStart;
        entry->m_spanLastOutgoing = record.m_spanDuration;
        entry->m_spanTotalOutgoing = record.m_spanDuration;
        entry->m_nOutgoingCalls = 1;
    } else {
        entry->m_bHasIncoming = true;
        entry->m_timeLastIncoming = record.m_timeStart;
        entry->m_spanLastIncoming = record.m_spanDuration;
        entry->m_spanTotalIncoming = record.m_spanDuration;
        entry->m_nIncomingCalls = 1;
    }
    PostNewEntry(std::move(entry));
}

void CPhoneBookDlg::OnDelete() {
    // One request for the whole selection, so the phone book is saved once.
    std::vector<std::uint64_t> ids = SelectedIds();
    if (!ids.empty()) {
        m_post(CMessage::WithKeys(WM_RV_PB_DELETE_ENTRY, std::move(ids)));
    }
}

void CPhoneBookDlg::OnClearTotals() {
    for (const std::uint64_t id : SelectedIds()) {
        m_post(CMessage::WithKey(WM_RV_PB_CLEAR_TOTALS, id));
    }
}

void CPhoneBookDlg::OnCopyNumber() {
    CopySelectedNumbers();
}

bool CPhoneBookDlg::SelectionBlocked() const {
    const CPhoneBook* phoneBook = m_model->PhoneBook();
    const std::vector<std::uint64_t> ids = SelectedIds();
    if (phoneBook == nullptr || ids.empty()) {
        return false;
    }
    const auto lock = phoneBook->Lock();
    return std::all_of(ids.begin(), ids.end(), [&](std::uint64_t id) {
        const CPhoneBookEntry* entry = phoneBook->FindById(id);
        return entry != nullptr && (entry->m_dwFlags & PBF_IGNORE) != 0;
    });
}

void CPhoneBookDlg::OnToggleBlocked() {
    std::vector<std::uint64_t> ids = SelectedIds();
    if (ids.empty()) {
        return;
    }
    const bool block = !SelectionBlocked();
    CMessage msg = CMessage::WithKeys(WM_RV_PB_SET_IGNORE, std::move(ids));
    msg.wParam = block ? 1 : 0;
    m_post(std::move(msg));
}

void CPhoneBookDlg::OnHide() {
    m_command(kIdViewPhoneBook);
}

void CPhoneBookDlg::OnIconClickRow(int row) {
    const CPhoneBook* phoneBook = m_model->PhoneBook();
    if (phoneBook == nullptr) {
        return;
    }
    const auto lock = phoneBook->Lock();
    const CPhoneBookEntry* entry = m_model->EntryAt(row);
    if (entry != nullptr) {
        m_post(CMessage::WithText(WM_RV_DIAL_NUMBER, entry->m_strNumber));
    }
}

void CPhoneBookDlg::OnToggleColumn(int bit) {
    m_settings.m_dwPhoneBookColumnMask ^= 1U << bit;
    // Posted to the window itself, so the menu has closed before the list is rebuilt.
    QMetaObject::invokeMethod(
        this, [this] { OnColumnsChanged(); }, Qt::QueuedConnection);
}

void CPhoneBookDlg::OnColumnsChanged() {
    m_model->Clear();
    Fill(); // builds the columns from the mask again
}

void CPhoneBookDlg::OnHeaderClicked(int k) {
    const int bit = m_model->BitOfColumn(k);
    if (bit < 0) {
        return;
    }
    m_settings.m_nPhoneBookSortColumn = bit;
    m_model->SetSortColumn(bit);
    m_model->Sort();
    FitColumns();
}

void CPhoneBookDlg::UpdateMenuChecks() {
    for (QAction* action : m_columnsMenu->actions()) {
        for (const SColumnToggle& toggle : kColumnToggles) {
            if (action->data().toInt() == toggle.id) {
                action->setChecked((m_settings.m_dwPhoneBookColumnMask & (1U << toggle.bit)) != 0);
            }
        }
    }
    for (QAction* action : m_optionsMenu->actions()) {
        if (action->data().toInt() == kIdLogIncompleteCalls) {
            action->setChecked(m_settings.m_bIncompleteCallsToPhoneBook);
        }
    }
}

bool CPhoneBookDlg::ChoosePhoneBookFile(QWidget* parent, const std::string& current, std::string& chosen,
                                        const FileDialogRunner& runner) {
    QFileDialog dialog(parent, QStringLiteral("Select a PhoneBook File"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile); // a new name starts an empty phone book
    dialog.setNameFilters({QStringLiteral("PhoneBook Files (*.pbk)"), QStringLiteral("All Files (*)")});
    dialog.setDefaultSuffix(QStringLiteral("pbk"));
    if (!current.empty()) {
        const QFileInfo info(QString::fromStdString(current));
        dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    }
    const bool accepted = runner ? runner(dialog) : dialog.exec() == QDialog::Accepted;
    if (!accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    chosen = QFileInfo(dialog.selectedFiles().front()).absoluteFilePath().toStdString();
    return true;
}
