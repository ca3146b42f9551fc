#include "controller/CMainDialog.h"

#include "calls/CCallCommands.h"
#include "core/DataFolders.h"
#include "core/Format.h"
#include "core/Trace.h"

#include <algorithm>
#include <cerrno>
#include <pwd.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr const char* kOpenFailed = "The ImpactIQ could not be opened on %s.\n\nPlease make sure that the port is "
                                    "correct\nand that no other applications are using it.";

// Message boxes the adapter link asks for while it opens off the window thread: collected, and
// shown by the window thread once the open is over.
thread_local std::vector<std::string>* t_heldBoxes = nullptr;

// What the user is told when the adapter could not be opened: the port as configured and as
// a device, and the reason the link found (for a port the user may not open, how to get the
// right to).
std::string OpenFailedText(const std::string& comPort, const CModem::SOpenProblem& problem) {
    if (problem.text.empty()) {
        return StrFormat(kOpenFailed, comPort.c_str());
    }
    const std::string path = SerialPathFromPortName(comPort);
    const std::string port = path == comPort ? comPort : comPort + " (" + path + ")";
    std::string text =
        StrFormat("The ImpactIQ could not be opened on %s:\n%s.\n\n", port.c_str(), problem.text.c_str());
    if (problem.error == EACCES || problem.error == EPERM) {
        const passwd* user = ::getpwuid(::geteuid());
        text += StrFormat("Your user may not use serial ports: add it to the group\n\"dialout\" (sudo adduser %s "
                          "dialout), then log in again.",
                          user != nullptr ? user->pw_name : "$USER");
    } else {
        text += "Please make sure that the port is correct\nand that no other applications are using it.";
    }
    return text;
}

CModemHooks WithSettingsHooks(CModemHooks hooks, CMainDialog& dialog, std::atomic<int>& sReg63) {
    hooks.messageBox = [&dialog](const std::string& text) { dialog.ShowMessage(text); };
    hooks.getSReg63 = [&sReg63] { return sReg63.load(); };
    hooks.setSReg63 = [&sReg63](int value) { sReg63 = value; };
    return hooks;
}

// Routes the controller's commands, messages and shut-down to call control.
class CCallControlPart final : public IControllerPart {
public:
    explicit CCallControlPart(CCallControl& calls) : m_calls(calls) {}
    bool OnCommand(int id) override { return m_calls.OnCommand(id); }
    bool OnMessage(CMessage& msg) override { return m_calls.OnMessage(msg); }
    void OnShutDown() override { m_calls.ShutDown(); }

private:
    CCallControl& m_calls;
};

} // namespace

CMainDialog::CMainDialog(CWindowHost& host, const IClock& clock, IDialUpService& dialUp, SOptions options)
    : m_host(host), m_clock(clock), m_dialUp(dialUp), m_options(std::move(options)),
      m_uiThread(std::this_thread::get_id()), m_modem(WithSettingsHooks(m_options.modemHooks, *this, m_nSReg63)),
      m_link(m_modem,
             {[this](bool serialOnly) { return OpenLink(serialOnly ? ELinkOpen::SerialOnly : ELinkOpen::SerialFirst); },
              [this] { return LinkArgs().comPort; }}),
      m_monitor(m_link, m_clock,
                CLineMonitor::SHooks{[this](CMessage msg) { PostMessage(std::move(msg)); },
                                     [this] { return AdapterConnectionUp(); }}) {
    m_queue.SetWakeUp([this] { m_host.MessagesPending(); });

    SCallHooks hooks;
    hooks.log = [this](const std::string& text) { Log(text); };
    hooks.sendCommand = [this](const std::string& command) { SendCommand(command); };
    hooks.writeCommand = [this](const std::string& command) { m_modem.WriteCommand(command); };
    hooks.post = [this](CMessage msg) { PostMessage(std::move(msg)); };
    // The phone book window rewrites an entry's row on this message (its statistics changed).
    hooks.phoneBookEntryUpdated = [this](std::uint64_t id) {
        m_host.SendToWindow(EWindow::PhoneBook, CMessage::WithKey(WM_RV_PB_CLEAR_TOTALS, id));
    };
    hooks.announceNewCall = [this] { AnnounceNewCall(); };
    hooks.showSelectedTile = [this](int tile) {
        m_nSelectedTile = tile;
        SetSelectIndicators();
    };
    hooks.phoneBook = [this] { return m_phoneBook.get(); };
    hooks.callLog = [this] { return m_callLog.get(); };
    m_dialUpManager = std::make_unique<CDialUpManager>(
        m_host, m_clock, m_dialUp, m_settings, m_modem, m_monitor,
        CDialUpManager::SHooks{[this](const std::string& text) { Log(text); },
                               [this](bool serialFirst) { return ReopenAfterDialUp(serialFirst); },
                               [this] { ApplyCallWaiting(); }, [this](bool hold) { HoldMessageBoxes(hold); }});
    m_callControl = std::make_unique<CCallControl>(m_host, m_clock, m_settings, std::move(hooks));
    m_callControl->SetDialUp(m_dialUpManager.get()); // remote-control triggers toggle the connection
    m_callControlPart = std::make_unique<CCallControlPart>(*m_callControl);
    AddPart(m_callControlPart.get());
    m_networkPart =
        std::make_unique<CNetworkPart>(*m_callControl, m_clock,
                                       CNetworkPart::SHooks{[this](CMessage msg) { PostMessage(std::move(msg)); },
                                                            [this](const std::string& text) { Log(text); }});
    AddPart(m_networkPart.get());
    m_callControl->SetObserver(m_networkPart.get());
    m_listRequests = std::make_unique<CListWindowRequests>(
        m_host, m_settings,
        CListWindowRequests::SHooks{[this] { return m_phoneBook.get(); }, [this] { return m_callLog.get(); },
                                    [this](const std::string& text) { Log(text); },
                                    [this](const std::string& text) { ShowMessage(text); }});
    AddPart(m_listRequests.get());
    SetReportSink(m_callControl.get());
    SetTileStateSource([this](int tile) {
        switch (m_callControl->Tiles().Shows(tile)) {
        case CTileSet::EShows::Call:
            return ETileState::Active;
        case CTileSet::EShows::HeldCall:
            return ETileState::Held;
        default:
            return ETileState::Empty;
        }
    });
}

