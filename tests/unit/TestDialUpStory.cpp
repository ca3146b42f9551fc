// Dial-up stories end to end: the controller with the simulated dial-up service against the
// adapter simulator. A dial really takes the adapter's tty, so the link really moves to the
// simulator's UDP side and back; a connection made by "someone else" holds the tty at start-up
// until it ends.
#include "controller/CMainDialog.h"
#include "core/Trace.h"
#include "dialup/CSimulatedDialUpService.h"
#include "dialup/DialUpErrors.h"
#include "support/CFakeClock.h"
#include "support/CFakeWindowHost.h"
#include "support/ControllerTestOptions.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <pty.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

class DialUpStoryTest : public ::testing::Test {
protected:
    DialUpStoryTest() : m_cwd(m_dir.Path()) { SetTraceFilePath(m_dir.File("Ringvale.dbg")); }
    ~DialUpStoryTest() override {
        m_dialog.reset();
        m_service.reset();
        SetTraceFilePath("Ringvale.dbg");
    }

    // Starts the adapter simulator on its own address and the simulated dial-up service whose
    // entries dial the simulator's tty.
    void StartSimulators(const std::string& address) {
        m_sim = std::make_unique<CSimProcess>(CSimProcess::Options{m_dir.Path(), address, {}});
        ASSERT_TRUE(m_sim->Running());
        const std::string tty = m_sim->LinkPath();
        WriteFileText(m_dir.File("dialup-sim.txt"),
                      "Work=" + tty + "\nHome=" + tty + " user=bob password=pw2\nBroken=" + tty + " fail=19\n");
        m_service = std::make_unique<CSimulatedDialUpService>(m_dir.File("dialup-sim.txt"), m_dir.Path());
    }

    CSettings Settings() const {
        CSettings s = QuickControllerSettings(m_sim->LinkPath());
        s.m_strModemName = m_sim->LinkPath();
        s.m_strRASConnection = {"Work", "Home", ""};
        s.m_strRASUserName = {"alice", "bob", ""};
        s.m_strRASPassword = {"pw1", "pw2", ""};
        s.m_dwTotalInternetTime = 100;
        return s;
    }

    // The controller on the simulators; the clock is the fake one unless a test needs real time.
    void StartDialog(const CSettings& s, const IClock* clock = nullptr) {
        WriteFileText(m_dir.File("RV.cfg"), s.Serialize(false));
        m_dialog = std::make_unique<CMainDialog>(m_host, clock != nullptr ? *clock : m_clock, *m_service,
                                                 QuickControllerOptions(m_dir.Path(), m_sim->Address()));
        ASSERT_TRUE(m_dialog->OnInitDialog());
        ASSERT_TRUE(m_host.MessageBoxes().empty());
    }

    bool PumpUntil(const std::function<bool()>& condition) { return PumpMessagesUntil(*m_dialog, condition); }

    int CountActivity(const std::string& text) const {
        int n = 0;
        for (const std::string& line : m_host.ActivityTexts()) {
            n += line == text ? 1 : 0;
        }
        return n;
    }
    CModem& Modem() { return m_dialog->Modem(); }
    // "serial" or "socket": what the link tried first at the latest reopen of a dial-up operation.
    std::string FirstTryOfLastReopen() const {
        const std::string trace = ReadFileText(m_dir.File("Ringvale.dbg"));
        const auto reopen = trace.rfind("Reopening modem connection after RAS operation");
        const std::string tryText = "CModem::Open() trying ";
        const auto attempt = reopen == std::string::npos ? reopen : trace.find(tryText, reopen);
        return attempt == std::string::npos ? "" : trace.substr(attempt + tryText.size(), 6);
    }
    bool Checked(int slot) const {
        for (const auto& item : m_host.Menu(EMenu::Internet)) {
            if (item.command == cmd::kConnection1 + slot) {
                return item.checked;
            }
        }
        ADD_FAILURE() << "no item for slot " << slot;
        return false;
    }

    TempDir m_dir;
    ScopedCwd m_cwd;
    CFakeClock m_clock;
    CFakeWindowHost m_host{&m_clock};
    std::unique_ptr<CSimProcess> m_sim;
    std::unique_ptr<CSimulatedDialUpService> m_service;
    std::unique_ptr<CMainDialog> m_dialog;
};

