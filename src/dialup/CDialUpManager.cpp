#include "dialup/CDialUpManager.h"

#include "adapter/CLineMonitor.h"
#include "adapter/CModem.h"
#include "core/Format.h"
#include "core/Trace.h"
#include "dialup/CDialAttempt.h"
#include "dialup/DialUpErrors.h"

#include <algorithm>
#include <climits>
#include <mutex>
#include <utility>

namespace {

std::string ConnectItemText(const std::string& entry) {
    return "Connect to " + entry;
}

// Message boxes kept back for the length of a scope.
class CHeldMessageBoxes {
public:
    explicit CHeldMessageBoxes(const std::function<void(bool)>& hold) : m_hold(hold) {
        if (m_hold) {
            m_hold(true);
        }
    }
    ~CHeldMessageBoxes() {
        if (m_hold) {
            m_hold(false);
        }
    }
    CHeldMessageBoxes(const CHeldMessageBoxes&) = delete;
    CHeldMessageBoxes& operator=(const CHeldMessageBoxes&) = delete;

private:
    const std::function<void(bool)>& m_hold;
};

} // namespace

CDialUpManager::CDialUpManager(CWindowHost& host, const IClock& clock, IDialUpService& service, CSettings& settings,
                               CModem& modem, CLineMonitor& monitor, SHooks hooks)
    : m_host(host), m_clock(clock), m_service(service), m_settings(settings), m_modem(modem), m_monitor(monitor),
      m_hooks(std::move(hooks)) {}

void CDialUpManager::ToggleDialUpConnection() {
    const int slot = m_settings.m_nCurrentRASConnection;
    if (slot < 0 || slot >= kRasSlots || !m_settings.IsSlotConfigured(slot)) {
        return;
    }
    const std::string entry = m_settings.m_strRASConnection[slot];
    MoveLink(entry, [&] {
        if (m_hOwnConnection != 0) {
            Disconnect(entry);
        } else {
            Connect(slot);
        }
    });
}

void CDialUpManager::CheckOwnConnection() {
    if (m_hOwnConnection == 0 || m_service.Status(m_hOwnConnection) != EDialUpStatus::Disconnected) {
        return;
    }
    const int slot = std::clamp(m_settings.m_nCurrentRASConnection, 0, kRasSlots - 1);
    const std::string entry = m_settings.m_strRASConnection[slot];
    m_hooks.log(StrFormat("Dial-up connection to %s has ended", entry.c_str()));
    MoveLink(entry, [this] { m_hOwnConnection = 0; });
}

void CDialUpManager::MoveLink(const std::string& entry, const std::function<void()>& operation) {
    // Declared first, so the boxes come after the lock is released and the cursor restored.
    const CHeldMessageBoxes boxes(m_hooks.holdMessageBoxes);
    const CWaitCursor cursor(m_host);
    const std::lock_guard<std::mutex> linkLock(m_monitor.LinkLock());

    m_hooks.log("Closing modem connection for RAS operation");
    m_modem.Close();
    operation();
    if (!m_bQuitting) {
        m_hooks.log("Reopening modem connection after RAS operation");
        // Its own failures are reported by the link; the state shown follows our handle alone.
        m_hooks.openLink(m_hOwnConnection == 0);
        m_hooks.applyCallWaiting();
    }
    m_bQuitting = false;
    ShowConnectionState(entry);
    RestartOnlineClock();
    UpdateConnectionChecks();
    m_host.RedrawMenuBar();
}

void CDialUpManager::ShowConnectionState(const std::string& entry) {
    const bool online = m_hOwnConnection != 0;
    m_host.SetButtonImage(ctl::kDialUp, online ? img::kOnlineIcon : img::kOfflineIcon);
    if (online) {
        m_host.SetStatusText(0, StrFormat("Online to %s", entry.c_str()));
    } else {
        m_host.SetStatusText(0, "Offline");
        m_host.SetStatusText(1, "");
    }
}

void CDialUpManager::Disconnect(const std::string& entry) {
    m_hooks.log(StrFormat("Trying to disconnect from: %s", entry.c_str()));
    m_service.HangUp(m_hOwnConnection);
    // The hang-up completes in the background; wait until the service reports the connection
    // gone, for at most the time limit: asleep until the connection ends where the service can
    // tell that, else asking again every kStatusPollMs (also once its descriptor was readable
    // but the connection not yet gone, so a wait never spins).
    const std::int64_t start = m_clock.TickMs();
    bool endSeen = false;
    while (m_service.Status(m_hOwnConnection) != EDialUpStatus::Disconnected) {
        const std::int64_t left = start + kHangUpLimitMs - m_clock.TickMs();
        if (left <= 0) {
            break;
        }
        const int ended = endSeen ? -1 : m_service.EndFd(m_hOwnConnection);
        if (ended < 0) {
            m_host.WaitInPlace(kStatusPollMs);
            continue;
        }
        const CWindowHost::EWaitEnd end = m_host.WaitForReadable(ended, static_cast<int>(left));
        if (end == CWindowHost::EWaitEnd::Quit) {
            m_bQuitting = true;
            Trace("<dbg> Dial-up: the program is quitting; not waiting for the hang-up to complete");
            break;
        }
        endSeen = end == CWindowHost::EWaitEnd::Ready;
    }
    m_hOwnConnection = 0;
    m_hooks.log("   Done");
}

void CDialUpManager::Connect(int slot) {
    m_hooks.log(StrFormat("Trying to connect to: %s", m_settings.m_strRASConnection[slot].c_str()));
    DialUpHandle handle = 0;
    const int result = DialWithinLimit(slot, handle);
    if (result != 0) {
        m_hooks.log(StrFormat("RAS error: %s", m_service.ErrorText(result).c_str()));
        if (handle != 0) {
            m_service.HangUp(handle);
        }
        m_hOwnConnection = 0;
        if (!m_bQuitting) {
            m_host.WaitInPlace(kFailurePauseMs);
        }
        return;
    }
    m_hOwnConnection = handle;
    m_hooks.log("   Success!");
}