CMainDialog::~CMainDialog() {
    m_monitor.Stop();
}

void CMainDialog::SetLinkArgs() {
    std::lock_guard<std::mutex> lock(m_linkArgsMutex);
    m_linkArgs = {m_settings.m_strComPort, m_settings.m_nBaud, m_settings.m_strModemName};
}

CMainDialog::SLinkArgs CMainDialog::LinkArgs() const {
    std::lock_guard<std::mutex> lock(m_linkArgsMutex);
    return m_linkArgs;
}

std::string CMainDialog::StorePath(const std::string& name) const {
    return PathInFolder(m_options.dataFolder, name);
}

bool CMainDialog::OnInitDialog() {
    // Settings; a missing file runs the configuration dialog, whose cancel ends the program.
    const auto loaded = m_settings.Load(
        m_options.settingsPath, [this](const std::string& text) { m_host.MessageBox(text); },
        [this](CSettings& s) { return m_host.RunSettingsDialog(CWindowHost::ESettingsDialog::Configuration, s); });
    if (loaded == CSettings::ELoadResult::Cancelled) {
        return false;
    }
    m_settings.m_nCurrentRASConnection = std::clamp(m_settings.m_nCurrentRASConnection, 0, kRasSlots - 1);
    m_nSReg63 = m_settings.m_nSReg63;
    SetLinkArgs();

    m_host.SetButtonImage(ctl::kDialUp, img::kOfflineIcon);
    m_host.SetButtonImage(ctl::kCallWaiting, img::kCallWaitingIcon);
    PlaceWindow(EWindow::Main, m_settings.m_rcMainPos, m_settings.m_bMainMaximized);

    m_settings.m_dwPhoneBookColumnMask |= 0x9;
    PlaceWindow(EWindow::PhoneBook, m_settings.m_rcPhoneBookPos, m_settings.m_bPhoneBookMaximized);
    PlaceWindow(EWindow::CallLog, m_settings.m_rcCallLogPos, m_settings.m_bCallLogMaximized);

    const MessageBoxFn box = [this](const std::string& text) { ShowMessage(text); };
    m_phoneBook =
        std::make_unique<CPhoneBook>(StorePath(m_settings.m_strPhoneBookName), m_settings.m_strDefaultAreaCode, box);
    m_callLog =
        std::make_unique<CCallLog>(StorePath(m_settings.m_strCallLogName), m_settings.m_strDefaultAreaCode, box);
    m_host.AttachStores(m_phoneBook.get(), m_callLog.get());
    if (m_settings.m_bPhoneBookVisible) {
        m_host.ShowWindow(EWindow::PhoneBook, true);
    }
    if (m_settings.m_bCallLogVisible) {
        m_host.ShowWindow(EWindow::CallLog, true);
    }

    OpenAdapter();
    SetSelectIndicators();
    m_host.StartTimer(ctl::kTimer, kTimerPeriodMs);
    m_bTimerRunning = true;
    m_nVisibleLines = m_host.VisibleActivityLines();
    m_host.AddTrayIcon(img::kMainIcon, kTrayTip);

    if (m_settings.m_bWasMinimized || m_settings.m_bMinimizeAtStartup) {
        OnSysCommand(SC_MINIMIZE);
        m_bMinimizeAtNextTick = true;
    } else {
        m_bMinimizeAtNextTick = false;
    }

    RebuildConnectionMenu();
    ApplyCallWaiting();

    m_host.SetStatusText(0, m_modem.OnSocket() ? "Online (at startup)" : "Offline");
    m_host.SetStatusText(3, "No new calls");
    m_host.SetStatusText(2, OnlineTimeText("Total", m_settings.m_dwTotalInternetTime));
    m_networkPart->Configure(m_settings);

    m_bInitialized = true;
    return true;
}

