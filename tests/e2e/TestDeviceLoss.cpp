// The real program when the adapter's device goes away in the middle of a session (the
// adapter unplugged, its USB serial converter gone, the simulator ended): the program stays
// up, keeps its call records, waits for the device, takes it up again when it comes back, and
// still shuts down cleanly while it waits.
#include "support/WholeProgramRig.h"

#include <csignal>
#include <sys/wait.h>

namespace {

class DeviceLoss : public CWholeProgramTest {
protected:
    DeviceLoss() : CWholeProgramTest("127.77.4.1") {}
};

TEST_F(DeviceLoss, DeviceVanishingDuringACallDoesNotBringTheProgramDown) {
    const SPbkLine ann{"4085551212", "Lee", "Ann", "", "", "0", 0, 0, 0, "0", 0, 0, 0, 0};
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--first-id", "17"}));
    ASSERT_NO_FATAL_FAILURE(WriteConfig({{"DefaultAreaCode", "408"}}));
    WriteFile("RV.pbk", PhoneBookText({ann}));
    WriteFile("RV.log", "CallLogVersion2\r\n");
    ASSERT_NO_FATAL_FAILURE(StartProgram());

    // A missed call is logged first; then a call is answered and still going on when the
    // device disappears.
    Simulate("ring 2 4085551212 5551212");
    ASSERT_TRUE(Program().WaitForTrace("Call offering: 4085551212"));
    Simulate("hangup-far 2");
    ASSERT_TRUE(Program().WaitForTrace("Call log updated"));
    const std::string logBefore = Program().Read("RV.log");
    Simulate("ring 1 4085551212 5551212");
    Simulate("offhook 1");
    ASSERT_TRUE(Program().WaitForTrace("Call connected"));

    const std::size_t traceAt = Program().Trace().size();
    ASSERT_NE(Sim().Stop(), -1); // the pty goes away with the simulator
    ASSERT_TRUE(Program().WaitForTrace("<dbg> ReadD() returned -1, pausing thread", 15000, traceAt))
        << "the reader did not notice the lost device";
    EXPECT_TRUE(Program().WaitForTrace("Adapter disconnected: waiting for " + Sim().LinkPath(), 10000, traceAt));
    EXPECT_TRUE(Program().Running()) << "the program ended when its device went away";

    // The program still handles what it is asked: a termination signal runs the normal
    // shut-down, whose last adapter commands now fail quietly.
    const std::size_t traceAtQuit = Program().Trace().size();
    const int status = Program().Terminate(SIGTERM, 30000);
    ASSERT_NE(status, -1) << "the program did not end after SIGTERM";
    EXPECT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(FindInOrder(Program().Trace().substr(traceAtQuit), {"TX: AT$V0<0D>", "TX: ATE1<0D>"}), "");
    EXPECT_NE(Program().Read("RV.cfg").find("DefaultAreaCode=408\r\n"), std::string::npos);
    // The records made before the loss are all there; the unfinished call is not invented.
    EXPECT_EQ(Program().Read("RV.log"), logBefore);
    EXPECT_EQ(RecordsWithNumber(Program().Read("RV.pbk"), "4085551212", 0).size(), 1u);
}

// The adapter's cable is pulled and put back twice in a session: each time the program says so,
// waits for the device, opens it again with the handshake, which asks for the calls in
// progress, and sends the call-waiting register as at start-up; then a call is answered as
// usual. The second time the cable is back before the program has seen it go.
TEST_F(DeviceLoss, UnpluggedAdapterIsTakenUpAgainWhenItComesBack) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--first-id", "17"}));
    ASSERT_NO_FATAL_FAILURE(WriteConfig({{"DefaultAreaCode", "408"}}));
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    const std::string link = Sim().LinkPath();
    for (const bool waitForTheProgram : {true, false}) {
        SCOPED_TRACE(waitForTheProgram ? "replugged after the program saw the loss" : "replugged at once");
        const std::size_t traceAt = Program().Trace().size();
        const std::size_t simAt = Sim().Log().size();
        Simulate("unplug");
        if (waitForTheProgram) {
            ASSERT_TRUE(Program().WaitForTrace("Adapter disconnected: waiting for " + link, 10000, traceAt));
        }
        Simulate("replug");
        ASSERT_TRUE(Program().WaitForTrace("   Success, on serial", 20000, traceAt));
        EXPECT_EQ(FindInOrder(Program().Trace().substr(traceAt),
                              {"Adapter disconnected: waiting for " + link, "Adapter is back on " + link}),
                  "");
        std::size_t askedAt = 0; // the handshake asked for the calls in progress here
        EXPECT_EQ(FindInOrder(Sim().Log().substr(simAt), {"RX pty ATI", "RX pty AT*SC"}, &askedAt), "");
        EXPECT_TRUE(Sim().WaitForLogAfter(simAt + askedAt, "RX pty ATS76=3", 10000)) << "no call-waiting register";
    }
    Simulate("ring 1 4085551212 5551212");
    ASSERT_TRUE(Program().WaitForTrace("Call offering: 4085551212"));
    Simulate("offhook 1");
    EXPECT_TRUE(Sim().WaitForLog("RX pty AT*1A/17"));
    EXPECT_TRUE(Program().WaitForTrace("Call connected"));
    StopProgram();
}

} // namespace
