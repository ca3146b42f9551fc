// The real program on a session bus of its own (the test runs in one) with the test
// notification service: an offered call is shown as a notification, "Block" from it rejects
// the call and files the number as ignored, and the notification of an answered call, or of a
// call still ringing at the program's end, goes.
#include "support/ChildProcess.h"
#include "support/WholeProgramRig.h"

namespace {

class NotificationsEndToEnd : public CWholeProgramTest {
protected:
    NotificationsEndToEnd() : CWholeProgramTest("127.77.21.2") {}
};

TEST_F(NotificationsEndToEnd, BlockFromTheNotificationRejectsAndFilesTheCallerAndAnAnsweredCallTakesItsAlong) {
    ASSERT_NE(std::getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr) << "run in a bus session";
    CChildProcess service;
    ASSERT_TRUE(service.Start({CChildProcess::BinDir() + "/ringvale-test-notification-server"}, {}, true));
    ASSERT_TRUE(service.WaitForLog("READY", 10000)) << service.Log();
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--first-id", "17"}));
    WriteConfig({{"CIDAnnounce", "Notification"}});
    ASSERT_NO_FATAL_FAILURE(StartProgram());

    Simulate("ring 1 4085551212 5551212");
    ASSERT_TRUE(service.WaitForLog("NOTIFY 1 summary=Unknown caller|body=4085551212 - Phone 1|actions=reject,Reject,"
                                   "block,Block,add-to-phone-book,Add to phone book|urgency=2",
                                   10000))
        << service.Log();
    ASSERT_TRUE(service.Type("invoke 1 block"));
    ASSERT_TRUE(Sim().WaitForLog("RX pty AT*1H/17", 10000));
    EXPECT_TRUE(service.WaitForLog("CLOSE 1"));
    ASSERT_TRUE(Program().WaitForTrace("Caller blocked from the call notification"));
    const auto filed = RecordsWithNumber(Program().Read("RV.pbk"), "4085551212", 0);
    ASSERT_EQ(filed.size(), 1u) << Program().Read("RV.pbk");
    EXPECT_EQ(filed[0].back(), "0x00000001");

    // The next call from there is screened out without a notification; another caller's
    // notification goes when the phone is picked up.
    Simulate("ring 1 4085551212 5551212");
    ASSERT_TRUE(Program().WaitForTrace("Caller Ignored - by phone book setting"));
    Simulate("ring 2 6505550000 5551212");
    ASSERT_TRUE(service.WaitForLog("NOTIFY 2 summary=Unknown caller|body=6505550000 - Phone 2", 10000))
        << service.Log();
    Simulate("offhook 2");
    ASSERT_TRUE(Sim().WaitForLog("RX pty AT*2A/", 10000));
    EXPECT_TRUE(service.WaitForLog("CLOSE 2", 10000)) << service.Log();
    EXPECT_EQ(service.Log().find("NOTIFY 3"), std::string::npos) << service.Log();
    // A call still ringing when the program ends leaves no notification behind.
    Simulate("ring 1 2125550111 5551212");
    ASSERT_TRUE(service.WaitForLog("NOTIFY 3", 10000)) << service.Log();
    StopProgram();
    EXPECT_TRUE(service.WaitForLog("CLOSE 3")) << service.Log();
}

} // namespace
