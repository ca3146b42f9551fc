#include "ui/CMainWindow.h"

#include "ui/CIcons.h"
#include "ui/CNoFocusButton.h"
#include "ui/CTileCtrl.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

constexpr int kLampSize = 16;
constexpr int kKeySize = 40;
const char* const kKeyLabels[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "*", "0", "#"};

// Keypad grid position of each key in id order (1..9, *, 0, #): row and column.
int KeyRow(int index) {
    return index / 3;
}
int KeyColumn(int index) {
    return index % 3;
}

EIcon IconOfImage(int image) {
    switch (image) {
    case img::kOnlineIcon:
        return EIcon::DialUpOnline;
    case img::kOfflineIcon:
        return EIcon::DialUpOffline;
    case img::kCallWaitingIcon:
        return EIcon::CallWaitingOn;
    case img::kNewCallIcon:
        return EIcon::NewCall;
    default:
        return EIcon::App;
    }
}

} // namespace

CMainStatusBar::CMainStatusBar(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(false);
    for (int part = 0; part < kParts; ++part) {
        auto* label = new QLabel(this);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setContentsMargins(4, 0, 4, 0);
        label->setObjectName(QStringLiteral("statusPart%1").arg(part));
        m_parts[static_cast<std::size_t>(part)] = label;
    }
    setMinimumHeight(m_parts[0]->sizeHint().height() + 4);
}

void CMainStatusBar::SetPartText(int part, const QString& text) {
    if (part >= 0 && part < kParts) {
        m_parts[static_cast<std::size_t>(part)]->setText(text);
    }
}

QString CMainStatusBar::PartText(int part) const {
    return part >= 0 && part < kParts ? m_parts[static_cast<std::size_t>(part)]->text() : QString();
}

int CMainStatusBar::PartRight(int part, int width) {
    static constexpr int kPercent[] = {36, 61, 84};
    return part < 3 ? width * kPercent[part] / 100 : width;
}

void CMainStatusBar::resizeEvent(QResizeEvent* event) {
    QStatusBar::resizeEvent(event);
    Place();
}

void CMainStatusBar::Place() {
    const QRect client = contentsRect();
    int left = 0;
    for (int part = 0; part < kParts; ++part) {
        const int right = PartRight(part, client.width());
        m_parts[static_cast<std::size_t>(part)]->setGeometry(client.left() + left, client.top() + 1, right - left - 2,
                                                             client.height() - 2);
        left = right;
    }
}

CMainWindow::CMainWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Ringvale"));
    setWindowIcon(CIcons::Icon(EIcon::App));
    setObjectName(QStringLiteral("mainWindow"));
    // The window keeps the focus so typed digits reach the keypad.
    setFocusPolicy(Qt::StrongFocus);
    BuildControls();
    BuildMenus();
    // Wide enough for the status bar's four texts.
    setMinimumWidth(600);
    resize(660, sizeHint().height());
}

CNoFocusButton* CMainWindow::MakeButton(int id, const QString& objectName) {
    auto* button = new CNoFocusButton(this);
    button->setObjectName(objectName);
    m_buttons[id] = button;
    connect(button, &QPushButton::clicked, this, [this, id] { Command(id); });
    return button;
}

