// CMainDialog: the controller of the whole program and its composition root. It owns the
// settings, the adapter link and its line monitor, the two stores and the subsystems that
// plug in (call control, the dial-up manager), runs start-up and shut-down, the 200 ms
// timer, and routes every private message and command id. Everything visible goes through
// the window host; everything runs on the window thread unless a method says otherwise.
#pragma once

#include "adapter/CLineMonitor.h"
#include "adapter/CModem.h"
#include "calls/CCallControl.h"
#include "calls/CModemReport.h"
#include "controller/CListWindowRequests.h"
#include "controller/CModemMonitoredLink.h"
#include "controller/CNetworkPart.h"
#include "controller/IControllerPart.h"
#include "core/ActivityList.h"
#include "core/CMessageQueue.h"
#include "core/CSettings.h"
#include "core/CWindowHost.h"
#include "core/Clock.h"
#include "dialup/CDialUpManager.h"
#include "dialup/IDialUpService.h"
#include "records/CCallLog.h"
#include "records/CPhoneBook.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CMainDialog final : private IModemReportSink {
public:
    struct SOptions {
        std::string settingsPath = CSettings::kFileName;
        // Where relative store names (PhoneBookName, CallLogName) are taken from; "" is the
        // working directory.
        std::string dataFolder;
        std::string adapterAddress = DefaultAdapterAddress();
        // Timing of the adapter link (tests shorten the serial retries and reply waits).
        CModemHooks modemHooks;
    };

    // The window-framework system commands OnSysCommand treats.
    static constexpr int SC_MINIMIZE = 0xF020;
    static constexpr int SC_RESTORE = 0xF120;

    static constexpr int kTimerPeriodMs = 200;
    static constexpr const char* kTrayTip = "Ringvale";

    // Constructs the adapter link (closed). Nothing is shown yet.
    CMainDialog(CWindowHost& host, const IClock& clock, IDialUpService& dialUp, SOptions options);
    ~CMainDialog() override;
    CMainDialog(const CMainDialog&) = delete;
    CMainDialog& operator=(const CMainDialog&) = delete;

    // The start-up sequence. False when the program is to end at once (the settings file was
    // missing and the configuration dialog was cancelled).
    bool OnInitDialog();

    // Quit / Enter, Escape and the close box (also a termination signal): shut down, then
    // end the main window.
    void OnOK();
    void OnCancel();
    void OnClose();
    // The shut-down sequence; runs once, whichever path asks first.
    void ShutDown();

    // Hands one AT command to the adapter link (traced as "TX: ...").
    void SendCommand(const std::string& command);

    // The 200 ms timer (id 1000). It runs only while something blinks, counts or waits for
    // the next tick (a call in a tile, the new-call tray blink, a pending minimise, a part
    // that asks for it): a tick with nothing left to do stops it, and any message, command
    // or key that brings such work starts it again.
    void OnTimer(int id);
    bool TimerRunning() const { return m_bTimerRunning; }

    // Posts a private message to the window thread; callable from any thread.
    void PostMessage(CMessage msg);
    // Handles every queued message (the host calls this after MessagesPending()).
    std::size_t DrainMessages();
    // Handles one private message.
    void OnMessage(CMessage msg);
    // Handles a command id of a menu item, button or dialog key.
    void OnCommand(int id);
    // SC_MINIMIZE and SC_RESTORE; false for any other command (default handling follows).
    bool OnSysCommand(int command);

    // Logs a text: trace file and activity list.
    void Log(const std::string& text);
    // The modal message box; on a worker thread it is posted to the window thread instead.
    void ShowMessage(const std::string& text);
    // true: boxes asked for on the window thread are kept back (while the link lock is held);
    // false: the ones kept back are shown once the last hold ends.
    void HoldMessageBoxes(bool hold);

    // The program is about to end (a termination signal, the session's end): an adapter open
    // in progress gives up at its next wait, and no other starts. Window thread.
    void AbortLinkOpens();

    // Plugs a subsystem in; it gets the commands and messages the controller leaves alone.
    void AddPart(IControllerPart* part);
    // Where adapter reports go; without one they are only logged.
    void SetReportSink(IModemReportSink* sink) { m_reportSink = sink; }

    // What a tile shows, for its hold indicator (call control supplies it).
    enum class ETileState { Empty, Active, Held };
    void SetTileStateSource(std::function<ETileState(int tile)> source) { m_tileState = std::move(source); }

    // Call control: the calls and tiles, the local phones and keypad, dialing, screening and
    // the remote-control triggers. It is the report sink and a part from construction on.
    CCallControl& CallControl() { return *m_callControl; }
    // A character typed into the main window: 0-9, * and # act as their keypad button;
    // false for any other character (default processing).
    bool OnChar(char c);

    // An incoming call was logged: count it in status bar part 3 and the tray tip ("1 New
    // Call", "2 New Calls", ...) and blink the tray icon until the next left click on it.
    void AnnounceNewCall();
    int NewCallCount() const { return m_nNewCalls; }

    // The dial-up connection manager: connection slots, connect/disconnect, their menu items.
    CDialUpManager& DialUpManager() { return *m_dialUpManager; }
    void RebuildConnectionMenu() { m_dialUpManager->RebuildConnectionMenu(); }
    void UpdateConnectionChecks() { m_dialUpManager->UpdateConnectionChecks(); }
    // Sends the call-waiting register for the current setting and shows it on button 1057.
    void ApplyCallWaiting();
    void OnEnableCallWaiting();

    CSettings& Settings() { return m_settings; }
    CModem& Modem() { return m_modem; }
    CLineMonitor& Monitor() { return m_monitor; }
    CPhoneBook* PhoneBook() { return m_phoneBook.get(); }
    CCallLog* CallLog() { return m_callLog.get(); }
    CMessageQueue& Messages() { return m_queue; }
    CWindowHost& Host() { return m_host; }
    const IClock& Clock() const { return m_clock; }
    bool Initialized() const { return m_bInitialized; }
    int VisibleActivityLines() const { return m_nVisibleLines; }