TEST_F(DialUpStoryTest, ConnectMovesTheLinkToUdpAndDisconnectBackToTheTty) {
    StartSimulators("127.0.63.1");
    StartDialog(Settings());
    ASSERT_TRUE(Modem().OnSerial());
    EXPECT_EQ(m_host.StatusText(0), "Offline");

    std::size_t mark = m_sim->Log().size();
    m_dialog->OnCommand(cmd::kConnection1);
    EXPECT_EQ(m_host.StatusText(0), "Online to Work");
    EXPECT_TRUE(Modem().OnSocket()) << "the dial holds the tty";
    EXPECT_EQ(FirstTryOfLastReopen(), "socket");
    EXPECT_EQ(m_service->ActiveConnections().size(), 1U);
    EXPECT_TRUE(Checked(0));
    EXPECT_FALSE(Checked(1));
    EXPECT_EQ(m_host.ButtonImage(ctl::kDialUp), img::kOnlineIcon);
    // The simulator's socket side answered the handshake, and call waiting went the same way.
    EXPECT_TRUE(m_sim->WaitForLogAfter(mark, "RX udp AT$V1"));
    EXPECT_TRUE(m_sim->WaitForLogAfter(mark, "RX udp ATS76="));

    // The on-line clock counts from the connect.
    m_clock.AdvanceSeconds(3);
    m_dialog->Monitor().Wake();
    EXPECT_TRUE(PumpUntil([&] { return m_host.StatusText(1) == "Current: 000:00:00:03"; }));
    EXPECT_EQ(m_host.StatusText(2), "Total: 000:00:01:43");

    // Reports arrive over the socket while online.
    ASSERT_TRUE(m_sim->Command("ring 2 5551234"));
    EXPECT_TRUE(PumpUntil([&] { return m_host.HasActivity("Call offering: 5551234"); }));

    // The dial-up button offers both slots; the checked one is chosen.
    mark = m_sim->Log().size();
    m_host.SetPopupChoice(cmd::kConnection1);
    m_dialog->OnCommand(ctl::kDialUp);
    ASSERT_EQ(m_host.PopupMenus().size(), 1U);
    EXPECT_TRUE(m_host.PopupMenus()[0].at(0).checked);
    EXPECT_EQ(m_host.StatusText(0), "Offline");
    EXPECT_EQ(m_host.StatusText(1), "");
    EXPECT_TRUE(Modem().OnSerial()) << "the hang-up released the tty";
    EXPECT_EQ(FirstTryOfLastReopen(), "serial");
    EXPECT_TRUE(m_service->ActiveConnections().empty());
    EXPECT_FALSE(Checked(0));
    EXPECT_EQ(m_host.ButtonImage(ctl::kDialUp), img::kOfflineIcon);
    EXPECT_TRUE(m_sim->WaitForLogAfter(mark, "RX pty ATS76="));
    EXPECT_EQ(CountActivity("   Done"), 1);
    EXPECT_EQ(m_dialog->Settings().m_dwTotalInternetTime, 103U);
    m_dialog->OnOK();
}

TEST_F(DialUpStoryTest, FailedDialStaysOfflineOnTheTty) {
    StartSimulators("127.0.63.2");
    CSettings s = Settings();
    s.m_strRASConnection = {"Broken", "", ""};
    StartDialog(s);
    const std::int64_t before = m_clock.Now();

    m_dialog->OnCommand(ctl::kDialUp);

    EXPECT_TRUE(m_host.HasActivity("RAS error: " + DialUpErrorText(19)));
    EXPECT_FALSE(m_host.HasActivity("   Success!"));
    EXPECT_EQ(m_host.StatusText(0), "Offline");
    EXPECT_TRUE(Modem().OnSerial());
    EXPECT_EQ(m_host.Waits(), std::vector<int>{2000});
    EXPECT_EQ(FirstTryOfLastReopen(), "serial");
    const CLineMonitor::SOnlineClock online = m_dialog->Monitor().OnlineClock();
    EXPECT_FALSE(online.up);
    EXPECT_EQ(online.startTime, before + 2) << "restarted after the pause";
    m_dialog->OnOK();
}