void CMainDialog::PlaceWindow(EWindow window, const CRect& rect, bool maximized) {
    m_host.SetWindowRect(window, rect);
    if (maximized) {
        m_host.MaximizeWindow(window);
    }
}

bool CMainDialog::OpenLink(ELinkOpen order, std::vector<std::string>* boxes) {
    const SLinkArgs args = LinkArgs();
    const auto open = [&] {
        if (order == ELinkOpen::SerialOnly) {
            return m_modem.OpenSerial(args.comPort, args.baud);
        }
        return m_modem.Open(args.comPort, args.baud, m_options.adapterAddress, kAdapterPort,
                            order == ELinkOpen::SerialFirst);
    };
    if (!OnUiThread()) {
        return open(); // the monitor's reopen: its boxes are posted to the window thread
    }
    // The serial tries and reply waits take many seconds: they run off the window thread,
    // which keeps the windows painted meanwhile.
    bool ok = false;
    std::vector<std::string> held;
    m_host.RunOffWindowThread([&] {
        t_heldBoxes = &held;
        ok = open();
        t_heldBoxes = nullptr;
    });
    // The monitor looks at the link again: up, or still waiting for its device.
    m_monitor.Wake();
    for (std::string& text : held) {
        if (boxes != nullptr) {
            boxes->push_back(std::move(text));
        } else if (m_nBoxHolds > 0) {
            m_heldBoxes.push_back(std::move(text)); // shown when the dial-up operation lets go of the link
        } else {
            // Shown once the operation that opened the link is over (it may hold the link lock).
            PostMessage(CMessage::WithText(WM_RV_MESSAGE_BOX, std::move(text)));
        }
    }
    return ok;
}

bool CMainDialog::ReopenAfterDialUp(bool serialFirst) {
    const bool ok = OpenLink(serialFirst ? ELinkOpen::SerialFirst : ELinkOpen::SocketFirst);
    // Back from a connection, the serial port and then the socket failed: say why, as at
    // start-up (a failed socket-first reopen has shown its own box).
    if (!ok && serialFirst && !m_modem.Aborted()) {
        ShowMessage(OpenFailedText(m_settings.m_strComPort, m_modem.LastOpenProblem()));
    }
    return ok;
}

bool CMainDialog::OpenAdapter() {
    bool ok = false;
    std::vector<std::string> boxes;
    {
        // The monitor does not run yet; the lock keeps the rule "open under the link lock".
        std::lock_guard<std::mutex> lock(m_monitor.LinkLock());
        ok = OpenLink(ELinkOpen::SerialFirst, &boxes);
    }
    for (const std::string& text : boxes) {
        m_host.MessageBox(text);
    }
    if (!ok) {
        ReportOpenFailure();
    }
    WatchForeignConnection();
    m_monitor.Start();
    return ok;
}

void CMainDialog::ReportOpenFailure() {
    if (m_modem.Aborted()) {
        return;
    }
    const CModem::SOpenProblem problem = m_modem.LastOpenProblem();
    Trace(StrFormat("<dbg> The adapter could not be opened on %s: %s", m_settings.m_strComPort.c_str(),
                    problem.text.c_str()));
    ShowMessage(OpenFailedText(m_settings.m_strComPort, problem));
}

void CMainDialog::WatchForeignConnection() {
    if (m_modem.OnSocket()) {
        // A dial-up connection holds the serial port: watch for its end.
        m_host.EnableControl(ctl::kDialUp, false);
        m_host.EnableMenuItem(cmd::kToggleDialUp, false);
        m_monitor.SetForeignWatch(true);
    }
}

