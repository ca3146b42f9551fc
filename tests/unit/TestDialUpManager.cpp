// The dial-up connection manager on the controller, with a scripted dial-up service and no
// adapter (every open of the link fails at once): the steps of a connect and a disconnect with
// their texts, the bounded wait for a hang-up, a failed dial, the dial-up button and its pop-up,
// the connection items, the total on-line time, the hang-up at shut-down, a dial's time limit,
// an own connection that ends by itself, and the reopen's message boxes after the link lock.
#include "controller/CMainDialog.h"
#include "core/Trace.h"
#include "dialup/DialUpErrors.h"
#include "support/CFakeClock.h"
#include "support/CFakeWindowHost.h"
#include "support/ControllerTestOptions.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A dial-up service that answers as the test says and records what it was asked.
class CScriptedDialUp final : public IDialUpService {
public:
    struct SDial {
        std::string entry, user, password;
    };
    // A dial that goes on until it is cancelled (or 10 s have passed, then it succeeds).
    struct SBlock {
        std::mutex mutex;
        std::condition_variable wake;
        bool cancelled = false;
    };

    int Dial(const std::string& entry, const std::string& user, const std::string& password,
             DialUpHandle& handle) override {
        dials.push_back({entry, user, password});
        handle = 0;
        if (block) {
            std::unique_lock lock(block->mutex);
            if (block->wake.wait_for(lock, 10s, [this] { return block->cancelled; })) {
                return kDialUpErrCancelled;
            }
        }
        handle = dialHandle;
        return dialResult;
    }
    void CancelDial() override {
        const std::lock_guard lock(block->mutex);
        block->cancelled = true;
        block->wake.notify_all();
    }
    std::string ErrorText(int code) override { return "error text " + std::to_string(code); }
    void HangUp(DialUpHandle handle) override { hungUp.push_back(handle); }
    EDialUpStatus Status(DialUpHandle) override {
        ++statusQueries;
        if (statusScript.empty()) {
            return statusAfterScript;
        }
        const EDialUpStatus s = statusScript.front();
        statusScript.pop_front();
        return s;
    }
    int EndFd(DialUpHandle) override { return endFd; }
    std::vector<DialUpConnectionInfo> ActiveConnections() override { return {}; }
    std::vector<std::string> Entries() override { return {}; }
    std::string EntryDeviceName(const std::string&) override { return {}; }

    int dialResult = 0;
    DialUpHandle dialHandle = 42;
    std::shared_ptr<SBlock> block;
    std::deque<EDialUpStatus> statusScript;
    EDialUpStatus statusAfterScript = EDialUpStatus::Disconnected;
    std::vector<SDial> dials;
    std::vector<DialUpHandle> hungUp;
    int statusQueries = 0;
    int endFd = -1;
};

class DialUpManagerTest : public ::testing::Test {
protected:
    DialUpManagerTest() : m_cwd(m_dir.Path()) { SetTraceFilePath(m_dir.File("Ringvale.dbg")); }
    ~DialUpManagerTest() override {
        m_dialog.reset();
        SetTraceFilePath("Ringvale.dbg");
    }

    CSettings BaseSettings() const {
        CSettings s = QuickControllerSettings(m_dir.File("no-such-tty"));
        s.m_strRASConnection = {"Work", "", ""};
        s.m_strRASUserName = {"alice", "bob", "carol"};
        s.m_strRASPassword = {"secret1", "secret2", "secret3"};
        s.m_dwTotalInternetTime = 3600;
        s.m_bEnableCallWaiting = true;
        s.m_nCallWaitingOnValue = 7;
        return s;
    }