void CMainWindow::BuildControls() {
    auto* central = new QWidget(this);
    central->setFocusPolicy(Qt::NoFocus);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(8, 8, 8, 4);
    outer->setSpacing(8);

    auto* top = new QHBoxLayout;
    top->setSpacing(12);

    // Tile rows.
    auto* tiles = new QGridLayout;
    tiles->setHorizontalSpacing(4);
    tiles->setVerticalSpacing(6);
    for (int tile = 0; tile < 4; ++tile) {
        CNoFocusButton* select = MakeButton(ctl::kTileSelect[tile], QStringLiteral("select%1").arg(tile));
        select->setText(QStringLiteral("Select"));
        select->setToolTip(QStringLiteral("Select this call for the keypad and the call buttons"));
        select->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);

        auto* frame = new QFrame(this);
        frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        auto* frameLayout = new QVBoxLayout(frame);
        frameLayout->setContentsMargins(1, 1, 1, 1);
        auto* display = new CTileCtrl(frame);
        display->setObjectName(QStringLiteral("tile%1").arg(tile));
        display->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        frameLayout->addWidget(display);
        m_tiles[static_cast<std::size_t>(tile)] = display;

        CNoFocusButton* selectLamp =
            MakeButton(ctl::kSelectIndicator[tile], QStringLiteral("selectIndicator%1").arg(tile));
        CNoFocusButton* holdLamp = MakeButton(ctl::kHoldIndicator[tile], QStringLiteral("holdIndicator%1").arg(tile));
        for (CNoFocusButton* lamp : {selectLamp, holdLamp}) {
            lamp->SetAcceptsInput(false);
            lamp->setFlat(true);
            lamp->setIconSize(QSize(kLampSize, kLampSize));
            lamp->setFixedSize(kLampSize + 8, kLampSize + 8);
        }
        selectLamp->setToolTip(QStringLiteral("Selected call"));
        holdLamp->setToolTip(QStringLiteral("Steady: active call; blinking: call on hold"));
        tiles->addWidget(select, tile, 0);
        tiles->addWidget(frame, tile, 1);
        tiles->addWidget(selectLamp, tile, 2, Qt::AlignVCenter);
        tiles->addWidget(holdLamp, tile, 3, Qt::AlignVCenter);
        SetSelectIndicator(tile, false);
        SetHoldIndicator(tile, false);
    }
    tiles->setColumnStretch(1, 1);

    // Keypad.
    auto* keypad = new QGridLayout;
    keypad->setSpacing(4);
    QFont keyFont = font();
    keyFont.setPointSize(keyFont.pointSize() + 3);
    keyFont.setBold(true);
    for (int index = 0; index <= ctl::kKeypadLast - ctl::kKeypadFirst; ++index) {
        CNoFocusButton* key = MakeButton(ctl::kKeypadFirst + index, QStringLiteral("key%1").arg(index));
        key->setText(QString::fromLatin1(kKeyLabels[index]));
        key->setFont(keyFont);
        key->setFixedSize(kKeySize, kKeySize - 6);
        keypad->addWidget(key, KeyRow(index), KeyColumn(index));
    }

    top->addLayout(tiles, 1);
    top->addLayout(keypad);
    outer->addLayout(top);

    // Call, dial-up and call-waiting buttons.
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    CNoFocusButton* hangUp = MakeButton(ctl::kHangUp, QStringLiteral("hangUp"));
    hangUp->setText(QStringLiteral("Hang Up"));
    hangUp->setIcon(CIcons::Icon(EIcon::HangUp));
    hangUp->setToolTip(QStringLiteral("Hang up the selected call"));
    CNoFocusButton* hold = MakeButton(ctl::kHold, QStringLiteral("hold"));
    hold->setText(QStringLiteral("Hold"));
    hold->setIcon(CIcons::Icon(EIcon::Hold));
    hold->setToolTip(QStringLiteral("Put the selected call on hold"));
    CNoFocusButton* dialUp = MakeButton(ctl::kDialUp, QStringLiteral("dialUp"));
    dialUp->setText(QStringLiteral("Dial-Up"));
    dialUp->setToolTip(QStringLiteral("Connect or disconnect the dial-up connection"));
    CNoFocusButton* callWaiting = MakeButton(ctl::kCallWaiting, QStringLiteral("callWaiting"));
    callWaiting->setText(QStringLiteral("Call Waiting"));
    callWaiting->setCheckable(true);
    callWaiting->setToolTip(QStringLiteral("Enable Call Waiting"));
    for (CNoFocusButton* button : {hangUp, hold, dialUp, callWaiting}) {
        button->setIconSize(QSize(24, 24));
        button->setMinimumHeight(34);
    }
    SetButtonImage(ctl::kDialUp, img::kOfflineIcon);
    SetButtonImage(ctl::kCallWaiting, img::kCallWaitingIcon);
    buttons->addWidget(hangUp);
    buttons->addWidget(hold);
    buttons->addStretch(1);
    buttons->addWidget(dialUp);
    buttons->addWidget(callWaiting);
    outer->addLayout(buttons);

    // Activity list: it never takes the focus either, so typing always reaches the keypad.
    m_activity = new QListWidget(this);
    m_activity->setObjectName(QStringLiteral("activityList"));
    m_activity->setFocusPolicy(Qt::NoFocus);
    m_activity->setSelectionMode(QAbstractItemView::NoSelection);
    m_activity->setUniformItemSizes(true);
    m_activity->setMinimumHeight(110);
    outer->addWidget(m_activity, 1);

    setCentralWidget(central);
    m_status = new CMainStatusBar(this);
    m_status->setObjectName(QStringLiteral("statusBar"));
    setStatusBar(m_status);
}