void CMainDialog::OnAdapterState(EAdapterState state) {
    m_bAdapterLost = state == AS_Lost;
    m_host.SetTrayTip(TrayTip());
    if (m_bAdapterLost) {
        m_host.SetStatusText(0, "Adapter disconnected");
        return;
    }
    // Whoever opened the link set its dial-up state; the program's own connection keeps it.
    if (m_dialUpManager->OwnConnection() == 0) {
        m_host.SetStatusText(0, m_modem.OnSocket() ? "Online (at startup)" : "Offline");
        WatchForeignConnection();
    }
    if (state == AS_Reopened) {
        ApplyCallWaiting(); // as at start-up, after the handshake
    }
}

std::string CMainDialog::TrayTip() const {
    std::string tip = kTrayTip;
    if (m_bAdapterLost) {
        tip += " - Adapter disconnected";
    }
    if (m_nNewCalls > 0) {
        tip += StrFormat(" - %d New Call%s", m_nNewCalls, m_nNewCalls > 1 ? "s" : "");
    }
    return tip;
}

bool CMainDialog::AdapterConnectionUp() {
    const std::string device = LinkArgs().modemName;
    const auto connections = m_dialUp.ActiveConnections();
    return std::any_of(connections.begin(), connections.end(),
                       [&](const DialUpConnectionInfo& c) { return c.deviceName == device; });
}

void CMainDialog::OnOK() {
    ShutDown();
    m_host.EndDialog(cmd::kOk);
}

void CMainDialog::OnCancel() {
    ShutDown();
    m_host.EndDialog(cmd::kCancel);
}

void CMainDialog::OnClose() {
    ShutDown();
    m_host.EndDialog(cmd::kCancel);
}

void CMainDialog::ShutDown() {
    if (!m_bInitialized) {
        return;
    }
    m_bInitialized = false;
    m_dialUpManager->HangUpAtShutDown();
    m_settings.m_rcPhoneBookPos = m_host.WindowRect(EWindow::PhoneBook);
    m_settings.m_bPhoneBookMaximized = m_host.IsWindowMaximized(EWindow::PhoneBook);
    m_settings.m_rcCallLogPos = m_host.WindowRect(EWindow::CallLog);
    m_settings.m_bCallLogMaximized = m_host.IsWindowMaximized(EWindow::CallLog);
    m_settings.m_rcMainPos = m_host.WindowRect(EWindow::Main);
    m_settings.m_bMainMaximized = m_host.IsWindowMaximized(EWindow::Main);
    m_host.RemoveTrayIcon();
    m_settings.m_nSReg63 = m_nSReg63;
    m_settings.Save(m_options.settingsPath, m_bMinimized, [this](const std::string& text) { m_host.MessageBox(text); });
    m_host.StopTimer(ctl::kTimer);
    m_bTimerRunning = false;
    SendCommand("AT$V0\r");
    SendCommand("ATE1\r");
    // A reopen the monitor is running (its foreign connection ended) gives up at once.
    m_modem.AbortOpens();
    m_monitor.Stop();
    for (IControllerPart* part : m_parts) {
        part->OnShutDown();
    }
    m_host.AttachStores(nullptr, nullptr);
    m_phoneBook.reset(); // each store saves its file
    m_callLog.reset();
}

void CMainDialog::SendCommand(const std::string& command) {
    m_modem.WriteCommand(command);
}

void CMainDialog::Log(const std::string& text) {
    m_host.AppendActivityLine(m_activity.Add(Trace(text), m_clock.Now()));
}

void CMainDialog::AbortLinkOpens() {
    m_modem.AbortOpens();
}

void CMainDialog::ShowMessage(const std::string& text) {
    if (t_heldBoxes != nullptr) {
        t_heldBoxes->push_back(text);
    } else if (OnUiThread() && m_nBoxHolds > 0) {
        m_heldBoxes.push_back(text);
    } else if (OnUiThread()) {
        m_host.MessageBox(text);
    } else {
        // A worker never waits for the user: the box is shown on the window thread.
        PostMessage(CMessage::WithText(WM_RV_MESSAGE_BOX, text));
    }
}

void CMainDialog::HoldMessageBoxes(bool hold) {
    if (hold) {
        ++m_nBoxHolds;
        return;
    }
    if (m_nBoxHolds > 0 && --m_nBoxHolds > 0) {
        return;
    }
    // A box may run work that holds and shows boxes of its own: those are not in this list.
    std::vector<std::string> held;
    held.swap(m_heldBoxes);
    for (const std::string& text : held) {
        m_host.MessageBox(text);
    }
}

void CMainDialog::AddPart(IControllerPart* part) {
    if (part != nullptr) {
        m_parts.push_back(part);
    }
}