    // By default an address that cannot be reached: the socket fails at once.
    void Start(const CSettings& s, const std::string& address = "999.1.1.1") {
        WriteFileText(m_dir.File("RV.cfg"), s.Serialize(false));
        CMainDialog::SOptions options = QuickControllerOptions(m_dir.Path(), address);
        options.modemHooks.replyTimeout = 200ms;
        m_dialog = std::make_unique<CMainDialog>(m_host, m_clock, m_dialUp, std::move(options));
        ASSERT_TRUE(m_dialog->OnInitDialog());
        m_host.ClearCalls();
        m_activityMark = m_host.ActivityTexts().size();
        m_waitMark = m_host.Waits().size();
        m_boxMark = m_host.MessageBoxes().size();
    }

    CDialUpManager& Manager() { return m_dialog->DialUpManager(); }
    CLineMonitor::SOnlineClock OnlineClock() { return m_dialog->Monitor().OnlineClock(); }

    // The activity lines written since the last start-up (the failing reopen adds none).
    std::vector<std::string> Activity() const {
        const std::vector<std::string> all = m_host.ActivityTexts();
        return {all.begin() + static_cast<std::ptrdiff_t>(m_activityMark), all.end()};
    }
    // The waits in place since the last start-up.
    std::vector<int> Waits() const {
        const std::vector<int> all = m_host.Waits();
        return {all.begin() + static_cast<std::ptrdiff_t>(m_waitMark), all.end()};
    }

    TempDir m_dir;
    ScopedCwd m_cwd;
    CFakeClock m_clock;
    CFakeWindowHost m_host{&m_clock};
    CScriptedDialUp m_dialUp;
    std::unique_ptr<CMainDialog> m_dialog;
    std::size_t m_activityMark = 0;
    std::size_t m_waitMark = 0;
    std::size_t m_boxMark = 0;
};

const std::vector<std::string> kConnectTexts = {
    "Closing modem connection for RAS operation",
    "Trying to connect to: Work",
    "   Success!",
    "Reopening modem connection after RAS operation",
};
const std::vector<std::string> kDisconnectTexts = {
    "Closing modem connection for RAS operation",
    "Trying to disconnect from: Work",
    "   Done",
    "Reopening modem connection after RAS operation",
};

TEST_F(DialUpManagerTest, ConnectAndDisconnectWithTheirTextsImageStatusAndClock) {
    Start(BaseSettings());
    m_clock.AdvanceSeconds(100);
    Manager().ToggleDialUpConnection();

    EXPECT_EQ(Activity(), kConnectTexts);
    ASSERT_EQ(m_dialUp.dials.size(), 1U);
    EXPECT_EQ(m_dialUp.dials[0].entry, "Work");
    EXPECT_EQ(m_dialUp.dials[0].user, "alice");
    EXPECT_EQ(m_dialUp.dials[0].password, "secret1");
    EXPECT_EQ(Manager().OwnConnection(), 42U);
    EXPECT_EQ(m_host.StatusText(0), "Online to Work");
    EXPECT_EQ(m_host.ButtonImage(ctl::kDialUp), img::kOnlineIcon);
    EXPECT_TRUE(m_host.ButtonChecked(ctl::kCallWaiting));
    EXPECT_EQ(m_host.WaitCursorDepth(), 0);
    EXPECT_EQ(m_host.CountCalls("BeginWaitCursor"), 1);
    // Call waiting is applied after the reopen, the menu bar redrawn last.
    EXPECT_LT(m_host.IndexOfCall("SetButtonCheck(1057"), m_host.IndexOfCall("SetButtonImage(1014"));
    EXPECT_LT(m_host.IndexOfCall("SetButtonImage(1014"), m_host.IndexOfCall("RedrawMenuBar"));
    const std::string trace = ReadFileText(m_dir.File("Ringvale.dbg"));
    EXPECT_NE(trace.find("TX: ATS76=7"), std::string::npos);
    EXPECT_EQ(trace.find("secret1"), std::string::npos) << "no password in the trace";

    CLineMonitor::SOnlineClock online = OnlineClock();
    EXPECT_TRUE(online.up);
    EXPECT_EQ(online.startTime, m_clock.Now());
    EXPECT_EQ(online.totalAtStart, 3600);

    // The on-line clock's tick shows both times and keeps the total.
    m_dialUp.statusAfterScript = EDialUpStatus::Connected;
    m_dialog->OnMessage(CMessage::Make(WM_RV_ONLINE_TIME, 61, 3661));
    EXPECT_EQ(m_host.StatusText(1), "Current: 000:00:01:01");
    EXPECT_EQ(m_host.StatusText(2), "Total: 000:01:01:01");
    EXPECT_EQ(m_dialog->Settings().m_dwTotalInternetTime, 3661U);

    m_host.ClearCalls();
    m_clock.AdvanceSeconds(5);
    m_dialUp.statusAfterScript = EDialUpStatus::Disconnected;
    Manager().ToggleDialUpConnection();
    const std::vector<std::string> activity = Activity();
    EXPECT_EQ(std::vector<std::string>(activity.end() - 4, activity.end()), kDisconnectTexts);
    EXPECT_EQ(m_dialUp.hungUp, std::vector<DialUpHandle>{42});
    EXPECT_EQ(m_dialUp.dials.size(), 1U) << "a disconnect does not dial";
    EXPECT_EQ(Manager().OwnConnection(), 0U);
    EXPECT_EQ(m_host.StatusText(0), "Offline");
    EXPECT_EQ(m_host.StatusText(1), "");
    EXPECT_EQ(m_host.ButtonImage(ctl::kDialUp), img::kOfflineIcon);
    online = OnlineClock();
    EXPECT_FALSE(online.up);
    EXPECT_EQ(online.startTime, m_clock.Now());
    EXPECT_EQ(online.totalAtStart, 3661);
    // A clock tick queued before the disconnect is stale and changes nothing.
    m_dialog->OnMessage(CMessage::Make(WM_RV_ONLINE_TIME, 70, 3670));
    EXPECT_EQ(m_host.StatusText(1), "");
}

