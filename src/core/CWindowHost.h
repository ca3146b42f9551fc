// Everything the controller and its subsystems ask of the windows, in one abstract interface.
// The Qt main window implements it; tests use a recording fake. Except where a method says
// otherwise, every call is made on the window thread.
#pragma once

#include "core/CSettings.h"
#include "core/Messages.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CPhoneBook;
class CCallLog;

// Control ids of the main window: other parts of the program refer to controls by these.
namespace ctl {
// Tile rows: display, select button, select indicator, hold indicator (tiles 0..3).
inline constexpr int kTileDisplay[4] = {1000, 1015, 1042, 1046};
inline constexpr int kTileSelect[4] = {1001, 1037, 1041, 1045};
inline constexpr int kSelectIndicator[4] = {1035, 1040, 1044, 1048};
inline constexpr int kHoldIndicator[4] = {1036, 1039, 1043, 1047};
// Keypad: 1002..1010 keys 1..9, 1011 "*", 1012 "0", 1013 "#".
inline constexpr int kKeypadFirst = 1002;
inline constexpr int kKeypadLast = 1013;
inline constexpr int kHangUp = 1017;
inline constexpr int kHold = 1049;
inline constexpr int kDialUp = 1014;
inline constexpr int kCallWaiting = 1057;
inline constexpr int kActivityList = 1020;
inline constexpr int kStatusBar = 103;
inline constexpr int kTimer = 1000;
inline constexpr int kTrayIcon = 1001;
} // namespace ctl

// Command ids of menus and dialog keys.
namespace cmd {
inline constexpr int kOk = 1;     // "&Quit" and the Enter key
inline constexpr int kCancel = 2; // the Escape key
inline constexpr int kPhoneBookOpen = 32771;
inline constexpr int kPhoneBookSave = 32772;
inline constexpr int kPhoneBookPrint = 32773;
inline constexpr int kToggleDialUp = 32776;
inline constexpr int kViewPhoneBook = 32778;
inline constexpr int kViewCallLog = 32779;
inline constexpr int kRemoteControl = 32781;
inline constexpr int kConfigure = 32791;
inline constexpr int kLogIncompleteCalls = 32800;
inline constexpr int kHelp = 32806;
inline constexpr int kConnection1 = 32809; // "Connect to %s" of slot 1; 32810, 32811 for slots 2, 3
inline constexpr int kClearTotalTimer = 32812;
inline constexpr int kNetwork = 32813; // "&Network...": the MQTT broker
// The list windows' file and undo commands.
inline constexpr int kPhoneBookImport = 32830;
inline constexpr int kPhoneBookExport = 32831;
inline constexpr int kCallLogExport = 32832;
inline constexpr int kUndoPhoneBookDelete = 32833;
inline constexpr int kUndoCallLogDelete = 32834;
} // namespace cmd

// Image resources the controller asks the host to show.
namespace img {
inline constexpr int kMainIcon = 128;
inline constexpr int kOfflineIcon = 143; // dial-up button: a press connects
inline constexpr int kOnlineIcon = 144;  // dial-up button: a press disconnects
inline constexpr int kNewCallIcon = 167;
inline constexpr int kCallWaitingIcon = 168;
} // namespace img

enum class EWindow {
    Main,
    PhoneBook, // the modeless phone book window
    CallLog,   // the modeless call log window
};

enum class EMenu {
    Internet, // the fourth top-level menu, "&Internet"
    View,     // "&View"
};

// What one tile shows. An empty tile (call == false) is a white area.
struct STileView {
    bool call = false;
    int port = 0;            // 1 or 2, drawn at the right of the first line
    std::string name;        // first line
    std::string number;      // second line, left
    std::string runningTime; // second line, right: "%d:%2.2d"
    bool operator==(const STileView&) const = default;
};

// One item of a pop-up menu; a separator has command 0.
struct SMenuItem {
    int command = 0;
    std::string text;
    bool checked = false;
    bool separator = false;
    bool operator==(const SMenuItem&) const = default;
};