void CMainDialog::OnTimer(int id) {
    if (id != ctl::kTimer) {
        return;
    }
    m_bHoldBlinkPhase = !m_bHoldBlinkPhase;
    UpdateHoldIndicators();
    if (m_bMinimizeAtNextTick) {
        OnSysCommand(SC_MINIMIZE);
        m_bMinimizeAtNextTick = false;
    }
    BlinkTrayIcon();
    if (++m_nTick >= 5) {
        m_nTick = 0;
        PostMessage(CMessage::Make(WM_RV_REFRESH_TILES));
    }
    for (IControllerPart* part : m_parts) {
        part->OnTimerTick();
    }
    StopTimerWhenIdle();
}

bool CMainDialog::TimerNeeded() const {
    if (m_bMinimizeAtNextTick || m_bNewCall) {
        return true;
    }
    for (int tile = 0; tile < 4; ++tile) {
        if (m_tileState && m_tileState(tile) != ETileState::Empty) {
            return true; // a hold indicator blinks or a call's time counts
        }
    }
    return std::any_of(m_parts.begin(), m_parts.end(), [](const IControllerPart* part) { return part->NeedsTimer(); });
}

void CMainDialog::UpdateTimer() {
    if (m_bInitialized && !m_bTimerRunning && TimerNeeded()) {
        m_host.StartTimer(ctl::kTimer, kTimerPeriodMs);
        m_bTimerRunning = true;
    }
}

void CMainDialog::StopTimerWhenIdle() {
    if (m_bTimerRunning && !TimerNeeded()) {
        // Nothing blinks, counts or waits: the program sleeps until the adapter or the user
        // wakes it. The indicators were brought to their resting state by this tick.
        m_host.StopTimer(ctl::kTimer);
        m_bTimerRunning = false;
    }
}

void CMainDialog::SetSelectIndicators() {
    for (int tile = 0; tile < 4; ++tile) {
        const int selected = tile == m_nSelectedTile ? 1 : 0;
        if (m_selectShown[tile] != selected) {
            m_selectShown[tile] = selected;
            m_host.SetSelectIndicator(tile, selected != 0);
        }
    }
}

void CMainDialog::UpdateHoldIndicators() {
    for (int tile = 0; tile < 4; ++tile) {
        const ETileState state = m_tileState ? m_tileState(tile) : ETileState::Empty;
        const int lit = state == ETileState::Active || (state == ETileState::Held && m_bHoldBlinkPhase) ? 1 : 0;
        if (m_holdShown[tile] != lit) {
            m_holdShown[tile] = lit;
            m_host.SetHoldIndicator(tile, lit != 0);
        }
    }
}

void CMainDialog::BlinkTrayIcon() {
    if (!m_bNewCall) {
        return;
    }
    m_bTrayBlinkPhase = !m_bTrayBlinkPhase;
    m_host.SetTrayImage(m_bTrayBlinkPhase ? img::kNewCallIcon : img::kMainIcon);
}

void CMainDialog::PostMessage(CMessage msg) {
    m_queue.Post(std::move(msg));
}

std::size_t CMainDialog::DrainMessages() {
    const std::size_t handled = m_queue.Drain([this](CMessage&& msg) { DispatchMessage(std::move(msg)); });
    UpdateTimer();
    return handled;
}

void CMainDialog::ForwardToParts(CMessage& msg) {
    for (IControllerPart* part : m_parts) {
        if (part->OnMessage(msg)) {
            return;
        }
    }
}

void CMainDialog::NameCallLogRecords(std::uint64_t entryId, const CMessage& msg) {
    if (m_callLog == nullptr || m_phoneBook == nullptr) {
        return;
    }
    // The entry as filed: its number normalised and its display name recomputed.
    if (const CPhoneBookEntry* filed = m_phoneBook->FindById(entryId)) {
        m_callLog->Rename(filed->m_strNumber, filed->m_strName);
    }
    m_host.SendToWindow(EWindow::CallLog, msg);
}

void CMainDialog::OnMessage(CMessage msg) {
    DispatchMessage(std::move(msg));
    UpdateTimer();
}

