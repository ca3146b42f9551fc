#include "ui/CQtWindowHost.h"

#include "controller/CMainDialog.h"
#include "ui/CCallLogDlg.h"
#include "ui/CCallerIdPopup.h"
#include "ui/CConfigDlg.h"
#include "ui/CDesktopNotifier.h"
#include "ui/CMainWindow.h"
#include "ui/CNetworkDlg.h"
#include "ui/CPhoneBookDlg.h"
#include "ui/CRemoteControlDlg.h"
#include "ui/CTileCtrl.h"
#include "ui/CTrayIcon.h"
#include "ui/UiMessageBox.h"

#include "core/Format.h"
#include "core/Trace.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <thread>

#ifndef RINGVALE_RELATIVE_DOC
#define RINGVALE_RELATIVE_DOC ""
#endif
#ifndef RINGVALE_INSTALLED_DOC
#define RINGVALE_INSTALLED_DOC ""
#endif
#ifndef RINGVALE_SOURCE_DOC
#define RINGVALE_SOURCE_DOC ""
#endif

namespace {

// A saved position that lies on no screen any more (a monitor was removed) would leave the
// window out of reach: such a window is moved onto the primary screen.
QPoint OnSomeScreen(const QPoint& topLeft) {
    const QPoint probe = topLeft + QPoint(20, 20);
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().contains(probe)) {
            return topLeft;
        }
    }
    if (QScreen* primary = QGuiApplication::primaryScreen()) {
        return primary->availableGeometry().topLeft();
    }
    return topLeft;
}

} // namespace

CQtWindowHost::CQtWindowHost(IDialUpService& dialUp) : m_dialUp(dialUp), m_main(std::make_unique<CMainWindow>()) {
    m_tray = new CTrayIcon(
        [this](int mouseMessage) {
            if (m_dialog != nullptr) {
                m_dialog->PostMessage(CMessage::Make(WM_RV_TRAY_NOTIFY, ctl::kTrayIcon, mouseMessage));
            }
        },
        this);
    connect(m_tray, &CTrayIcon::ShownChanged, this, [this](bool shown) {
        if (!shown) {
            BackFromVanishedTray();
        }
    });
    m_messageBox = QtMessageBoxFn(m_main.get());
    m_notifier = new CDesktopNotifier(
        [this](std::uint64_t key, ENotificationEvent event) {
            if (m_dialog != nullptr) {
                m_dialog->PostMessage(CMessage::WithKey(WM_RV_CALL_NOTIFICATION, key, event));
            }
        },
        this);
}

CQtWindowHost::~CQtWindowHost() {
    for (const QPointer<CCallerIdPopup>& popup : m_popups) {
        delete popup.data();
    }
}

void CQtWindowHost::Attach(CMainDialog& dialog) {
    m_dialog = &dialog;
    const PostMessageFn post = [this](CMessage msg) { m_dialog->PostMessage(std::move(msg)); };
    const SendCommandFn command = [this](int id) {
        if (!HoldBackCommand(id)) {
            m_dialog->OnCommand(id);
        }
    };
    m_phoneBookDlg = new CPhoneBookDlg(dialog.Settings(), post, command, m_main.get());
    m_phoneBookDlg->setObjectName(QStringLiteral("phoneBookWindow"));
    m_callLogDlg = new CCallLogDlg(post, command, m_main.get());
    m_callLogDlg->setObjectName(QStringLiteral("callLogWindow"));

    CMainWindow::SHandlers handlers;
    handlers.command = command;
    handlers.typedChar = [this](char c) { return m_nResponsiveWaits == 0 && m_dialog->OnChar(c); };
    handlers.sysCommand = [this](int sc) { m_dialog->OnSysCommand(sc); };
    handlers.close = [this] {
        if (m_nWaitDepth > 0) {
            RequestQuit(); // the operation that waits ends first, then the shut-down runs
        } else {
            m_dialog->OnClose();
        }
    };
    handlers.viewMenuAboutToShow = [this] {
        // Only the "&View" popup's items are check items.
        for (QAction* action : m_main->Menu(EMenu::View)->actions()) {
            const int command = action->data().toInt();
            if (command == cmd::kViewCallLog) {
                action->setChecked(m_dialog->Settings().m_bCallLogVisible);
            } else if (command == cmd::kViewPhoneBook) {
                action->setChecked(m_dialog->Settings().m_bPhoneBookVisible);
            }
        }
    };
    m_main->SetHandlers(std::move(handlers));
}

