// The real program with the simulated dial-up service: remote-control triggers connect and
// disconnect; while connected the dial-up connection really holds the adapter's tty and the
// program talks to the adapter over UDP, then goes back to the serial link. A dial that takes
// long does not keep a termination signal from ending the program.
#include "support/WholeProgramRig.h"

#include <chrono>
#include <csignal>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class DialUpEndToEnd : public CWholeProgramTest {
protected:
    DialUpEndToEnd() : CWholeProgramTest("127.77.3.1") {}

    // The settings of a run: slot 1 is `entry`; a call from 4155550123 to 4085550000 and the
    // DTMF sequence *99# both toggle the connection.
    std::vector<std::pair<std::string, std::string>> Settings(const std::string& entry) {
        return {{"RASConnection", entry},
                {"ModemName", Sim().LinkPath()},
                {"RCWatchNumbers", "Y"},
                {"RCLocalNumber", "4085550000"},
                {"RCRemoteNumber", "4155550123"},
                {"RCWatchDTMF", "Y"},
                {"RCDTMF", "*99#"}};
    }
};

// The socket variant of the start-up dialogue, as the program runs it after a connect.
const std::vector<std::string> kSocketSession = {"<dbg> CModem::Open() trying socket",
                                                 "<dbg> CModem::Open() on socket",
                                                 "TX: AT$V0<0D>",
                                                 "TX: ATS63=9<0D>",
                                                 "TX: ATS86=3<0D>",
                                                 "TX: AT$V1<0D>",
                                                 "TX: AT*SC<0D>",
                                                 "TX: ATS76=3<0D>"};

TEST_F(DialUpEndToEnd, RemoteControlConnectsOverTheAdapterAndDisconnectsAgain) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--first-id", "17"}));
    ASSERT_NO_FATAL_FAILURE(WriteConfig(Settings("Demo ISP")));
    WriteFile("dialup-sim.txt",
              "# entries of the simulated dial-up service\nDemo ISP=" + Sim().LinkPath() + " delay=300\n");
    WriteFile("RV.log", "CallLogVersion2\r\n");
    ASSERT_NO_FATAL_FAILURE(StartProgram());

    // The watched caller rings: rejected, then the connection is made. The adapter's tty is
    // closed for the dial (the dial-up connection takes it) and the link reopens over UDP.
    std::size_t traceAt = Program().Trace().size();
    std::size_t simAt = Sim().Log().size();
    Simulate("ring 1 4155550123 5550000");
    ASSERT_TRUE(Program().WaitForTrace("Reopening modem connection after RAS operation", 20000, traceAt));
    ASSERT_TRUE(Program().WaitForTrace("TX: ATS76=3<0D>", 20000, traceAt));
    std::vector<std::string> connect = {"Matched the RemoteControl watch numbers",
                                        "TX: AT*1H/17<0D>",
                                        "Closing modem connection for RAS operation",
                                        "TX: AT$V0<0D>",
                                        "TX: ATE1<0D>",
                                        "Trying to connect to: Demo ISP",
                                        "   Success!",
                                        "Reopening modem connection after RAS operation"};
    connect.insert(connect.end(), kSocketSession.begin(), kSocketSession.end());
    EXPECT_EQ(FindInOrder(Program().Trace().substr(traceAt), connect), "");
    EXPECT_EQ(Program().Trace().find("RAS error", traceAt), std::string::npos);
    EXPECT_TRUE(Sim().WaitForLogAfter(simAt, "RX udp AT$V1", 5000));
    EXPECT_TRUE(Sim().WaitForLogAfter(simAt, "RX udp ATS76=3", 5000));

    // While connected, calls arrive over UDP: a caller is answered on Phone 2 and keys the
    // DTMF sequence, which ends the call at once and disconnects.
    traceAt = Program().Trace().size();
    simAt = Sim().Log().size();
    Simulate("ring 2 4085551212 5551212");
    ASSERT_TRUE(Program().WaitForTrace("Call offering: 4085551212", 10000, traceAt));
    Simulate("offhook 2");
    ASSERT_TRUE(Sim().WaitForLogAfter(simAt, "RX udp AT*2A/18", 10000));
    ASSERT_TRUE(Program().WaitForTrace("Call connected", 10000, traceAt));
    Simulate("dtmf 2 5*99#");
    ASSERT_TRUE(Program().WaitForTrace("Reopening modem connection after RAS operation", 20000, traceAt));
    ASSERT_TRUE(Program().WaitForTrace("TX: ATS76=3<0D>", 30000, traceAt));
    const std::vector<std::string> disconnect = {"Matched the RemoteControl DTMF sequence",
                                                 "TX: AT*2H/18<0D>",
                                                 "Call log updated",
                                                 "Closing modem connection for RAS operation",
                                                 "Trying to disconnect from: Demo ISP",
                                                 "   Done",
                                                 "Reopening modem connection after RAS operation",
                                                 "<dbg> CModem::Open() trying serial",
                                                 "<dbg> CModem::Open() on serial",
                                                 "TX: ATI<0D>",
                                                 "TX: AT*SC<0D>",
                                                 "TX: ATS76=3<0D>"};
    EXPECT_EQ(FindInOrder(Program().Trace().substr(traceAt), disconnect), "");
    EXPECT_TRUE(Sim().WaitForLogAfter(simAt, "RX udp AT*2H/18", 5000));
    EXPECT_TRUE(Sim().WaitForLogAfter(simAt, "RX pty ATI", 5000)) << "the serial link is back";

    // The triggering call was logged when it was ended, answered on Phone 2.
    const auto records = RecordsWithNumber(Program().Read("RV.log"), "4085551212", 1);
    ASSERT_EQ(records.size(), 1u) << Program().Read("RV.log");
    EXPECT_EQ(records[0][3], "1");
    EXPECT_EQ(records[0][6], "1");

    // Back on the serial link, calls work as before.
    traceAt = Program().Trace().size();
    Simulate("ring 1 4085551212 5551212");
    ASSERT_TRUE(Program().WaitForTrace("Call offering: 4085551212", 10000, traceAt));
    ASSERT_NO_FATAL_FAILURE(StopProgram());
    EXPECT_NE(Program().Read("RV.cfg").find("RASConnection=Demo ISP\r\n"), std::string::npos);
}