int CDialUpManager::DialWithinLimit(int slot, DialUpHandle& handle) {
    CDialAttempt attempt(m_service, m_settings.m_strRASConnection[slot], m_settings.m_strRASUserName[slot],
                         m_settings.m_strRASPassword[slot]);
    const std::int64_t limitMs = std::int64_t{m_settings.DialUpTimeLimitSeconds()} * 1000;
    const std::int64_t start = m_clock.TickMs();
    int stopped = 0;
    while (stopped == 0 && attempt.ReadyFd() >= 0 && !attempt.Done()) {
        const std::int64_t left = start + limitMs - m_clock.TickMs();
        if (left <= 0) {
            stopped = kDialUpErrTimedOut;
            Trace(StrFormat("<dbg> Dial-up: no connection after %d s; ending the dial",
                            m_settings.DialUpTimeLimitSeconds()));
        } else if (m_host.WaitForReadable(attempt.ReadyFd(), static_cast<int>(std::min<std::int64_t>(left, INT_MAX))) ==
                   CWindowHost::EWaitEnd::Quit) {
            stopped = kDialUpErrCancelled;
            m_bQuitting = true;
            Trace("<dbg> Dial-up: the program is quitting; ending the dial");
        }
    }
    if (stopped != 0) {
        attempt.Cancel();
    }
    // A dial that came up just as it was ended still hands over its handle, to be hung up.
    const int result = attempt.Finish(handle);
    return stopped != 0 ? stopped : result;
}

void CDialUpManager::RestartOnlineClock() {
    CLineMonitor::SOnlineClock online;
    online.up = m_hOwnConnection != 0;
    online.startTime = m_clock.Now();
    online.totalAtStart = static_cast<std::int32_t>(m_settings.m_dwTotalInternetTime);
    m_monitor.SetOnlineClock(online);
}

void CDialUpManager::OnConnection(int slot) {
    if (slot < 0 || slot >= kRasSlots || !m_settings.IsSlotConfigured(slot)) {
        return;
    }
    if (m_modem.OnSocket()) {
        if (m_monitor.ForeignWatch()) {
            return; // the port belongs to a connection the program did not make
        }
        ToggleDialUpConnection();
        if (slot == m_settings.m_nCurrentRASConnection) {
            return; // choosing the active connection ends it
        }
    }
    m_settings.m_nCurrentRASConnection = slot;
    ToggleDialUpConnection();
}

void CDialUpManager::OnDialUpButton() {
    std::vector<int> configured;
    for (int slot = 0; slot < kRasSlots; ++slot) {
        if (m_settings.IsSlotConfigured(slot)) {
            configured.push_back(slot);
        }
    }
    if (configured.empty()) {
        return;
    }
    if (configured.size() == 1) {
        m_settings.m_nCurrentRASConnection = configured.front();
        ToggleDialUpConnection();
        return;
    }
    // The chosen item arrives as its command, like the same item of the menu bar.
    const int chosen = m_host.TrackPopupMenu(ConnectionItems());
    if (chosen != 0) {
        OnCommand(chosen);
    }
}

void CDialUpManager::OnClearTotalTimer() {
    m_settings.m_dwTotalInternetTime = 0;
    CLineMonitor::SOnlineClock online = m_monitor.OnlineClock();
    online.totalAtStart = 0;
    m_monitor.SetOnlineClock(online);
    m_host.SetStatusText(2, OnlineTimeText("Total", 0));
}

bool CDialUpManager::SlotChecked(int slot) const {
    return slot == m_settings.m_nCurrentRASConnection && m_modem.OnSocket() && !m_monitor.ForeignWatch();
}

std::vector<SMenuItem> CDialUpManager::ConnectionItems() const {
    std::vector<SMenuItem> items;
    for (int slot = 0; slot < kRasSlots; ++slot) {
        if (m_settings.IsSlotConfigured(slot)) {
            items.push_back({cmd::kConnection1 + slot, ConnectItemText(m_settings.m_strRASConnection[slot]),
                             SlotChecked(slot), false});
        }
    }
    return items;
}

void CDialUpManager::RebuildConnectionMenu() {
    for (int slot = 0; slot < kRasSlots; ++slot) {
        m_host.RemoveMenuItem(cmd::kConnection1 + slot);
    }
    int position = 0;
    for (const SMenuItem& item : ConnectionItems()) {
        m_host.InsertMenuItem(EMenu::Internet, position++, item.command, item.text, item.checked);
    }
    m_host.RedrawMenuBar();
}

void CDialUpManager::UpdateConnectionChecks() {
    for (int slot = 0; slot < kRasSlots; ++slot) {
        if (m_settings.IsSlotConfigured(slot)) {
            m_host.CheckMenuItem(cmd::kConnection1 + slot, SlotChecked(slot));
        }
    }
}

void CDialUpManager::HangUpAtShutDown() {
    if (m_hOwnConnection != 0) {
        m_service.HangUp(m_hOwnConnection);
        m_hOwnConnection = 0;
    }
}

bool CDialUpManager::OnCommand(int id) {
    if (id == cmd::kToggleDialUp) {
        ToggleDialUpConnection();
    } else if (id == ctl::kDialUp) {
        OnDialUpButton();
    } else if (id >= cmd::kConnection1 && id < cmd::kConnection1 + kRasSlots) {
        OnConnection(id - cmd::kConnection1);
    } else {
        return false;
    }
    return true;
}