void CQtWindowHost::ShowMainAfterStartUp() {
    m_bMainShown = true;
    if (m_bStartHidden) {
        return; // in the tray
    }
    if (m_bStartMinimized) {
        ShowMainMinimized();
        return;
    }
    m_main->SetVisibleByProgram(true);
    m_main->activateWindow();
}

void CQtWindowHost::ShowMainMinimized() {
    m_main->show();
    m_main->MinimizeByProgram();
}

void CQtWindowHost::BackFromVanishedTray() {
    if (m_bEnded) {
        return;
    }
    if (!m_bMainShown) {
        m_bStartMinimized = m_bStartMinimized || m_bStartHidden;
        m_bStartHidden = false;
        return;
    }
    if (!m_main->isVisible()) {
        // Hidden in a tray that is gone: the taskbar keeps the window within reach.
        ShowMainMinimized();
    }
}

std::vector<CCallerIdPopup*> CQtWindowHost::OpenPopups() const {
    std::vector<CCallerIdPopup*> open;
    for (const QPointer<CCallerIdPopup>& popup : m_popups) {
        if (!popup.isNull() && popup->isVisible()) {
            open.push_back(popup.data());
        }
    }
    return open;
}

QString CQtWindowHost::HelpPagePath(const std::vector<QString>& candidates) {
    for (const QString& path : candidates) {
        if (!path.isEmpty() && QFileInfo(path).isFile()) {
            return QFileInfo(path).absoluteFilePath();
        }
    }
    return {};
}

std::vector<QString> CQtWindowHost::HelpPageCandidates() {
    // <prefix>/bin/ringvale finds <prefix>/share/doc/... whatever the prefix is.
    const QString besideProgram =
        QStringLiteral(RINGVALE_RELATIVE_DOC).isEmpty()
            ? QString()
            : QCoreApplication::applicationDirPath() + QStringLiteral("/../" RINGVALE_RELATIVE_DOC);
    return {besideProgram, QStringLiteral(RINGVALE_INSTALLED_DOC), QStringLiteral(RINGVALE_SOURCE_DOC),
            QStringLiteral("doc/RingvaleDoc.htm")};
}

void CQtWindowHost::FillPopupMenu(QMenu& menu, const std::vector<SMenuItem>& items) {
    for (const SMenuItem& item : items) {
        if (item.separator) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString::fromStdString(item.text));
        action->setData(item.command);
        action->setObjectName(QStringLiteral("popup%1").arg(item.command));
        if (item.checked) {
            action->setCheckable(true);
            action->setChecked(true);
        }
    }
}

void CQtWindowHost::EnterModal() {
    ++m_nModalDepth;
}

void CQtWindowHost::LeaveModal() {
    if (--m_nModalDepth > 0) {
        if (m_bQuitRequested) {
            CloseModals();
        }
        return;
    }
    // Whatever was held back runs once the operation that opened the modal has returned.
    QMetaObject::invokeMethod(
        this, [this] { RunDeferred(); }, Qt::QueuedConnection);
}

void CQtWindowHost::RunDeferred() {
    if (m_nModalDepth > 0 || m_nWaitDepth > 0) {
        return;
    }
    if (m_bDrainDeferred) {
        m_bDrainDeferred = false;
        MessagesPending();
    }
    if (m_bQuitRequested && m_dialog != nullptr && m_dialog->Initialized()) {
        m_bQuitRequested = false;
        m_dialog->OnOK();
    }
}

void CQtWindowHost::CloseModals() {
    // Every open one, not only the innermost: each returns in turn as the stack unwinds.
    for (int i = 0; i < 16 && QApplication::activePopupWidget() != nullptr; ++i) {
        QApplication::activePopupWidget()->close();
    }
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog != nullptr && dialog->isVisible() && dialog->isModal()) {
            dialog->reject();
        }
    }
    if (QWidget* modal = QApplication::activeModalWidget();
        modal != nullptr && qobject_cast<QDialog*>(modal) == nullptr) {
        modal->close();
    }
}

