// The real window host: the main window, the two list windows, the tray icon, caller-ID
// popups, message boxes and settings dialogs, over Qt. The controller's queued messages are
// drained on the window thread by a posted event of high priority (never by polling), ahead
// of repaints and other window work; the controller's timer is a QTimer. While the host waits
// in place (a local event loop that keeps the windows painted but takes no user input) no
// message is drained and no tick is delivered, so the controller never runs re-entrantly in
// the middle of its own operation. A wait for a long operation (WaitForReadable) takes user
// input too, but hands the controller only Quit, which ends the wait.
#pragma once

#include "core/Autostart.h"
#include "core/CWindowHost.h"
#include "core/MessageBox.h"

#include <QEvent>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class CCallLogDlg;
class CDesktopNotifier;
class CCallerIdPopup;
class CMainDialog;
class CMainWindow;
class CPhoneBookDlg;
class CTrayIcon;
class IDialUpService;
class QAction;
class QFileDialog;
class QMenu;
class QTimer;
class QWidget;

class CQtWindowHost final : public QObject, public CWindowHost {
    Q_OBJECT
public:
    // Shows a pop-up menu and returns the action chosen (null for none). Tests replace the
    // modal run.
    using PopupRunner = std::function<QAction*(QMenu&)>;
    // Runs a settings dialog modally; true on OK.
    using SettingsRunner = std::function<bool(ESettingsDialog, CSettings&)>;

    explicit CQtWindowHost(IDialUpService& dialUp);
    ~CQtWindowHost() override;

    // Connects the controller: the list windows are created on its settings, and commands,
    // typed keys, clicks and the close box go to it. Call once, before OnInitDialog.
    void Attach(CMainDialog& dialog);

    // After the controller's start-up: shows the main window, unless start-up already
    // minimised it (then it stays minimised) or hid it in the tray.
    void ShowMainAfterStartUp();

    // A termination signal or the end of the desktop session: runs the same shut-down as
    // "&Quit". An adapter open in progress gives up; inside modal runs (message boxes,
    // dialogs, menus, waits) every open one is closed first and the shut-down follows as soon
    // as they have returned. From then on no message box, dialog or menu is shown (their
    // texts go to the trace): nothing may keep the program from ending.
    void RequestQuit();
    // After start-up: a quit asked for while start-up ran now takes place.
    void RequestQuitIfPending() {
        if (m_bQuitRequested) {
            RunDeferred();
        }
    }
    bool QuitRequested() const { return m_bQuitRequested; }
    bool Ended() const { return m_bEnded; }

    CMainWindow& MainWindow() const { return *m_main; }
    CPhoneBookDlg* PhoneBookWindow() const { return m_phoneBookDlg; }
    CCallLogDlg* CallLogWindow() const { return m_callLogDlg; }
    CTrayIcon& Tray() const { return *m_tray; }
    // Popups still open, oldest first.
    std::vector<CCallerIdPopup*> OpenPopups() const;
    bool Waiting() const { return m_nWaitDepth > 0; }

    void SetMessageBoxFn(MessageBoxFn fn) { m_messageBox = std::move(fn); }
    void SetPopupRunner(PopupRunner runner) { m_popupRunner = std::move(runner); }
    void SetSettingsRunner(SettingsRunner runner) { m_settingsRunner = std::move(runner); }
    // Runs the file dialogs ("&Open...", import, export) modally; true when a file was chosen.
    using FileDialogRunner = std::function<bool(QFileDialog&)>;
    void SetFileDialogRunner(FileDialogRunner runner) { m_fileDialogRunner = std::move(runner); }

    static constexpr const char* kHelpMissing = "The help page (RingvaleDoc.htm) is not installed.";
    static constexpr const char* kHelpNotOpened = "No web browser could be opened for the help page.\n\nIt is at %s";

    // The autostart entry the configuration dialog's "Start with the desktop" manages.
    void SetAutostart(const SAutostart& autostart) { m_autostart = autostart; }

    // The help page: the first of the candidates that exists; empty when none does.
    static QString HelpPagePath(const std::vector<QString>& candidates);
    static std::vector<QString> HelpPageCandidates();

    // Builds the pop-up menu for the items (command ids in the actions' data).
    static void FillPopupMenu(QMenu& menu, const std::vector<SMenuItem>& items);