void CMainDialog::DispatchMessage(CMessage msg) {
    switch (msg.id) {
    case WM_RV_MODEM_LINE: {
        const std::string line = std::move(msg.text);
        OnModemLine(line, m_reportSink != nullptr ? *m_reportSink : static_cast<IModemReportSink&>(*this));
        return;
    }
    case WM_RV_PB_ADD_ENTRY: {
        const auto* entry = std::any_cast<std::shared_ptr<CPhoneBookEntry>>(&msg.object);
        if (!m_phoneBook || entry == nullptr || !*entry) {
            return;
        }
        auto owned = std::make_unique<CPhoneBookEntry>(**entry);
        const std::string number = owned->m_strNumber;
        const std::uint64_t id = owned->m_id;
        msg.wParam = m_phoneBook->Add(std::move(owned));
        msg.key = id;
        m_host.SendToWindow(EWindow::PhoneBook, msg);
        NameCallLogRecords(id, msg);
        return;
    }
    case WM_RV_PB_REPLACE_ENTRY: {
        const auto* entry = std::any_cast<std::shared_ptr<CPhoneBookEntry>>(&msg.object);
        if (m_phoneBook && entry != nullptr && *entry) {
            auto owned = std::make_unique<CPhoneBookEntry>(**entry);
            const std::uint64_t oldId = msg.key;
            msg.key = owned->m_id;
            msg.lParam = static_cast<std::int64_t>(oldId);
            msg.wParam = m_phoneBook->Replace(oldId, std::move(owned));
            m_host.SendToWindow(EWindow::PhoneBook, msg);
            NameCallLogRecords(msg.key, msg);
        }
        return;
    }
    case WM_RV_PB_CLEAR_TOTALS:
        if (m_phoneBook && m_phoneBook->ClearTotals(msg.key)) {
            m_host.SendToWindow(EWindow::PhoneBook, msg);
        }
        return;
    case WM_RV_LOG_ADD_RECORD:
        m_host.SendToWindow(EWindow::CallLog, msg);
        return;
    case WM_RV_LOG_TO_PHONE_BOOK:
    case WM_RV_NUMBER_TO_PHONE_BOOK:
    case WM_RV_PB_COLUMNS_CHANGED:
        m_host.SendToWindow(EWindow::PhoneBook, msg);
        return;
    case WM_RV_TRAY_NOTIFY:
        OnTrayNotify(static_cast<int>(msg.wParam), static_cast<int>(msg.lParam));
        return;
    case WM_RV_STATUS_TEXT:
        m_host.SetStatusText(static_cast<int>(msg.wParam), msg.text);
        return;
    case WM_RV_ACTIVITY:
        m_host.AppendActivityLine(m_activity.Add(msg.text, m_clock.Now()));
        return;
    case WM_RV_ONLINE_TIME:
        // A tick that was queued before the connection went down is stale.
        if (m_monitor.OnlineClock().up) {
            m_host.SetStatusText(1, OnlineTimeText("Current", msg.wParam));
            m_settings.m_dwTotalInternetTime = static_cast<std::uint32_t>(std::max<std::int64_t>(msg.lParam, 0));
            m_host.SetStatusText(2, OnlineTimeText("Total", msg.lParam));
            m_dialUpManager->CheckOwnConnection();
        }
        return;
    case WM_RV_LINK_RESTORED:
        // The foreign connection's watch has ended; an own connection keeps its status text.
        m_host.EnableControl(ctl::kDialUp, true);
        if (m_dialUpManager->OwnConnection() == 0) {
            m_host.SetStatusText(0, "Offline");
        }
        m_host.EnableMenuItem(cmd::kToggleDialUp, true);
        return;
    case WM_RV_MESSAGE_BOX:
        m_host.MessageBox(msg.text);
        return;
    case WM_RV_ADAPTER_STATE:
        OnAdapterState(static_cast<EAdapterState>(msg.wParam));
        return;
    case WM_RV_REFRESH_TILES:
    case WM_RV_DIAL_NUMBER:
    case WM_RV_CALL_NOTIFICATION:
        ForwardToParts(msg); // call control
        return;
    case WM_RV_NET_CONNECTION:
    case WM_RV_NET_MESSAGE:
        m_networkPart->OnMessage(msg);
        return;
    case WM_RV_PB_DELETE_ENTRY:
    case WM_RV_LOG_DELETE_RECORD:
    case WM_RV_LOG_BLOCK_CALLER:
    case WM_RV_PB_SET_IGNORE:
    case WM_RV_RESTORED:
    case WM_RV_UNDO_AVAILABLE:
        ForwardToParts(msg); // the list windows' requests
        return;
    }
    ForwardToParts(msg);
}

void CMainDialog::OnCallReport(const CModemReport& report) {
    const std::string text = CallReportText(report);
    if (!text.empty()) {
        Log(text);
    }
}

void CMainDialog::OnAudioReport(const CModemReport& report) {
    const std::string text = AudioReportText(report);
    if (!text.empty()) {
        Log(text);
    }
}

void CMainDialog::OnCommand(int id) {
    DispatchCommand(id);
    UpdateTimer();
}

bool CMainDialog::OnChar(char c) {
    const bool handled = m_callControl->Phones().OnTypedChar(c);
    UpdateTimer();
    return handled;
}