// A dial that has not come up when DialUpTimeLimit has passed, or during which the user quits,
// is ended and reported like any failed dial. The window thread waits for it without blocking.
TEST_F(DialUpManagerTest, DialIsEndedAtItsTimeLimitOrWhenTheUserQuits) {
    const struct {
        const char* label;
        bool quit;
        int code;
    } rows[] = {
        {"time limit", false, kDialUpErrTimedOut},
        {"quit", true, kDialUpErrCancelled},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        m_dialog.reset();
        m_dialUp = CScriptedDialUp();
        m_dialUp.block = std::make_shared<CScriptedDialUp::SBlock>();
        CSettings s = BaseSettings();
        s.m_nDialUpTimeLimit = 1;
        Start(s);
        m_host.SetQuitDuringWait(row.quit);

        Manager().ToggleDialUpConnection();
        m_host.SetQuitDuringWait(false);

        // Ended while it ran, or (a quit at once) before it began.
        EXPECT_TRUE(m_dialUp.block->cancelled || m_dialUp.dials.empty());
        std::vector<std::string> expected = {"Closing modem connection for RAS operation", "Trying to connect to: Work",
                                             "RAS error: error text " + std::to_string(row.code)};
        if (!row.quit) {
            // Quitting skips the pause and the reopen: the shut-down follows.
            expected.emplace_back("Reopening modem connection after RAS operation");
        }
        EXPECT_EQ(Activity(), expected);
        EXPECT_EQ(Waits(), row.quit ? std::vector<int>{} : std::vector<int>{CDialUpManager::kFailurePauseMs});
        EXPECT_EQ(m_host.CountCalls("WaitForReadable(1000)"), 1);
        EXPECT_EQ(Manager().OwnConnection(), 0U);
        EXPECT_EQ(m_host.StatusText(0), "Offline");
        EXPECT_EQ(m_host.WaitCursorDepth(), 0);
    }
}