bool CQtWindowHost::HoldBackCommand(int command) {
    if (m_nResponsiveWaits == 0) {
        return false;
    }
    if (command == cmd::kOk || command == cmd::kCancel) {
        RequestQuit();
    }
    return true;
}

void CQtWindowHost::RequestQuit() {
    m_bQuitRequested = true;
    m_bQuitting = true;
    if (m_dialog != nullptr) {
        m_dialog->AbortLinkOpens();
    }
    emit QuitAsked();
    if (m_nModalDepth > 0) {
        CloseModals();
        return;
    }
    RunDeferred();
}

bool CQtWindowHost::SkipModal(const char* what, const std::string& text) {
    if (!m_bQuitting) {
        return false;
    }
    // The program is ending: nothing may wait for the user any more.
    Trace(std::string("<dbg> ") + what + " not shown (the program is ending)" + (text.empty() ? "" : ": " + text));
    return true;
}

QWidget* CQtWindowHost::Window(EWindow window) const {
    switch (window) {
    case EWindow::PhoneBook:
        return m_phoneBookDlg;
    case EWindow::CallLog:
        return m_callLogDlg;
    case EWindow::Main:
        break;
    }
    return m_main.get();
}

void CQtWindowHost::MessageBox(const std::string& text) {
    if (SkipModal("message box", text)) {
        return;
    }
    Trace("<dbg> message box: " + text);
    EnterModal();
    m_messageBox(text);
    LeaveModal();
}

void CQtWindowHost::SetStatusText(int part, const std::string& text) {
    m_main->StatusParts()->SetPartText(part, QString::fromStdString(text));
}

void CQtWindowHost::AppendActivityLine(const std::string& line) {
    m_main->AppendActivityLine(QString::fromStdString(line));
}

int CQtWindowHost::VisibleActivityLines() {
    return m_main->VisibleActivityLines();
}

void CQtWindowHost::SetTile(int tile, const STileView& view) {
    if (tile >= 0 && tile < 4) {
        m_main->Tile(tile)->SetView(view);
    }
}

void CQtWindowHost::SetSelectIndicator(int tile, bool selected) {
    m_main->SetSelectIndicator(tile, selected);
}

void CQtWindowHost::SetHoldIndicator(int tile, bool lit) {
    m_main->SetHoldIndicator(tile, lit);
}

void CQtWindowHost::EnableControl(int id, bool enable) {
    m_main->EnableControl(id, enable);
}

void CQtWindowHost::SetButtonCheck(int id, bool checked) {
    m_main->SetButtonCheck(id, checked);
}

void CQtWindowHost::SetButtonImage(int id, int image) {
    m_main->SetButtonImage(id, image);
}

void CQtWindowHost::InsertMenuItem(EMenu menu, int position, int command, const std::string& text, bool checked) {
    m_main->InsertMenuItem(menu, position, command, QString::fromStdString(text), checked);
}

void CQtWindowHost::RemoveMenuItem(int command) {
    m_main->RemoveMenuItem(command);
}

void CQtWindowHost::CheckMenuItem(int command, bool checked) {
    m_main->CheckMenuItem(command, checked);
}

void CQtWindowHost::EnableMenuItem(int command, bool enable) {
    m_main->EnableMenuItem(command, enable);
}

void CQtWindowHost::RedrawMenuBar() {
    m_main->menuBar()->update();
}

void CQtWindowHost::AddTrayIcon(int image, const std::string& tip) {
    m_tray->Add(image, QString::fromStdString(tip));
}

void CQtWindowHost::SetTrayTip(const std::string& tip) {
    m_tray->SetTip(QString::fromStdString(tip));
}

void CQtWindowHost::SetTrayImage(int image) {
    m_tray->SetImage(image);
}

void CQtWindowHost::RemoveTrayIcon() {
    m_tray->Remove();
}

int CQtWindowHost::TrackPopupMenu(const std::vector<SMenuItem>& items) {
    if (SkipModal("pop-up menu", "")) {
        return 0;
    }
    QMenu menu(m_main.get());
    menu.setObjectName(QStringLiteral("trayMenu"));
    FillPopupMenu(menu, items);
    if (m_main->isVisible()) {
        m_main->raise();
        m_main->activateWindow();
    }
    EnterModal();
    QAction* chosen = m_popupRunner ? m_popupRunner(menu) : menu.exec(QCursor::pos());
    LeaveModal();
    return chosen != nullptr ? chosen->data().toInt() : 0;
}