// A caller-ID popup: a snapshot of the call and the caller-ID settings at the moment it was
// asked for. The popup owns itself and goes away when clicked or when its timer ends.
struct SCallerIdPopup {
    std::string name;
    std::string number; // the caller's number; not shown when showNumber is false
    int portIndex = 0;  // 0 or 1
    bool autoDismiss = true;
    int seconds = 10;
    std::string faceName;
    int pointSizeTenths = 100;
    bool bold = false;
    bool italic = false;
    std::uint32_t textColor = 0;              // 0x00BBGGRR
    std::uint32_t backgroundColor = 0xFFFFFF; // 0x00BBGGRR
    bool showNumber = true;
};

// A desktop notification of an offered call, shown through the desktop's notification
// service. The actions are offered where the service shows actions; a chosen one comes back
// as WM_RV_CALL_NOTIFICATION with the key.
struct SCallNotification {
    std::uint64_t key = 0; // the call's id
    std::string summary;   // the caller's name
    std::string body;      // the number (when shown) and the phone
    std::vector<ENotificationEvent> actions;
};

class CWindowHost {
public:
    virtual ~CWindowHost() = default;

    // A modal message box with one OK button; returns when the user has closed it.
    virtual void MessageBox(const std::string& text) = 0;

    // Status bar part 0..3: connection state, current on-line time, total on-line time, new calls.
    virtual void SetStatusText(int part, const std::string& text) = 0;

    // Appends one line to the activity list as shown (time prefix and escaping already applied).
    // The list keeps its newest 200 lines and scrolls so the newest is in view.
    virtual void AppendActivityLine(const std::string& line) = 0;
    // How many activity lines fit in the list box (its client height / its item height).
    virtual int VisibleActivityLines() = 0;

    // Tile 0..3: what it shows (repaints it).
    virtual void SetTile(int tile, const STileView& view) = 0;
    // Select indicator of tile 0..3: selected or unselected image.
    virtual void SetSelectIndicator(int tile, bool selected) = 0;
    // Hold indicator of tile 0..3: lit or unlit image.
    virtual void SetHoldIndicator(int tile, bool lit) = 0;

    // Buttons by control id.
    virtual void EnableControl(int id, bool enable) = 0;
    virtual void SetButtonCheck(int id, bool checked) = 0;
    virtual void SetButtonImage(int id, int image) = 0;

    // Menu bar items by command id. Removing an absent item does nothing.
    virtual void InsertMenuItem(EMenu menu, int position, int command, const std::string& text, bool checked) = 0;
    virtual void RemoveMenuItem(int command) = 0;
    virtual void CheckMenuItem(int command, bool checked) = 0;
    virtual void EnableMenuItem(int command, bool enable) = 0;
    virtual void RedrawMenuBar() = 0;

    // The tray icon (id 1001). Where the desktop has no tray these do nothing.
    virtual void AddTrayIcon(int image, const std::string& tip) = 0;
    virtual void SetTrayTip(const std::string& tip) = 0;
    virtual void SetTrayImage(int image) = 0;
    virtual void RemoveTrayIcon() = 0;

    // Shows a pop-up menu at the cursor (the main window comes to the foreground first) and
    // returns the chosen command, 0 when none was chosen.
    virtual int TrackPopupMenu(const std::vector<SMenuItem>& items) = 0;

    virtual void CreateCallerIdPopup(const SCallerIdPopup& popup) = 0;

    // Hands the notification to the desktop's notification service. False when there is
    // none (no session bus, no service): then nothing is shown. A service that fails to
    // show it later reports NE_Failed through WM_RV_CALL_NOTIFICATION.
    virtual bool ShowCallNotification(const SCallNotification& /*notification*/) { return false; }
    // Takes the notification with this key away (nothing when it is not up).
    virtual void CloseCallNotification(std::uint64_t /*key*/) {}