// pppd can end by itself (the line dropped, an idle limit, the peer hung up): the next tick of
// the on-line clock notices it and does what a disconnect does.
TEST_F(DialUpManagerTest, OwnConnectionThatEndsByItselfIsNoticedAtTheNextTick) {
    Start(BaseSettings());
    m_dialUp.statusAfterScript = EDialUpStatus::Connected;
    Manager().ToggleDialUpConnection();
    m_dialog->OnMessage(CMessage::Make(WM_RV_ONLINE_TIME, 61, 3661));
    ASSERT_EQ(m_host.StatusText(0), "Online to Work");
    const std::size_t mark = Activity().size();
    const std::size_t traceMark = ReadFileText(m_dir.File("Ringvale.dbg")).size();

    m_dialUp.statusAfterScript = EDialUpStatus::Disconnected;
    m_dialog->OnMessage(CMessage::Make(WM_RV_ONLINE_TIME, 62, 3662));

    const std::vector<std::string> activity = Activity();
    EXPECT_EQ(
        std::vector<std::string>(activity.begin() + static_cast<std::ptrdiff_t>(mark), activity.end()),
        (std::vector<std::string>{"Dial-up connection to Work has ended", "Closing modem connection for RAS operation",
                                  "Reopening modem connection after RAS operation"}));
    EXPECT_TRUE(m_dialUp.hungUp.empty());
    EXPECT_EQ(Manager().OwnConnection(), 0U);
    EXPECT_EQ(m_host.StatusText(0), "Offline");
    EXPECT_EQ(m_host.StatusText(1), "");
    EXPECT_EQ(m_host.StatusText(2), "Total: 000:01:01:02");
    EXPECT_EQ(m_dialog->Settings().m_dwTotalInternetTime, 3662U);
    EXPECT_FALSE(OnlineClock().up);
    EXPECT_EQ(OnlineClock().totalAtStart, 3662);
    EXPECT_EQ(m_host.ButtonImage(ctl::kDialUp), img::kOfflineIcon);
    EXPECT_TRUE(m_host.ControlEnabled(ctl::kDialUp));
    EXPECT_FALSE(Manager().SlotChecked(0));
    const std::string trace = ReadFileText(m_dir.File("Ringvale.dbg")).substr(traceMark);
    EXPECT_NE(trace.find("CModem::Open() trying serial"), std::string::npos);
    EXPECT_LT(trace.find("CModem::Open() trying serial"), trace.find("CModem::Open() trying socket"))
        << "the link goes back to the serial port first";
}

// The reopen's handshake can fail with a message box. The window framework runs queued work
// inside a modal box, so a toggle can start from inside it (a remote-control trigger, the tray
// menu): the box must come after the link lock is released, or that toggle locks it again.
TEST_F(DialUpManagerTest, HandshakeBoxOfAReopenComesAfterTheLinkLockIsReleased) {
    // A loopback address where nobody answers: every socket handshake fails with its box.
    Start(BaseSettings(), "127.0.88.1");
    const auto lockFree = [this] {
        // Asked from another thread, which cannot take a lock the window thread holds; the
        // line monitor holds it only for a moment.
        return std::async(std::launch::async,
                          [this] {
                              for (int i = 0; i < 100; ++i) {
                                  if (m_dialog->Monitor().LinkLock().try_lock()) {
                                      m_dialog->Monitor().LinkLock().unlock();
                                      return true;
                                  }
                                  std::this_thread::sleep_for(10ms);
                              }
                              return false;
                          })
            .get();
    };
    int boxes = 0;
    bool freeInBox = false;
    m_host.SetOnMessageBox([&](const std::string&) {
        if (++boxes == 1) {
            freeInBox = lockFree();
            if (freeInBox) {
                m_dialog->OnCommand(cmd::kToggleDialUp); // the nested toggle: disconnects
            }
        }
    });

    Manager().ToggleDialUpConnection();
    m_host.SetOnMessageBox({});

    EXPECT_TRUE(freeInBox) << "a message box was shown while the link lock was held";
    EXPECT_EQ(boxes, 2) << "the connect's box, then the nested disconnect's";
    EXPECT_EQ(m_host.MessageBoxes().size() - m_boxMark, 2U);
    EXPECT_EQ(m_dialUp.hungUp, std::vector<DialUpHandle>{42});
    EXPECT_EQ(Manager().OwnConnection(), 0U);
    EXPECT_EQ(m_host.StatusText(0), "Offline");
}