void CMainDialog::DispatchCommand(int id) {
    switch (id) {
    case cmd::kOk:
        OnOK();
        return;
    case cmd::kCancel:
        OnCancel();
        return;
    case cmd::kViewPhoneBook:
        OnViewPhoneBook();
        return;
    case cmd::kViewCallLog:
        OnViewCallLog();
        return;
    case cmd::kLogIncompleteCalls:
        m_settings.m_bIncompleteCallsToPhoneBook = !m_settings.m_bIncompleteCallsToPhoneBook;
        return;
    case cmd::kHelp:
        m_host.OpenHelp();
        return;
    case cmd::kClearTotalTimer:
        m_dialUpManager->OnClearTotalTimer();
        return;
    case cmd::kConfigure:
        OnConfigure();
        return;
    case cmd::kRemoteControl:
        OnRemoteControl();
        return;
    case cmd::kNetwork:
        OnNetworkSettings();
        return;
    case ctl::kCallWaiting:
        OnEnableCallWaiting();
        return;
    case cmd::kPhoneBookOpen:
        OnPhoneBookOpen();
        return;
    case cmd::kPhoneBookSave:
        if (m_phoneBook) {
            m_phoneBook->Save();
        }
        return;
    case cmd::kPhoneBookPrint:
        return; // offered, but does nothing
    default:
        break;
    }
    if (m_dialUpManager->OnCommand(id)) {
        return;
    }
    // Tiles, keypad, call buttons: the parts that own them.
    for (IControllerPart* part : m_parts) {
        if (part->OnCommand(id)) {
            return;
        }
    }
}

bool CMainDialog::OnSysCommand(int command) {
    if (command != SC_MINIMIZE && command != SC_RESTORE) {
        return false;
    }
    const bool minimize = command == SC_MINIMIZE;
    if (m_settings.m_bMinimizeToTray) {
        if (minimize) {
            m_host.ShowWindow(EWindow::PhoneBook, false);
            m_host.ShowWindow(EWindow::CallLog, false);
            m_host.ShowWindow(EWindow::Main, false);
        } else {
            m_host.ShowWindow(EWindow::Main, true);
            if (m_settings.m_bPhoneBookVisible) {
                m_host.ShowWindow(EWindow::PhoneBook, true);
            }
            if (m_settings.m_bCallLogVisible) {
                m_host.ShowWindow(EWindow::CallLog, true);
            }
        }
    } else if (minimize) {
        m_host.MinimizeMain();
    } else {
        m_host.RestoreMain();
    }
    m_bMinimized = minimize;
    return true;
}

void CMainDialog::AnnounceNewCall() {
    m_bNewCall = true;
    ++m_nNewCalls;
    const std::string text = StrFormat("%d New Call%s", m_nNewCalls, m_nNewCalls > 1 ? "s" : "");
    m_host.SetStatusText(3, text);
    m_host.SetTrayTip(TrayTip());
    UpdateTimer();
}

void CMainDialog::OnTrayNotify(int iconId, int mouseMessage) {
    if (iconId != ctl::kTrayIcon) {
        return;
    }
    if (mouseMessage == kWmLButtonDown) {
        m_bTrayBlinkPhase = false;
        m_host.SetTrayImage(img::kMainIcon);
        m_nNewCalls = 0;
        m_host.SetTrayTip(TrayTip());
        m_host.SetStatusText(3, "No new calls");
        if (m_bNewCall) {
            if (m_bMinimized) {
                OnSysCommand(SC_RESTORE);
            }
            m_host.BringMainToForeground();
            if (!m_host.IsWindowVisible(EWindow::CallLog)) {
                m_settings.m_bCallLogVisible = true;
                m_host.ShowWindow(EWindow::CallLog, true);
            }
        } else if (m_settings.m_bMinimizeToTray) {
            if (m_bMinimized) {
                OnSysCommand(SC_RESTORE);
                m_host.BringMainToForeground();
            } else {
                OnSysCommand(SC_MINIMIZE);
            }
        }
        m_bNewCall = false;
    } else if (mouseMessage == kWmRButtonDown) {
        std::vector<SMenuItem> items = {
            {cmd::kViewCallLog, "View Call &Log", m_settings.m_bCallLogVisible, false},
            {cmd::kViewPhoneBook, "View &Phone Book", m_settings.m_bPhoneBookVisible, false},
            {0, "", false, true},
            {ctl::kCallWaiting, "Enable Call Waiting", m_settings.m_bEnableCallWaiting, false},
            {cmd::kConfigure, "&Configure", false, false},
            {0, "", false, true},
        };
        for (const SMenuItem& item : m_dialUpManager->ConnectionItems()) {
            items.push_back(item);
        }
        items.push_back({0, "", false, true});
        items.push_back({cmd::kOk, "&Quit", false, false});
        const int chosen = m_host.TrackPopupMenu(items);
        if (chosen != 0) {
            OnCommand(chosen);
        }
    }
}