TEST_F(DialUpStoryTest, CheckedItemDisconnectsAndAnotherItemSwitchesConnections) {
    StartSimulators("127.0.63.3");
    StartDialog(Settings());

    m_dialog->OnCommand(cmd::kConnection1);
    ASSERT_TRUE(Checked(0));
    // The checked item ends its connection and does not dial again.
    m_dialog->OnCommand(cmd::kConnection1);
    EXPECT_EQ(m_host.StatusText(0), "Offline");
    EXPECT_EQ(CountActivity("Trying to connect to: Work"), 1);
    EXPECT_TRUE(Modem().OnSerial());

    // Online to Work, then Home is chosen: Work ends, Home is dialled, with its credentials.
    m_dialog->OnCommand(cmd::kConnection1);
    ASSERT_EQ(m_host.StatusText(0), "Online to Work");
    m_dialog->OnCommand(cmd::kConnection1 + 1);
    EXPECT_EQ(CountActivity("Trying to disconnect from: Work"), 2);
    EXPECT_EQ(CountActivity("Trying to connect to: Home"), 1);
    EXPECT_FALSE(m_host.HasActivity("RAS error: " + DialUpErrorText(kPppdExitAuthFailed)));
    EXPECT_EQ(m_host.StatusText(0), "Online to Home");
    EXPECT_EQ(m_dialog->Settings().m_nCurrentRASConnection, 1);
    EXPECT_TRUE(Modem().OnSocket());
    EXPECT_FALSE(Checked(0));
    EXPECT_TRUE(Checked(1));
    const auto connections = m_service->ActiveConnections();
    ASSERT_EQ(connections.size(), 1U);
    EXPECT_EQ(connections[0].entryName, "Home");

    // Shut-down hangs the connection up.
    m_dialog->OnOK();
    EXPECT_TRUE(m_service->ActiveConnections().empty());
}

TEST_F(DialUpStoryTest, ForeignConnectionAtStartUpIsLeftAloneUntilItEnds) {
    StartSimulators("127.0.63.4");
    int err = 0;
    ASSERT_TRUE(m_service->StartForeignConnection(m_sim->LinkPath(), err)) << err;
    StartDialog(Settings(), &CSystemClock::Instance());

    EXPECT_TRUE(Modem().OnSocket());
    EXPECT_EQ(m_host.StatusText(0), "Online (at startup)");
    EXPECT_FALSE(m_host.ControlEnabled(ctl::kDialUp));
    EXPECT_FALSE(Checked(0));
    EXPECT_FALSE(Checked(1));
    // The items are inert: no close, no dial.
    m_dialog->OnCommand(cmd::kConnection1);
    m_dialog->OnCommand(cmd::kConnection1 + 1);
    EXPECT_FALSE(m_host.HasActivity("Closing modem connection for RAS operation"));
    EXPECT_EQ(m_service->ActiveConnections().size(), 1U);
    EXPECT_TRUE(Modem().OnSocket());

    const auto ended = std::chrono::steady_clock::now();
    m_service->EndForeignConnection(m_sim->LinkPath());
    ASSERT_TRUE(PumpUntil([&] { return m_host.HasActivity("RAS disconnected - closing/opening"); }));
    const auto noticed = std::chrono::steady_clock::now() - ended;
    // The watch looks every 500 ms; leave room for a loaded machine.
    EXPECT_LT(noticed, 1500ms) << std::chrono::duration_cast<std::chrono::milliseconds>(noticed).count();
    ASSERT_TRUE(PumpUntil([&] { return m_host.StatusText(0) == "Offline"; }));
    EXPECT_TRUE(m_host.HasActivity("   Success, on serial"));
    EXPECT_TRUE(Modem().OnSerial());
    EXPECT_TRUE(m_host.ControlEnabled(ctl::kDialUp));
    EXPECT_FALSE(m_dialog->Monitor().ForeignWatch());

    // Now the items work again.
    m_dialog->OnCommand(cmd::kConnection1);
    EXPECT_EQ(m_host.StatusText(0), "Online to Work");
    EXPECT_TRUE(Modem().OnSocket());
    m_dialog->OnOK();
}