TEST_F(DialUpManagerTest, EmptySlotsMakeTheToggleAndTheButtonNoOps) {
    for (const std::string& name : {std::string(), std::string("<none selected>")}) {
        SCOPED_TRACE(name);
        CSettings s = BaseSettings();
        s.m_strRASConnection = {name, "Home", ""};
        s.m_nCurrentRASConnection = 0;
        m_dialog.reset();
        Start(s);
        m_dialog->OnCommand(cmd::kToggleDialUp);
        // Without any configured slot the dial-up button does nothing either.
        m_dialog->Settings().m_strRASConnection[1] = name;
        m_dialog->OnCommand(ctl::kDialUp);
        EXPECT_TRUE(m_host.Calls().empty());
        EXPECT_TRUE(m_dialUp.dials.empty());
    }
}

// The hang-up is seen through the status, for at most 15000 ms of the clock, without spinning:
// asleep on the service's end descriptor where it has one, else looking again every 50 ms.
TEST_F(DialUpManagerTest, HangUpWaitsForTheStatusWithinItsLimit) {
    struct SCase {
        const char* name;
        std::deque<EDialUpStatus> script;
        EDialUpStatus then;
        int expectedWaits;  // in place, of 50 ms; -1: until the limit
        bool endFd;         // the service has an end descriptor, readable at once
        int expectedSleeps; // waits on that descriptor
    };
    const SCase cases[] = {
        {"gone at once", {}, EDialUpStatus::Disconnected, 0, false, 0},
        {"gone after three checks",
         {EDialUpStatus::Pending, EDialUpStatus::Connected, EDialUpStatus::Pending},
         EDialUpStatus::Disconnected,
         3,
         false,
         0},
        {"stays pending", {}, EDialUpStatus::Pending, -1, false, 0},
        {"stays connected", {}, EDialUpStatus::Connected, -1, false, 0},
        // Readable while the status still says pending: one sleep, then looking again.
        {"ends through its descriptor",
         {EDialUpStatus::Pending, EDialUpStatus::Pending},
         EDialUpStatus::Disconnected,
         1,
         true,
         1},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        m_dialog.reset();
        m_dialUp = CScriptedDialUp();
        Start(BaseSettings());
        Manager().ToggleDialUpConnection();
        m_host.ClearCalls();
        m_dialUp.statusScript = c.script;
        m_dialUp.statusAfterScript = c.then;
        int ended[2] = {-1, -1};
        if (c.endFd) {
            ASSERT_EQ(::pipe(ended), 0);
            ::close(ended[1]); // a pipe without writer is readable
            m_dialUp.endFd = ended[0];
        }
        Manager().ToggleDialUpConnection();
        EXPECT_EQ(m_host.CountCalls("WaitForReadable("), c.expectedSleeps);
        if (ended[0] >= 0) {
            ::close(ended[0]);
        }

        const std::vector<int> waits = Waits();
        for (int w : waits) {
            EXPECT_EQ(w, CDialUpManager::kStatusPollMs);
        }
        const int waited = static_cast<int>(waits.size()) * CDialUpManager::kStatusPollMs;
        if (c.expectedWaits >= 0) {
            EXPECT_EQ(static_cast<int>(waits.size()), c.expectedWaits);
        } else {
            EXPECT_GE(waited, CDialUpManager::kHangUpLimitMs);
            EXPECT_LT(waited, CDialUpManager::kHangUpLimitMs + CDialUpManager::kStatusPollMs);
        }
        // Forgotten and reported done whatever the service said.
        EXPECT_EQ(Manager().OwnConnection(), 0U);
        EXPECT_EQ(Activity().at(Activity().size() - 2), "   Done");
        EXPECT_EQ(m_host.StatusText(0), "Offline");
    }
}