void CQtWindowHost::CreateCallerIdPopup(const SCallerIdPopup& popup) {
    std::erase_if(m_popups, [](const QPointer<CCallerIdPopup>& p) { return p.isNull(); });
    m_popups.emplace_back(CCallerIdPopup::Open(popup));
}

bool CQtWindowHost::ShowCallNotification(const SCallNotification& notification) {
    return m_notifier->Show(notification);
}

void CQtWindowHost::CloseCallNotification(std::uint64_t key) {
    m_notifier->Close(key);
}

void CQtWindowHost::ShowWindow(EWindow window, bool show) {
    if (window != EWindow::Main) {
        Window(window)->setVisible(show);
        return;
    }
    if (!m_bMainShown) {
        // Start-up: the window appears (or not) once start-up is over.
        m_bStartHidden = !show && m_tray->Shown();
        m_bStartMinimized = !show && !m_tray->Shown();
        return;
    }
    if (!show) {
        // Only into a tray that shows the icon to bring the window back with.
        if (m_tray->Shown()) {
            m_main->SetVisibleByProgram(false);
        } else {
            // No tray to come back from: the taskbar keeps the window within reach.
            m_main->MinimizeByProgram();
        }
        return;
    }
    m_main->SetVisibleByProgram(true);
}

bool CQtWindowHost::IsWindowVisible(EWindow window) {
    if (window == EWindow::Main && !m_bMainShown) {
        return !m_bStartHidden;
    }
    return Window(window)->isVisible();
}

void CQtWindowHost::SetWindowRect(EWindow window, const CRect& rect) {
    QWidget* target = Window(window);
    QSize size = target->size();
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (window != EWindow::Main && width > 0 && height > 0) {
        size = QSize(width, height);
    }
    target->setGeometry(QRect(OnSomeScreen(QPoint(rect.left, rect.top)), size));
}

CRect CQtWindowHost::WindowRect(EWindow window) {
    const QWidget* target = Window(window);
    QRect normal = target->geometry();
    if ((target->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) != 0 &&
        target->normalGeometry().isValid()) {
        normal = target->normalGeometry();
    }
    return CRect{normal.left(), normal.top(), normal.left() + normal.width(), normal.top() + normal.height()};
}

void CQtWindowHost::MaximizeWindow(EWindow window) {
    QWidget* target = Window(window);
    target->setWindowState(target->windowState() | Qt::WindowMaximized);
}

bool CQtWindowHost::IsWindowMaximized(EWindow window) {
    return Window(window)->isMaximized();
}

void CQtWindowHost::MinimizeMain() {
    if (!m_bMainShown) {
        m_bStartMinimized = true;
        return;
    }
    m_main->MinimizeByProgram();
}

void CQtWindowHost::RestoreMain() {
    if (!m_bMainShown) {
        m_bStartMinimized = false;
        return;
    }
    m_main->RestoreByProgram();
}

bool CQtWindowHost::IsMainMinimized() {
    if (!m_bMainShown) {
        return m_bStartMinimized || m_bStartHidden;
    }
    return m_main->isMinimized() || !m_main->isVisible();
}

void CQtWindowHost::BringMainToForeground() {
    if (!m_bMainShown) {
        return;
    }
    if (!m_main->isVisible()) {
        m_main->SetVisibleByProgram(true);
    }
    m_main->raise();
    m_main->activateWindow();
}

void CQtWindowHost::AttachStores(CPhoneBook* phoneBook, CCallLog* callLog) {
    if (m_phoneBookDlg == nullptr || m_callLogDlg == nullptr) {
        return;
    }
    m_phoneBookDlg->SetPhoneBook(phoneBook);
    m_phoneBookDlg->SetCallLog(callLog);
    if (phoneBook != nullptr) {
        m_phoneBookDlg->Fill();
    } else {
        m_phoneBookDlg->ClearRows();
    }
    m_callLogDlg->SetCallLog(callLog);
    m_callLogDlg->Refill();
}

bool CQtWindowHost::ChoosePhoneBookFile(const std::string& current, std::string& chosen) {
    if (SkipModal("file dialog", "")) {
        return false;
    }
    EnterModal();
    const bool picked = CPhoneBookDlg::ChoosePhoneBookFile(m_main.get(), current, chosen, m_fileDialogRunner);
    LeaveModal();
    return picked;
}