QAction* CMainWindow::AddCommand(QMenu* menu, const QString& text, int command, bool checkable) {
    auto* action = menu->addAction(text);
    action->setData(command);
    action->setCheckable(checkable);
    action->setObjectName(QStringLiteral("command%1").arg(command));
    return action;
}

QAction* CMainWindow::AddTopLevelCommand(const QString& text, int command) {
    auto* action = menuBar()->addAction(text);
    action->setData(command);
    action->setObjectName(QStringLiteral("command%1").arg(command));
    return action;
}

void CMainWindow::BuildMenus() {
    QMenuBar* bar = menuBar();
    m_phoneBookMenu = bar->addMenu(QStringLiteral("&Phone Book"));
    AddCommand(m_phoneBookMenu, QStringLiteral("&Open..."), cmd::kPhoneBookOpen);
    AddCommand(m_phoneBookMenu, QStringLiteral("&Save..."), cmd::kPhoneBookSave);
    AddCommand(m_phoneBookMenu, QStringLiteral("&Print..."), cmd::kPhoneBookPrint)->setEnabled(false);
    m_phoneBookMenu->addSeparator();
    AddCommand(m_phoneBookMenu, QStringLiteral("&View"), cmd::kViewPhoneBook);

    m_viewMenu = bar->addMenu(QStringLiteral("&View"));
    AddCommand(m_viewMenu, QStringLiteral("&Call Log"), cmd::kViewCallLog, true);
    m_viewMenu->addSeparator();
    AddCommand(m_viewMenu, QStringLiteral("&Phone Book"), cmd::kViewPhoneBook, true);
    connect(m_viewMenu, &QMenu::aboutToShow, this, [this] {
        if (m_handlers.viewMenuAboutToShow) {
            m_handlers.viewMenuAboutToShow();
        }
    });

    AddTopLevelCommand(QStringLiteral("&Configure"), cmd::kConfigure);

    m_internetMenu = bar->addMenu(QStringLiteral("&Internet"));
    m_internetMenu->addSeparator();
    AddCommand(m_internetMenu, QStringLiteral("&Clear Total Timer"), cmd::kClearTotalTimer);
    AddCommand(m_internetMenu, QStringLiteral("&Remote Control..."), cmd::kRemoteControl);
    AddCommand(m_internetMenu, QStringLiteral("&Network..."), cmd::kNetwork);

    AddTopLevelCommand(QStringLiteral("&Quit"), cmd::kOk);
    AddTopLevelCommand(QStringLiteral("&Help"), cmd::kHelp);

    connect(bar, &QMenuBar::triggered, this, &CMainWindow::OnAction);
}