TEST_F(DialUpManagerTest, FailedDialLogsTheErrorPausesAndStaysOffline) {
    struct SCase {
        int code;
        DialUpHandle handle; // what the failed dial left behind
    };
    for (const SCase c : {SCase{6, 0}, SCase{19, 77}}) {
        SCOPED_TRACE(c.code);
        m_dialog.reset();
        m_dialUp = CScriptedDialUp();
        m_dialUp.dialResult = c.code;
        m_dialUp.dialHandle = c.handle;
        Start(BaseSettings());
        m_dialog->OnMessage(CMessage::WithText(WM_RV_STATUS_TEXT, "stale", 1));

        Manager().ToggleDialUpConnection();

        EXPECT_EQ(Activity(),
                  (std::vector<std::string>{"Closing modem connection for RAS operation", "Trying to connect to: Work",
                                            "RAS error: error text " + std::to_string(c.code),
                                            "Reopening modem connection after RAS operation"}));
        EXPECT_EQ(m_dialUp.hungUp, c.handle != 0 ? std::vector<DialUpHandle>{c.handle} : std::vector<DialUpHandle>{});
        EXPECT_EQ(Waits(), std::vector<int>{CDialUpManager::kFailurePauseMs});
        EXPECT_EQ(Manager().OwnConnection(), 0U);
        EXPECT_EQ(m_host.StatusText(0), "Offline");
        EXPECT_EQ(m_host.StatusText(1), "");
        EXPECT_EQ(m_host.ButtonImage(ctl::kDialUp), img::kOfflineIcon);
        // The clock restarts after the pause, from the total as it is.
        const CLineMonitor::SOnlineClock online = OnlineClock();
        EXPECT_FALSE(online.up);
        EXPECT_EQ(online.startTime, m_clock.Now());
        EXPECT_EQ(online.totalAtStart, 3600);
    }
}

// With exactly one configured slot, wherever it is, the button connects and disconnects it.
TEST_F(DialUpManagerTest, DialUpButtonTogglesTheOnlyConfiguredSlot) {
    for (int slot = 0; slot < kRasSlots; ++slot) {
        SCOPED_TRACE(slot);
        CSettings s = BaseSettings();
        s.m_strRASConnection = {"<none selected>", "", ""};
        s.m_strRASConnection[slot] = "Only";
        s.m_nCurrentRASConnection = (slot + 1) % kRasSlots;
        m_dialog.reset();
        m_dialUp = CScriptedDialUp();
        Start(s);

        m_dialog->OnCommand(ctl::kDialUp);
        EXPECT_EQ(m_dialog->Settings().m_nCurrentRASConnection, slot);
        ASSERT_EQ(m_dialUp.dials.size(), 1U);
        EXPECT_EQ(m_dialUp.dials[0].entry, "Only");
        EXPECT_EQ(m_dialUp.dials[0].user, s.m_strRASUserName[slot]);
        EXPECT_EQ(m_host.StatusText(0), "Online to Only");

        m_dialog->OnCommand(ctl::kDialUp);
        EXPECT_EQ(m_dialUp.hungUp.size(), 1U);
        EXPECT_EQ(m_dialUp.dials.size(), 1U);
        EXPECT_EQ(m_host.StatusText(0), "Offline");
        EXPECT_TRUE(m_host.PopupMenus().empty());
    }
}