TEST_F(DialUpEndToEnd, FailedDialIsLoggedAndTheSerialLinkComesBack) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--first-id", "17"}));
    ASSERT_NO_FATAL_FAILURE(WriteConfig(Settings("Broken ISP")));
    WriteFile("dialup-sim.txt", "Broken ISP=" + Sim().LinkPath() + " fail=10\n");
    ASSERT_NO_FATAL_FAILURE(StartProgram());

    const std::size_t traceAt = Program().Trace().size();
    const std::size_t simAt = Sim().Log().size();
    Simulate("ring 1 4155550123 5550000");
    ASSERT_TRUE(Program().WaitForTrace("Reopening modem connection after RAS operation", 20000, traceAt));
    ASSERT_TRUE(Program().WaitForTrace("TX: ATS76=3<0D>", 30000, traceAt));
    EXPECT_EQ(FindInOrder(Program().Trace().substr(traceAt),
                          {"Trying to connect to: Broken ISP", "RAS error: ",
                           "Reopening modem connection after RAS operation", "<dbg> CModem::Open() trying serial",
                           "<dbg> CModem::Open() on serial", "TX: AT*SC<0D>", "TX: ATS76=3<0D>"}),
              "");
    EXPECT_EQ(Program().Trace().find("   Success!", traceAt), std::string::npos);
    EXPECT_TRUE(Sim().WaitForLogAfter(simAt, "RX pty ATS76=3", 5000));
    EXPECT_EQ(Sim().Log().find("RX udp", simAt), std::string::npos) << "nothing went over UDP";
    ASSERT_NO_FATAL_FAILURE(StopProgram());
}