void CMainDialog::OnViewPhoneBook() {
    m_settings.m_bPhoneBookVisible = !m_settings.m_bPhoneBookVisible;
    m_host.ShowWindow(EWindow::PhoneBook, m_settings.m_bPhoneBookVisible);
    if (!m_settings.m_bPhoneBookVisible) {
        m_listRequests->ForgetUndo(EWindow::PhoneBook); // deletes are undone while the window is open
    }
}

void CMainDialog::OnViewCallLog() {
    m_settings.m_bCallLogVisible = !m_settings.m_bCallLogVisible;
    m_host.ShowWindow(EWindow::CallLog, m_settings.m_bCallLogVisible);
    if (!m_settings.m_bCallLogVisible) {
        m_listRequests->ForgetUndo(EWindow::CallLog);
    }
}

// "&Open...": save what changed in the current phone book, let the user choose a file (a new
// name starts an empty phone book that its first entry creates) and show the store of that
// file instead.
void CMainDialog::OnPhoneBookOpen() {
    if (!m_phoneBook) {
        return;
    }
    m_phoneBook->SaveChanges();
    std::string path;
    if (!m_host.ChoosePhoneBookFile(StorePath(m_settings.m_strPhoneBookName), path)) {
        return;
    }
    const MessageBoxFn box = [this](const std::string& text) { ShowMessage(text); };
    auto fresh = std::make_unique<CPhoneBook>(path, m_settings.m_strDefaultAreaCode, box);
    // The window lets go of the old store before it is destroyed; its deletes went with it.
    m_listRequests->ForgetUndo(EWindow::PhoneBook);
    m_host.AttachStores(nullptr, m_callLog.get());
    m_phoneBook = std::move(fresh);
    m_settings.m_strPhoneBookName = path;
    m_host.AttachStores(m_phoneBook.get(), m_callLog.get());
}

void CMainDialog::OnConfigure() {
    CSettings edited = m_settings;
    if (!m_host.RunSettingsDialog(CWindowHost::ESettingsDialog::Configuration, edited)) {
        return;
    }
    const bool portChanged = edited.m_strComPort != m_settings.m_strComPort || edited.m_nBaud != m_settings.m_nBaud;
    m_settings.TakeConfigurationValues(edited);
    SetLinkArgs();
    if (portChanged) {
        ReopenOnNewPort();
    }
    RebuildConnectionMenu();
    ApplyCallWaiting();
    m_networkPart->Configure(m_settings);
}

void CMainDialog::ReopenOnNewPort() {
    if (m_modem.OnSocket()) {
        // A dial-up connection holds the serial port: the link moves to the new port when the
        // connection ends and the link goes back to the serial port.
        Log("The adapter's new port is used when the dial-up connection ends");
        return;
    }
    Log(StrFormat("Reopening the adapter on %s", m_settings.m_strComPort.c_str()));
    bool ok = false;
    {
        const CWaitCursor cursor(m_host);
        const std::lock_guard<std::mutex> lock(m_monitor.LinkLock());
        m_modem.Close();
        ok = OpenLink();
    }
    if (!ok) {
        ReportOpenFailure();
    }
    WatchForeignConnection();
}

void CMainDialog::OnRemoteControl() {
    CSettings edited = m_settings;
    if (m_host.RunSettingsDialog(CWindowHost::ESettingsDialog::RemoteControl, edited)) {
        m_settings.TakeRemoteControlValues(edited);
    }
}

void CMainDialog::OnNetworkSettings() {
    CSettings edited = m_settings;
    if (m_host.RunSettingsDialog(CWindowHost::ESettingsDialog::Network, edited)) {
        m_settings = edited;
        m_networkPart->Configure(m_settings);
    }
}

void CMainDialog::ApplyCallWaiting() {
    m_host.SetButtonCheck(ctl::kCallWaiting, m_settings.m_bEnableCallWaiting);
    SendCommand(callcmd::CallWaiting(m_settings.m_bEnableCallWaiting ? m_settings.m_nCallWaitingOnValue
                                                                     : m_settings.m_nCallWaitingOffValue));
}

void CMainDialog::OnEnableCallWaiting() {
    m_settings.m_bEnableCallWaiting = !m_settings.m_bEnableCallWaiting;
    ApplyCallWaiting();
}