    // CWindowHost
    void MessageBox(const std::string& text) override;
    void SetStatusText(int part, const std::string& text) override;
    void AppendActivityLine(const std::string& line) override;
    int VisibleActivityLines() override;
    void SetTile(int tile, const STileView& view) override;
    void SetSelectIndicator(int tile, bool selected) override;
    void SetHoldIndicator(int tile, bool lit) override;
    void EnableControl(int id, bool enable) override;
    void SetButtonCheck(int id, bool checked) override;
    void SetButtonImage(int id, int image) override;
    void InsertMenuItem(EMenu menu, int position, int command, const std::string& text, bool checked) override;
    void RemoveMenuItem(int command) override;
    void CheckMenuItem(int command, bool checked) override;
    void EnableMenuItem(int command, bool enable) override;
    void RedrawMenuBar() override;
    void AddTrayIcon(int image, const std::string& tip) override;
    void SetTrayTip(const std::string& tip) override;
    void SetTrayImage(int image) override;
    void RemoveTrayIcon() override;
    int TrackPopupMenu(const std::vector<SMenuItem>& items) override;
    void CreateCallerIdPopup(const SCallerIdPopup& popup) override;
    bool ShowCallNotification(const SCallNotification& notification) override;
    void CloseCallNotification(std::uint64_t key) override;
    void ShowWindow(EWindow window, bool show) override;
    bool IsWindowVisible(EWindow window) override;
    void SetWindowRect(EWindow window, const CRect& rect) override;
    CRect WindowRect(EWindow window) override;
    void MaximizeWindow(EWindow window) override;
    bool IsWindowMaximized(EWindow window) override;
    void MinimizeMain() override;
    void RestoreMain() override;
    bool IsMainMinimized() override;
    void BringMainToForeground() override;
    void AttachStores(CPhoneBook* phoneBook, CCallLog* callLog) override;
    bool ChoosePhoneBookFile(const std::string& current, std::string& chosen) override;
    bool ChooseFile(const SFileChoice& choice, std::string& chosen) override;
    void StartTimer(int id, int periodMs) override;
    void StopTimer(int id) override;
    void EndDialog(int result) override;
    void SendToWindow(EWindow window, const CMessage& msg) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void WaitInPlace(int milliseconds) override;
    void RunOffWindowThread(const std::function<void()>& work) override;
    EWaitEnd WaitForReadable(int fd, int milliseconds) override;
    bool RunSettingsDialog(ESettingsDialog dialog, CSettings& settings) override;
    void OpenHelp() override;
    void MessagesPending() override;

signals:
    // A quit was asked for (it ends a WaitForReadable).
    void QuitAsked();

protected:
    void customEvent(QEvent* event) override;

private:
    static QEvent::Type DrainEventType();
    QWidget* Window(EWindow window) const;
    void ShowMainMinimized();
    // The tray the main window was hidden in went away: back to the taskbar, minimised.
    void BackFromVanishedTray();
    // During a WaitForReadable a command does not reach the controller: Quit and Escape end
    // the wait instead (the shut-down follows). True when the command was held back.
    bool HoldBackCommand(int command);
    void DrainNow();
    void OnTimerTick(int id);
    // Counts a modal run; when the last one ends a deferred drain or quit follows.
    void EnterModal();
    void LeaveModal();
    void RunDeferred();
    void CloseModals();
    // True (and traced) when the program is ending and the modal run must not start.
    bool SkipModal(const char* what, const std::string& text);

    IDialUpService& m_dialUp;
    CMainDialog* m_dialog = nullptr;
    std::unique_ptr<CMainWindow> m_main;
    CPhoneBookDlg* m_phoneBookDlg = nullptr; // owned by the main window (Qt parent)
    CCallLogDlg* m_callLogDlg = nullptr;
    CTrayIcon* m_tray = nullptr;
    CDesktopNotifier* m_notifier = nullptr; // a child of this host
    std::map<int, QTimer*> m_timers;
    std::vector<QPointer<CCallerIdPopup>> m_popups;
    MessageBoxFn m_messageBox;
    PopupRunner m_popupRunner;
    SettingsRunner m_settingsRunner;
    SAutostart m_autostart;
    FileDialogRunner m_fileDialogRunner;

    std::atomic<bool> m_drainQueued{false};
    bool m_bDrainDeferred = false;
    bool m_bQuitRequested = false;
    bool m_bQuitting = false; // a quit was requested: no more modal runs
    bool m_bEnded = false;
    bool m_bMainShown = false;   // the main window was shown once
    bool m_bStartHidden = false; // start-up hid it in the tray
    bool m_bStartMinimized = false;
    int m_nWaitDepth = 0;
    int m_nResponsiveWaits = 0; // WaitForReadable calls running
    int m_nModalDepth = 0;
    int m_nWaitCursor = 0;
};