// A dial that does not come up leaves the program responsive: a termination signal ends the dial
// and then the program, with its settings saved.
TEST_F(DialUpEndToEnd, TerminationDuringADialEndsTheDialAndTheProgram) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--first-id", "17"}));
    ASSERT_NO_FATAL_FAILURE(WriteConfig(Settings("Slow ISP")));
    WriteFile("dialup-sim.txt", "Slow ISP=" + Sim().LinkPath() + " delay=60000\n");
    ASSERT_NO_FATAL_FAILURE(StartProgram());

    const std::size_t traceAt = Program().Trace().size();
    Simulate("ring 1 4155550123 5550000");
    ASSERT_TRUE(Program().WaitForTrace("dialling Slow ISP", 20000, traceAt));
    const auto signalled = std::chrono::steady_clock::now();
    const int status = Program().Terminate(SIGTERM, 20000);
    ASSERT_NE(status, -1) << "the program did not end during the dial";
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(10));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    const std::string trace = Program().Trace().substr(traceAt);
    EXPECT_NE(trace.find("RAS error: The dial was cancelled"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("   Success!"), std::string::npos);
    EXPECT_NE(Program().Read("RV.cfg").find("RASConnection=Slow ISP\r\n"), std::string::npos);
}

TEST_F(DialUpEndToEnd, ConnectionHoldingTheTtyAtStartUpIsWatchedUntilItEnds) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator());
    ASSERT_NO_FATAL_FAILURE(WriteConfig(Settings("Demo ISP")));
    // Someone else's connection holds the adapter's tty for the first 14 seconds.
    WriteFile("dialup-sim.txt", "Demo ISP=" + Sim().LinkPath() + "\nforeign=" + Sim().LinkPath() + " for=14000\n");
    ASSERT_NO_FATAL_FAILURE(StartProgram());

    // Start-up: ten failed tries on the serial port, then the socket.
    std::string trace = Program().Trace();
    std::vector<std::string> startUp = {"<dbg> CModem::Open() trying serial"};
    for (int i = 0; i < 10; ++i) {
        startUp.emplace_back("<dbg> CModem::Open() serial failed, waiting...");
    }
    startUp.insert(startUp.end(), kSocketSession.begin(), kSocketSession.end());
    EXPECT_EQ(FindInOrder(trace, startUp), "");
    EXPECT_EQ(trace.find("<dbg> CModem::Open() on serial"), std::string::npos);

    // When that connection has gone, the link moves back to the serial port by itself.
    const std::size_t traceAt = trace.size();
    ASSERT_TRUE(Program().WaitForTrace("   Success, on serial", 30000, traceAt));
    EXPECT_EQ(FindInOrder(Program().Trace().substr(traceAt),
                          {"RAS disconnected - closing/opening", "<dbg> CModem::Open() trying serial",
                           "<dbg> CModem::Open() on serial", "TX: AT*SC<0D>", "   Success, on serial"}),
              "");
    EXPECT_TRUE(Sim().WaitForLog("RX pty AT*SC", 5000));
    ASSERT_NO_FATAL_FAILURE(StopProgram());
}

// A connection the program did not make ends while another one still holds the adapter's tty:
// the reopen's serial tries would take ten seconds. A termination signal meanwhile ends the
// program through its shut-down at once.
TEST_F(DialUpEndToEnd, TerminationSignalDuringTheReopenEndsTheProgramAtOnce) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator());
    int master = -1;
    int slave = -1;
    char watched[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, watched, nullptr, nullptr), 0);
    ASSERT_NO_FATAL_FAILURE(WriteConfig({{"ModemName", watched}}));
    const std::string held = "foreign=" + Sim().LinkPath() + "\n";
    WriteFile("dialup-sim.txt", held + "foreign=" + watched + "\n");
    ASSERT_NO_FATAL_FAILURE(StartProgram()); // on the socket: the tty is held
    ASSERT_NE(Program().Trace().find("<dbg> CModem::Open() on socket"), std::string::npos);

    const std::size_t at = Program().Trace().size();
    WriteFile("dialup-sim.txt", held);
    ASSERT_TRUE(Program().WaitForTrace("RAS disconnected - closing/opening", 5000, at));
    ASSERT_TRUE(Program().WaitForTrace("<dbg> CModem::Open() serial failed, waiting...", 5000, at));
    const auto sent = std::chrono::steady_clock::now();
    const int status = Program().Terminate(SIGTERM, 20000);
    const auto took = std::chrono::steady_clock::now() - sent;
    ASSERT_NE(status, -1);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_TRUE(Program().WaitForTrace("TX: ATE1<0D>", 0, at));
    ::close(master);
    ::close(slave);
}

} // namespace