TEST_F(DialUpStoryTest, RemoteControlTriggerTogglesTheConnection) {
    StartSimulators("127.0.63.5");
    CSettings s = Settings();
    s.m_bRCWatchNumbers = true;
    s.m_strRCRemoteNumber = "4085551212";
    s.m_strRCLocalNumber = "4085550000";
    StartDialog(s);
    // The pause between the trigger's hang-up and the dial takes no time on the fake clock: the
    // simulator is given the time to take the hang-up, as the adapter has in the real pause,
    // before the link is closed for the dial.
    const auto hangUpTaken = [this](std::size_t mark) { m_sim->WaitForLogAfter(mark, " AT*1H/"); };
    m_clock.SetOnAdvance([=, mark = m_sim->Log().size()] { hangUpTaken(mark); });

    ASSERT_TRUE(m_sim->Command("ring 1 4085551212 4085550000"));
    ASSERT_TRUE(PumpUntil([&] { return m_host.StatusText(0) == "Online to Work"; })) << [&] {
        std::string all;
        for (const std::string& line : m_host.ActivityTexts()) {
            all += line + "\n";
        }
        return all;
    }();
    EXPECT_TRUE(m_host.HasActivity("Matched the RemoteControl watch numbers"));
    EXPECT_TRUE(Modem().OnSocket());

    // The same call again, now over the socket: the trigger ends the connection.
    m_clock.SetOnAdvance([=, mark = m_sim->Log().size()] { hangUpTaken(mark); });
    ASSERT_TRUE(m_sim->Command("ring 1 4085551212 4085550000"));
    ASSERT_TRUE(PumpUntil([&] { return m_host.StatusText(0) == "Offline"; }));
    EXPECT_EQ(CountActivity("Matched the RemoteControl watch numbers"), 2);
    EXPECT_TRUE(Modem().OnSerial());
    m_dialog->OnOK();
}

// A remote-control trigger dials while a connection the program did not make holds the
// adapter's port (the entry here dials another device): the watch ends, the dial-up button
// works again, and the controller sits idle instead of spinning.
TEST_F(DialUpStoryTest, RemoteControlDialDuringAForeignConnectionEndsTheWatchAndStaysIdle) {
    StartSimulators("127.0.63.6");
    int master = -1;
    int slave = -1;
    char other[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, other, nullptr, nullptr), 0);
    WriteFileText(m_dir.File("dialup-sim.txt"), std::string("Other=") + other + "\n");
    int err = 0;
    ASSERT_TRUE(m_service->StartForeignConnection(m_sim->LinkPath(), err)) << err;
    CSettings s = Settings();
    s.m_strRASConnection = {"Other", "", ""};
    s.m_bRCWatchNumbers = true;
    s.m_strRCRemoteNumber = "4085551212";
    s.m_strRCLocalNumber = "4085550000";
    StartDialog(s, &CSystemClock::Instance());
    ASSERT_TRUE(m_dialog->Monitor().ForeignWatch());

    ASSERT_TRUE(m_sim->Command("ring 1 4085551212 4085550000"));
    ASSERT_TRUE(PumpUntil([&] { return m_host.StatusText(0) == "Online to Other"; }));
    const auto cpuSeconds = [] {
        timespec t{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
    };
    const double cpuBefore = cpuSeconds();
    const std::uint64_t passesBefore = m_dialog->Monitor().Passes();
    std::this_thread::sleep_for(2s); // the time measured: every thread of the controller idles
    const double cpu = cpuSeconds() - cpuBefore;
    const std::uint64_t passes = m_dialog->Monitor().Passes() - passesBefore;
    EXPECT_LT(cpu, 0.2) << "CPU seconds in 2 s";
    EXPECT_LT(passes, 20U) << "the on-line clock wakes the monitor once a second";

    ASSERT_TRUE(PumpUntil([&] { return m_host.ControlEnabled(ctl::kDialUp); }));
    EXPECT_FALSE(m_dialog->Monitor().ForeignWatch());
    EXPECT_EQ(m_host.StatusText(0), "Online to Other");
    m_dialog->OnOK();
    ::close(master);
    ::close(slave);
}

} // namespace