void CMainWindow::OnAction(QAction* action) {
    bool ok = false;
    const int command = action->data().toInt(&ok);
    if (!ok || command == 0) {
        return;
    }
    if (action->isCheckable()) {
        // Check marks follow the program's state, not the click: undo the toggle Qt made.
        action->setChecked(!action->isChecked());
    }
    Command(command);
}

void CMainWindow::Command(int id) {
    if (auto it = m_buttons.find(id); it != m_buttons.end() && it->second->isCheckable()) {
        // The pressed state of a check button shows the program's setting: undo the toggle.
        it->second->setChecked(!it->second->isChecked());
    }
    if (m_handlers.command) {
        m_handlers.command(id);
    }
}

std::vector<QAction*> CMainWindow::Actions(int command) const {
    std::vector<QAction*> found;
    std::vector<QMenu*> menus = {m_phoneBookMenu, m_viewMenu, m_internetMenu};
    for (QMenu* menu : menus) {
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator() && action->data().toInt() == command) {
                found.push_back(action);
            }
        }
    }
    for (QAction* action : menuBar()->actions()) {
        if (action->menu() == nullptr && action->data().toInt() == command) {
            found.push_back(action);
        }
    }
    return found;
}

CNoFocusButton* CMainWindow::Button(int id) const {
    const auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}

QListWidget* CMainWindow::ActivityList() {
    FlushActivityLines();
    return m_activity;
}

void CMainWindow::AppendActivityLine(const QString& line) {
    if (m_pendingActivity.isEmpty()) {
        QMetaObject::invokeMethod(this, &CMainWindow::FlushActivityLines, Qt::QueuedConnection);
    }
    m_pendingActivity.append(line);
    if (m_pendingActivity.size() > kMaxActivityLines) {
        m_pendingActivity.removeFirst(); // it would be scrolled out at once
    }
}

void CMainWindow::FlushActivityLines() {
    if (m_pendingActivity.isEmpty()) {
        return;
    }
    m_activity->addItems(m_pendingActivity);
    m_pendingActivity.clear();
    while (m_activity->count() > kMaxActivityLines) {
        delete m_activity->takeItem(0);
    }
    m_activity->scrollToBottom();
}

int CMainWindow::VisibleActivityLines() const {
    const int itemHeight = std::max(1, m_activity->fontMetrics().height());
    return m_activity->viewport()->height() / itemHeight;
}

void CMainWindow::SetSelectIndicator(int tile, bool selected) {
    if (tile < 0 || tile >= 4) {
        return;
    }
    m_selectOn[static_cast<std::size_t>(tile)] = selected;
    Button(ctl::kSelectIndicator[tile])->setIcon(CIcons::Icon(selected ? EIcon::SelectOn : EIcon::SelectOff));
}

void CMainWindow::SetHoldIndicator(int tile, bool lit) {
    if (tile < 0 || tile >= 4) {
        return;
    }
    m_holdLit[static_cast<std::size_t>(tile)] = lit;
    Button(ctl::kHoldIndicator[tile])->setIcon(CIcons::Icon(lit ? EIcon::HoldLit : EIcon::HoldUnlit));
}

void CMainWindow::EnableControl(int id, bool enable) {
    if (CNoFocusButton* button = Button(id)) {
        button->SetEnabledState(enable);
    }
}

void CMainWindow::SetButtonCheck(int id, bool checked) {
    CNoFocusButton* button = Button(id);
    if (button == nullptr) {
        return;
    }
    button->setCheckable(true);
    button->setChecked(checked);
    if (id == ctl::kCallWaiting) {
        button->setIcon(CIcons::Icon(checked ? EIcon::CallWaitingOn : EIcon::CallWaitingOff));
    }
}

void CMainWindow::SetButtonImage(int id, int image) {
    CNoFocusButton* button = Button(id);
    if (button == nullptr) {
        return;
    }
    m_buttonImages[id] = image;
    EIcon icon = IconOfImage(image);
    if (id == ctl::kCallWaiting && !button->isChecked()) {
        icon = EIcon::CallWaitingOff;
    }
    button->setIcon(CIcons::Icon(icon));
    if (id == ctl::kDialUp) {
        button->setToolTip(image == img::kOnlineIcon ? QStringLiteral("Disconnect the dial-up connection")
                                                     : QStringLiteral("Connect the dial-up connection"));
    }
}