bool CQtWindowHost::ChooseFile(const SFileChoice& choice, std::string& chosen) {
    if (SkipModal("file dialog", choice.title)) {
        return false;
    }
    QWidget* parent = QApplication::activeWindow() != nullptr ? QApplication::activeWindow() : m_main.get();
    QFileDialog dialog(parent, QString::fromStdString(choice.title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(choice.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(choice.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    QStringList filters;
    for (const std::string& filter : choice.filters) {
        filters << QString::fromStdString(filter);
    }
    dialog.setNameFilters(filters);
    // A name typed without an extension takes the one of the filter chosen.
    const auto suffixOf = [](const QString& filter) {
        const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(filter);
        return match.hasMatch() ? match.captured(1) : QString();
    };
    if (!filters.isEmpty()) {
        dialog.setDefaultSuffix(suffixOf(filters.front()));
    }
    connect(&dialog, &QFileDialog::filterSelected, &dialog,
            [&](const QString& filter) { dialog.setDefaultSuffix(suffixOf(filter)); });
    EnterModal();
    const bool accepted = m_fileDialogRunner ? m_fileDialogRunner(dialog) : dialog.exec() == QDialog::Accepted;
    LeaveModal();
    if (!accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    chosen = QFileInfo(dialog.selectedFiles().front()).absoluteFilePath().toStdString();
    return true;
}

void CQtWindowHost::StartTimer(int id, int periodMs) {
    QTimer*& timer = m_timers[id];
    if (timer == nullptr) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] { OnTimerTick(id); });
    }
    timer->start(periodMs);
}

void CQtWindowHost::StopTimer(int id) {
    if (const auto it = m_timers.find(id); it != m_timers.end()) {
        it->second->stop();
    }
}

void CQtWindowHost::OnTimerTick(int id) {
    // A tick during a wait in place is dropped, as a timer message is while the window
    // thread sleeps.
    if (m_dialog != nullptr && m_nWaitDepth == 0) {
        m_dialog->OnTimer(id);
    }
}

void CQtWindowHost::EndDialog(int /*result*/) {
    m_bEnded = true;
    for (auto& [id, timer] : m_timers) {
        timer->stop();
    }
    for (const QPointer<CCallerIdPopup>& popup : m_popups) {
        if (!popup.isNull()) {
            popup->close();
        }
    }
    if (m_phoneBookDlg != nullptr) {
        m_phoneBookDlg->hide();
        m_callLogDlg->hide();
    }
    m_main->AllowClose();
    m_main->close();
    // The program ends when the main window has ended (the application returns no success
    // code of its own). With no event loop running yet (a quit during start-up) there is
    // nothing to leave, and the request would make the next local loop return at once.
    if (QThread::currentThread()->loopLevel() > 0) {
        QCoreApplication::exit(0);
    }
}

void CQtWindowHost::SendToWindow(EWindow window, const CMessage& msg) {
    if (window == EWindow::PhoneBook && m_phoneBookDlg != nullptr) {
        m_phoneBookDlg->HandleMessage(msg);
    } else if (window == EWindow::CallLog && m_callLogDlg != nullptr) {
        if (!m_callLogDlg->HandleMessage(msg) && (msg.id == WM_RV_PB_ADD_ENTRY || msg.id == WM_RV_PB_REPLACE_ENTRY)) {
            // A new or edited phone book entry renamed call log records: show the new names.
            m_callLogDlg->Refill();
        }
    }
}

void CQtWindowHost::BeginWaitCursor() {
    if (m_nWaitCursor++ == 0) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
}

void CQtWindowHost::EndWaitCursor() {
    if (m_nWaitCursor > 0 && --m_nWaitCursor == 0) {
        QApplication::restoreOverrideCursor();
    }
}

void CQtWindowHost::WaitInPlace(int milliseconds) {
    ++m_nWaitDepth;
    EnterModal();
    QEventLoop loop;
    QTimer::singleShot(std::max(0, milliseconds), &loop, &QEventLoop::quit);
    // Windows stay painted; clicks and keys wait until the controller's operation is over.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    --m_nWaitDepth;
    LeaveModal();
}

void CQtWindowHost::RunOffWindowThread(const std::function<void()>& work) {
    ++m_nWaitDepth;
    EnterModal();
    QEventLoop loop;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // Windows stay painted and signals are heard; clicks and keys wait, as in WaitInPlace.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    --m_nWaitDepth;
    LeaveModal();
}

CWindowHost::EWaitEnd CQtWindowHost::WaitForReadable(int fd, int milliseconds) {
    if (m_bQuitRequested) {
        return EWaitEnd::Quit;
    }
    ++m_nWaitDepth;
    ++m_nResponsiveWaits;
    EnterModal();
    EWaitEnd end = EWaitEnd::TimedOut;
    QEventLoop loop;
    QSocketNotifier ready(fd, QSocketNotifier::Read);
    connect(&ready, &QSocketNotifier::activated, &loop, [&] {
        end = EWaitEnd::Ready;
        loop.quit();
    });
    connect(this, &CQtWindowHost::QuitAsked, &loop, [&] {
        end = EWaitEnd::Quit;
        loop.quit();
    });
    QTimer::singleShot(std::max(0, milliseconds), &loop, &QEventLoop::quit);
    // Windows are painted and take input; commands are held back (see HoldBackCommand).
    loop.exec();
    --m_nResponsiveWaits;
    --m_nWaitDepth;
    LeaveModal();
    return end;
}

bool CQtWindowHost::RunSettingsDialog(ESettingsDialog dialog, CSettings& settings) {
    if (SkipModal("settings dialog", "")) {
        return false;
    }
    EnterModal();
    bool confirmed = false;
    if (m_settingsRunner) {
        confirmed = m_settingsRunner(dialog, settings);
    } else if (dialog == ESettingsDialog::Configuration) {
        confirmed = CConfigDlg::Run(settings, m_dialUp, QtMessageBoxFn(m_main.get()), m_autostart, m_main.get());
    } else if (dialog == ESettingsDialog::Network) {
        confirmed = CNetworkDlg::Run(settings, CNetworkDlg::EMode::Publisher, m_main.get());
    } else {
        CRemoteControlDlg remote(settings, QtMessageBoxFn(m_main.get()), m_main.get());
        confirmed = remote.exec() == QDialog::Accepted;
        if (confirmed) {
            remote.ApplyTo(settings);
        }
    }
    LeaveModal();
    return confirmed;
}

void CQtWindowHost::OpenHelp() {
    const QString path = HelpPagePath(HelpPageCandidates());
    if (path.isEmpty()) {
        MessageBox(kHelpMissing);
        return;
    }
    // The desktop's default browser, through xdg-open; whether it opened the page is known
    // only when xdg-open ends, so the window thread does not wait for it. The process is left
    // alone at the program's end: in a terminal session it may be the browser itself.
    auto* opener = new QProcess;
    const auto failed = [this, path] {
        if (m_dialog != nullptr) {
            m_dialog->PostMessage(CMessage::WithText(WM_RV_MESSAGE_BOX, StrFormat(kHelpNotOpened, qPrintable(path))));
        }
    };
    connect(opener, &QProcess::finished, this, [opener, failed](int code, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit || code != 0) {
            failed();
        }
        opener->deleteLater();
    });
    connect(opener, &QProcess::errorOccurred, this, [opener, failed](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            failed();
            opener->deleteLater();
        }
    });
    opener->start(QStringLiteral("xdg-open"), {path});
}

void CQtWindowHost::MessagesPending() {
    if (!m_drainQueued.exchange(true)) {
        // Ahead of the window work already queued (list updates, layouts, repaints): what the
        // controller answers an adapter report with is sent before the screen is redrawn.
        QCoreApplication::postEvent(this, new QEvent(DrainEventType()), Qt::HighEventPriority);
    }
}

QEvent::Type CQtWindowHost::DrainEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void CQtWindowHost::customEvent(QEvent* event) {
    if (event->type() == DrainEventType()) {
        DrainNow();
    }
}

void CQtWindowHost::DrainNow() {
    m_drainQueued = false;
    if (m_dialog == nullptr) {
        return;
    }
    if (m_nWaitDepth > 0) {
        m_bDrainDeferred = true; // posted messages stay queued until the wait is over
        return;
    }
    m_dialog->DrainMessages();
}