TEST_F(DialUpManagerTest, DialUpButtonOffersTheConfiguredSlotsAndDialsTheChosenOne) {
    CSettings s = BaseSettings();
    s.m_strRASConnection = {"Work", "<none selected>", "Home"};
    s.m_nCurrentRASConnection = 0;
    Start(s);
    m_host.SetPopupChoice(cmd::kConnection1 + 2);

    m_dialog->OnCommand(ctl::kDialUp);

    ASSERT_EQ(m_host.PopupMenus().size(), 1U);
    EXPECT_EQ(m_host.PopupMenus()[0],
              (std::vector<SMenuItem>{{cmd::kConnection1, "Connect to Work", false, false},
                                      {cmd::kConnection1 + 2, "Connect to Home", false, false}}));
    EXPECT_EQ(m_dialog->Settings().m_nCurrentRASConnection, 2);
    ASSERT_EQ(m_dialUp.dials.size(), 1U);
    EXPECT_EQ(m_dialUp.dials[0].entry, "Home");
    EXPECT_EQ(m_dialUp.dials[0].password, "secret3");
    EXPECT_EQ(m_host.StatusText(0), "Online to Home");

    // Nothing chosen: nothing happens.
    m_host.SetPopupChoice(0);
    m_host.ClearCalls();
    m_dialog->OnCommand(ctl::kDialUp);
    EXPECT_EQ(m_host.Calls(), std::vector<std::string>{"TrackPopupMenu(2)"});
}

TEST_F(DialUpManagerTest, ClearTotalTimerZeroesTheTotalButKeepsTheConnectionStart) {
    Start(BaseSettings());
    Manager().ToggleDialUpConnection();
    const std::int64_t started = OnlineClock().startTime;
    m_clock.AdvanceSeconds(30);

    m_dialog->OnCommand(cmd::kClearTotalTimer);

    EXPECT_EQ(m_host.StatusText(2), "Total: 000:00:00:00");
    EXPECT_EQ(m_dialog->Settings().m_dwTotalInternetTime, 0U);
    const CLineMonitor::SOnlineClock online = OnlineClock();
    EXPECT_TRUE(online.up);
    EXPECT_EQ(online.totalAtStart, 0);
    EXPECT_EQ(online.startTime, started);
}

// An item chosen while the link is not on the socket makes its slot current and toggles, so
// an own connection whose reopen did not reach the socket is still ended.
TEST_F(DialUpManagerTest, ItemWithoutTheSocketTogglesTheChosenSlot) {
    CSettings s = BaseSettings();
    s.m_strRASConnection = {"Work", "Home", ""};
    Start(s);
    m_dialog->OnCommand(cmd::kConnection1);
    ASSERT_EQ(Manager().OwnConnection(), 42U);
    m_dialog->OnCommand(cmd::kConnection1 + 1);
    EXPECT_EQ(Manager().OwnConnection(), 0U);
    EXPECT_TRUE(m_host.HasActivity("Trying to disconnect from: Home"));
    EXPECT_EQ(m_dialUp.dials.size(), 1U);
    // Items of empty slots and unknown ids do nothing.
    m_host.ClearCalls();
    m_dialog->OnCommand(cmd::kConnection1 + 2);
    EXPECT_TRUE(m_host.Calls().empty());
}

TEST_F(DialUpManagerTest, ShutDownHangsUpAnOwnConnectionWithoutWaiting) {
    Start(BaseSettings());
    Manager().ToggleDialUpConnection();
    const int queries = m_dialUp.statusQueries;
    m_dialUp.statusAfterScript = EDialUpStatus::Connected;
    m_host.ClearCalls();

    m_dialog->OnOK();

    EXPECT_EQ(m_dialUp.hungUp, std::vector<DialUpHandle>{42});
    EXPECT_EQ(m_dialUp.statusQueries, queries);
    EXPECT_TRUE(Waits().empty());
    EXPECT_EQ(Activity(), kConnectTexts) << "nothing closed or reopened";
    // Its on-line time up to the last tick is saved.
    EXPECT_NE(ReadFileText(m_dir.File("RV.cfg")).find("TotalInternetTime=0x00000E10"), std::string::npos);
}

} // namespace