private:
    // IModemReportSink: without call control the reports are only logged.
    void OnCallReport(const CModemReport& report) override;
    void OnAudioReport(const CModemReport& report) override;

    // Puts a window at its saved normal rectangle, maximised when it was saved so.
    void PlaceWindow(EWindow window, const CRect& rect, bool maximized);
    bool OpenAdapter();
    // Says why the adapter could not be opened (unless the program is quitting).
    void ReportOpenFailure();
    // After an open that ended on the socket: a dial-up connection holds the serial port, and
    // the monitor watches for its end.
    void WatchForeignConnection();
    // Which transports an open tries, in which order.
    enum class ELinkOpen { SerialFirst, SocketFirst, SerialOnly };
    // Opens the link with the ComPort and Baud settings. On the window thread the open runs
    // off it; the message boxes it asks for are handed to `boxes`, or posted when that is null.
    bool OpenLink(ELinkOpen order = ELinkOpen::SerialFirst, std::vector<std::string>* boxes = nullptr);
    // The dial-up operation's reopen; a failure of a serial-first reopen is reported.
    bool ReopenAfterDialUp(bool serialFirst);
    bool AdapterConnectionUp();
    // WM_RV_ADAPTER_STATE: the adapter's device went away, or the link is up again.
    void OnAdapterState(EAdapterState state);
    // "Ringvale", with " - Adapter disconnected" while the device is gone and " - 2 New Calls"
    // while calls are unacknowledged.
    std::string TrayTip() const;
    void SetSelectIndicators();
    void UpdateHoldIndicators();
    void BlinkTrayIcon();
    bool TimerNeeded() const;
    void UpdateTimer();
    void StopTimerWhenIdle();
    void DispatchMessage(CMessage msg);
    void DispatchCommand(int id);
    void OnTrayNotify(int iconId, int mouseMessage);
    void OnViewPhoneBook();
    void OnViewCallLog();
    void OnConfigure();
    // A new ComPort or Baud from the configuration: the link is closed and opened on it at
    // once (unless a dial-up connection holds the serial port), with the start-up's handshake;
    // a port that cannot be opened is said as at start-up, and the setting stays.
    void ReopenOnNewPort();
    void OnPhoneBookOpen();
    void OnRemoteControl();
    void OnNetworkSettings();
    void ForwardToParts(CMessage& msg);
    // After a phone book entry was added or edited: every call log record with its number
    // takes its name, and the call log window shows the new names.
    void NameCallLogRecords(std::uint64_t entryId, const CMessage& msg);
    // A store's file name from the settings, resolved in the data folder.
    std::string StorePath(const std::string& name) const;
    bool OnUiThread() const { return std::this_thread::get_id() == m_uiThread; }

    CWindowHost& m_host;
    const IClock& m_clock;
    IDialUpService& m_dialUp;
    SOptions m_options;
    const std::thread::id m_uiThread;

    CSettings m_settings;
    // The settings' SReg63 as the adapter link sees it: the link may set it from the monitor
    // thread when it reopens after a foreign dial-up connection.
    std::atomic<int> m_nSReg63{9};
    CMessageQueue m_queue;
    CActivityList m_activity;
    CModem m_modem;
    CModemMonitoredLink m_link;
    CLineMonitor m_monitor;
    std::unique_ptr<CPhoneBook> m_phoneBook;
    std::unique_ptr<CCallLog> m_callLog;
    std::vector<IControllerPart*> m_parts;
    IModemReportSink* m_reportSink = nullptr;
    std::function<ETileState(int)> m_tileState;

    // What the monitor thread needs of the settings, copied under a lock so that a
    // configuration change on the window thread never races with a reopen.
    struct SLinkArgs {
        std::string comPort;
        int baud = 0;
        std::string modemName;
    };
    void SetLinkArgs();
    SLinkArgs LinkArgs() const;
    mutable std::mutex m_linkArgsMutex;
    SLinkArgs m_linkArgs;

    int m_nBoxHolds = 0;
    std::vector<std::string> m_heldBoxes;
    bool m_bInitialized = false;
    bool m_bMinimized = false;
    bool m_bMinimizeAtNextTick = false;
    int m_nTick = 0;
    bool m_bTimerRunning = false;
    int m_nSelectedTile = 0;
    bool m_bHoldBlinkPhase = false;
    int m_holdShown[4] = {-1, -1, -1, -1}; // image each hold indicator shows: -1 none yet, 0 unlit, 1 lit
    int m_selectShown[4] = {-1, -1, -1, -1};
    bool m_bAdapterLost = false; // the monitor waits for the adapter's device
    bool m_bNewCall = false;     // the tray-blink flag
    bool m_bTrayBlinkPhase = false;
    int m_nNewCalls = 0;
    int m_nVisibleLines = 0;

    std::unique_ptr<CDialUpManager> m_dialUpManager;
    // Declared last: it refers to the members above and goes first.
    std::unique_ptr<CCallControl> m_callControl;
    std::unique_ptr<IControllerPart> m_callControlPart;
    // Follows call control: goes before it.
    std::unique_ptr<CNetworkPart> m_networkPart;
    std::unique_ptr<CListWindowRequests> m_listRequests;
};