    // The main window and the two list windows.
    virtual void ShowWindow(EWindow window, bool show) = 0;
    virtual bool IsWindowVisible(EWindow window) = 0;
    // Position and size of the window's client area; for the main window only left and top
    // are used.
    virtual void SetWindowRect(EWindow window, const CRect& rect) = 0;
    // The window's normal rectangle: the one it has, or returns to when it is minimised or
    // maximised.
    virtual CRect WindowRect(EWindow window) = 0;
    // Maximises the window (a hidden one shows maximised) and tells whether it is maximised;
    // a maximised window keeps its WindowRect to return to.
    virtual void MaximizeWindow(EWindow window) = 0;
    virtual bool IsWindowMaximized(EWindow window) = 0;
    virtual void MinimizeMain() = 0;
    virtual void RestoreMain() = 0;
    virtual bool IsMainMinimized() = 0;
    virtual void BringMainToForeground() = 0;

    // The stores the list windows show (they fill their lists from them); both null when the
    // windows are destroyed at shut-down.
    virtual void AttachStores(CPhoneBook* phoneBook, CCallLog* callLog) = 0;

    // "&Open...": the file dialog for choosing a phone book file, starting at current; a
    // name that does not exist yet may be chosen. True with chosen set when the user picked
    // one. A host without the dialog chooses nothing.
    virtual bool ChoosePhoneBookFile(const std::string& /*current*/, std::string& /*chosen*/) { return false; }

    // A file dialog for importing or exporting: its title, its name filters ("vCard Files
    // (*.vcf *.vcard)"), and whether a file is to be written (a name that does not exist may
    // be chosen; the extension of the chosen filter is added to a name without one) or read.
    // True with chosen set (an absolute path) when the user picked a file. A host without the
    // dialog chooses nothing.
    struct SFileChoice {
        std::string title;
        std::vector<std::string> filters;
        bool save = false;
    };
    virtual bool ChooseFile(const SFileChoice& /*choice*/, std::string& /*chosen*/) { return false; }

    // The controller's periodic timer: the host calls CMainDialog::OnTimer(id) on the window
    // thread every periodMs until StopTimer.
    virtual void StartTimer(int id, int periodMs) = 0;
    virtual void StopTimer(int id) = 0;

    // Ends the main window after shut-down (the program then ends): result 1 OK, 2 Cancel.
    virtual void EndDialog(int result) = 0;

    // Hands a message on to a list window (the phone book or call log window), at once.
    virtual void SendToWindow(EWindow window, const CMessage& msg) = 0;

    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    // Blocks the window thread for the given time while keeping the windows painted; posted
    // messages stay queued until it returns.
    virtual void WaitInPlace(int milliseconds) = 0;
    // Runs work on a worker thread and returns when it has returned; meanwhile the window
    // thread keeps the windows painted as in WaitInPlace (and so still hears a termination
    // signal). For the adapter link's long opens. Without a window thread of its own, a host
    // simply runs it.
    virtual void RunOffWindowThread(const std::function<void()>& work) { work(); }

    // Blocks the window thread until fd is readable or the time has passed, for an operation
    // that may take long (a dial). The windows stay painted and take input, but of the user's
    // commands only Quit acts (and the close box): it ends the wait with Quit, and the
    // shut-down follows once the operation has returned, as it does for a termination signal.
    // Posted messages stay queued until the wait is over.
    enum class EWaitEnd { Ready, TimedOut, Quit };
    virtual EWaitEnd WaitForReadable(int fd, int milliseconds) = 0;

    // The settings dialogs edit the copy they are given; true when the user confirmed.
    enum class ESettingsDialog { Configuration, RemoteControl, Network };
    virtual bool RunSettingsDialog(ESettingsDialog dialog, CSettings& settings) = 0;

    // Opens the help page.
    virtual void OpenHelp() = 0;

    // Thread-safe: asks the window thread to drain the controller's message queue soon.
    virtual void MessagesPending() = 0;
};

// The wait cursor for the length of a scope.
class CWaitCursor {
public:
    explicit CWaitCursor(CWindowHost& host) : m_host(host) { m_host.BeginWaitCursor(); }
    ~CWaitCursor() { m_host.EndWaitCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    CWindowHost& m_host;
};