int CMainWindow::ButtonImage(int id) const {
    const auto it = m_buttonImages.find(id);
    return it == m_buttonImages.end() ? 0 : it->second;
}

void CMainWindow::InsertMenuItem(EMenu menu, int position, int command, const QString& text, bool checked) {
    QMenu* target = Menu(menu);
    const QList<QAction*> actions = target->actions();
    QAction* before = position >= 0 && position < actions.size() ? actions[position] : nullptr;
    auto* action = new QAction(text, target);
    action->setData(command);
    action->setObjectName(QStringLiteral("command%1").arg(command));
    action->setCheckable(true);
    action->setChecked(checked);
    target->insertAction(before, action);
}

void CMainWindow::RemoveMenuItem(int command) {
    for (QMenu* menu : {m_phoneBookMenu, m_viewMenu, m_internetMenu}) {
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator() && action->data().toInt() == command) {
                menu->removeAction(action);
                action->deleteLater();
            }
        }
    }
}

void CMainWindow::CheckMenuItem(int command, bool checked) {
    for (QAction* action : Actions(command)) {
        action->setChecked(checked);
    }
}

void CMainWindow::EnableMenuItem(int command, bool enable) {
    for (QAction* action : Actions(command)) {
        action->setEnabled(enable);
    }
}

void CMainWindow::MinimizeByProgram() {
    ++m_nProgramChange;
    if (isVisible()) {
        showMinimized();
    } else {
        setWindowState(windowState() | Qt::WindowMinimized);
    }
    --m_nProgramChange;
}

void CMainWindow::RestoreByProgram() {
    ++m_nProgramChange;
    // Back to what it was before: a maximised window stays maximised.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    if (isVisible()) {
        show();
        raise();
    }
    --m_nProgramChange;
}

void CMainWindow::SetVisibleByProgram(bool visible) {
    ++m_nProgramChange;
    if (visible) {
        // Out of the tray: back as a normal window, not as a minimised one.
        setWindowState(windowState() & ~Qt::WindowMinimized);
        show();
        raise();
    } else {
        hide();
    }
    --m_nProgramChange;
}

void CMainWindow::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (text.size() == 1 && (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0) {
        const char c = text.at(0).toLatin1();
        if (m_handlers.typedChar && c != 0 && m_handlers.typedChar(c)) {
            event->accept();
            return;
        }
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Command(cmd::kOk);
        return;
    case Qt::Key_Escape:
        Command(cmd::kCancel);
        return;
    default:
        QMainWindow::keyPressEvent(event);
    }
}

void CMainWindow::closeEvent(QCloseEvent* event) {
    if (m_bAllowClose) {
        event->accept();
        return;
    }
    // The close box runs the program's shut-down, which then ends the window.
    if (m_handlers.close) {
        m_handlers.close();
    }
    if (m_bAllowClose) {
        event->accept();
    } else {
        event->ignore();
    }
}

void CMainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || m_nProgramChange > 0 || !m_handlers.sysCommand) {
        return;
    }
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    const bool was = (change->oldState() & Qt::WindowMinimized) != 0;
    const bool now = (windowState() & Qt::WindowMinimized) != 0;
    // Reported once the window system's own change is complete, so that hiding the window
    // in the tray is not undone by the rest of that change.
    if (now && !was) {
        QMetaObject::invokeMethod(
            this, [this] { m_handlers.sysCommand(kScMinimize); }, Qt::QueuedConnection);
    } else if (was && !now) {
        QMetaObject::invokeMethod(
            this, [this] { m_handlers.sysCommand(kScRestore); }, Qt::QueuedConnection);
    }
}
