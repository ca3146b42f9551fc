// The real program against the adapter simulator and a real MQTT broker: what a subscriber
// gets for an answered, a missed and a screened call, the retained status and state, the last
// will after the program is killed, a broker restart in the middle of a call, and the Reject
// and Block commands of viewers.
#include "net/NetJson.h"
#include "support/MosquittoBroker.h"
#include "support/WholeProgramRig.h"

#include <csignal>
#include <filesystem>

namespace {

class NetworkEndToEnd : public CWholeProgramTest {
protected:
    NetworkEndToEnd() : CWholeProgramTest("127.77.22.1") {}

    // The broker (in a directory of its own) and RV.cfg publishing to it as "e2e/rv".
    void StartBroker(bool persistence = false) {
        m_broker =
            std::make_unique<CMosquittoBroker>(CMosquittoBroker::Options{m_brokerDir.Path(), {}, false, persistence});
        ASSERT_TRUE(m_broker->Start()) << m_broker->Output();
    }
    void WriteNetworkConfig(std::vector<std::pair<std::string, std::string>> extra = {}) {
        std::vector<std::pair<std::string, std::string>> settings = {{"MqttEnabled", "Y"},
                                                                     {"MqttHost", "127.0.0.1"},
                                                                     {"MqttPort", std::to_string(Broker().Port())},
                                                                     {"MqttTopicPrefix", "e2e/rv"}};
        settings.insert(settings.end(), extra.begin(), extra.end());
        WriteConfig(settings);
    }
    CMosquittoBroker& Broker() { return *m_broker; }

    // The next call event of the call with this event name, parsed.
    static SNetCallEvent Event(CMqttSubscriber& sub, const char* event, int callId) {
        const std::string wanted = std::string("\"event\":\"") + event + "\"";
        const std::string id = "\"callId\":" + std::to_string(callId) + ",";
        const auto message = sub.WaitFor([&](const CMqttSubscriber::SMessage& m) {
            return m.topic == "e2e/rv/calls" && m.payload.find(wanted) != std::string::npos &&
                   m.payload.find(id) != std::string::npos;
        });
        SNetCallEvent parsed;
        std::string why;
        EXPECT_TRUE(ParseNetCallEvent(message.payload, parsed, why)) << event << " " << callId << ": " << why;
        return parsed;
    }
    static SNetLogRecord Record(CMqttSubscriber& sub, const std::string& number, int timeoutMs = 10000) {
        const auto message = sub.WaitFor("e2e/rv/log", "\"number\":\"" + number + "\"", timeoutMs);
        SNetLogRecord parsed;
        std::string why;
        EXPECT_TRUE(ParseNetLogRecord(message.payload, parsed, why)) << number << ": " << why;
        return parsed;
    }

private:
    TempDir m_brokerDir;
    std::unique_ptr<CMosquittoBroker> m_broker;
};

const char* const kViewerTrace = "RingvaleViewer.dbg";

const SPbkLine kAnn{"4085551212", "Lee", "Ann", "", "", "0", 0, 0, 0, "0", 0, 0, 0, 0};

TEST_F(NetworkEndToEnd, AnsweredMissedAndScreenedCallsWithRetainedStatusStateAndLastWill) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--first-id", "17"}));
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    ASSERT_NO_FATAL_FAILURE(WriteNetworkConfig({{"IgnoreBlocked", "Y"}}));
    WriteFile("RV.pbk", PhoneBookText({kAnn}));
    CMqttSubscriber sub(Broker(), {"e2e/rv/#"});
    ASSERT_TRUE(sub.Subscribed());
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ASSERT_FALSE(sub.WaitFor("e2e/rv/status", "online").topic.empty()) << Program().Trace();

    // Ann calls Phone 1 and is answered.
    const std::time_t before = std::time(nullptr);
    Simulate("ring 1 4085551212 5551212");
    const SNetCallEvent offered = Event(sub, "offered", 17);
    EXPECT_EQ(offered.call, (SNetCall{1, 17, false, "", "4085551212", "Ann Lee", offered.time, -1}));
    EXPECT_GE(offered.time, before);
    Simulate("offhook 1");
    EXPECT_EQ(Event(sub, "connected", 17).call.name, "Ann Lee");

    // A subscriber that starts now (a viewer started mid-call) gets the call from the
    // retained state.
    {
        CMqttSubscriber late(Broker(), {"e2e/rv/state", "e2e/rv/status"});
        EXPECT_TRUE(late.WaitFor("e2e/rv/status", "online").retained);
        const auto state = late.WaitFor("e2e/rv/state", "\"state\":\"connected\"");
        EXPECT_TRUE(state.retained);
        SNetState parsed;
        std::string why;
        ASSERT_TRUE(ParseNetState(state.payload, parsed, why)) << why;
        ASSERT_EQ(parsed.calls.size(), 1u);
        EXPECT_EQ(parsed.calls[0].tile, 0);
        EXPECT_EQ(parsed.calls[0].number, "4085551212");
        ASSERT_TRUE(parsed.lastCaller.has_value());
        EXPECT_EQ(parsed.lastCaller->name, "Ann Lee");
    }
    Simulate("onhook 1");
    const SNetCallEvent ended = Event(sub, "disconnected", 17);
    EXPECT_TRUE(ended.answered);
    const SNetLogRecord answered = Record(sub, "4085551212");
    EXPECT_EQ(answered.name, "Ann Lee");
    EXPECT_TRUE(answered.answered);
    EXPECT_FALSE(answered.outgoing);
    EXPECT_EQ(answered.port, 1);
    EXPECT_EQ(answered.duration, ended.duration);

    // A caller nobody answers on Phone 2; the short number is completed with the area code in
    // the record as in the call log.
    Simulate("ring 2 5550199 5551212");
    EXPECT_EQ(Event(sub, "offered", 18).call.name, "Unknown caller");
    Simulate("hangup-far 2");
    EXPECT_FALSE(Event(sub, "disconnected", 18).answered);
    const SNetLogRecord missed = Record(sub, "4085550199");
    EXPECT_FALSE(missed.answered);
    EXPECT_EQ(missed.port, 2);

    // A withheld number is rejected by the screening.
    Simulate("ring 1 -");
    EXPECT_EQ(Event(sub, "rejected", 19).reason, "withheld");
    ASSERT_TRUE(Sim().WaitForLog("RX pty AT*1H/19"));
    EXPECT_FALSE(Event(sub, "disconnected", 19).answered);
    ASSERT_TRUE(Program().WaitForTrace("Call log updated"));

    // Nothing is left in progress.
    EXPECT_FALSE(sub.WaitFor("e2e/rv/state", "\"busy\":false").topic.empty());

    // Killed without a shut-down: the broker publishes the last will.
    ASSERT_NE(Program().Terminate(SIGKILL), -1);
    CMqttSubscriber after(Broker(), {"e2e/rv/status"});
    EXPECT_TRUE(after.WaitFor("e2e/rv/status", "offline").retained);
}

TEST_F(NetworkEndToEnd, ABrokerRestartInTheMiddleOfACallLosesNoRecord) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--first-id", "40"}));
    ASSERT_NO_FATAL_FAILURE(StartBroker(true));
    ASSERT_NO_FATAL_FAILURE(WriteNetworkConfig());
    CMqttSubscriber reader(Broker(), {"e2e/rv/log", "e2e/rv/calls"}, {"-c", "-i", "e2e-log-reader", "-k", "5"});
    ASSERT_TRUE(reader.Subscribed());
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ASSERT_TRUE(Program().WaitForTrace("Network: connected to 127.0.0.1"));

    Simulate("ring 2 4155550123 5551212");
    Simulate("offhook 2");
    Event(reader, "connected", 40);
    Broker().Stop();
    ASSERT_TRUE(Program().WaitForTrace("Network: lost the broker"));
    Simulate("hangup-far 2");
    ASSERT_TRUE(Program().WaitForTrace("Call log updated"));
    EXPECT_TRUE(Program().WaitForTrace("not connected; call 40 disconnected not published"));

    ASSERT_TRUE(Broker().Start()) << Broker().Output();
    const SNetLogRecord record = Record(reader, "4155550123", 30000);
    EXPECT_TRUE(record.answered);
    EXPECT_EQ(record.port, 2);
}

TEST_F(NetworkEndToEnd, ViewersRejectAndBlockOnlyCallsThatAreOffering) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--first-id", "60"}));
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    ASSERT_NO_FATAL_FAILURE(WriteNetworkConfig({{"MqttAllowCommands", "Y"}}));
    CMqttSubscriber sub(Broker(), {"e2e/rv/calls"});
    ASSERT_TRUE(sub.Subscribed());
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ASSERT_TRUE(Program().WaitForTrace("Network: connected to 127.0.0.1"));

    const auto command = [&](const std::string& payload) {
        EXPECT_TRUE(PublishWithClient(Broker(), "e2e/rv/command", payload)) << payload;
    };
    // A call that is not there, and one that is connected, are left alone.
    command(R"({"action":"reject","callId":99})");
    ASSERT_TRUE(Program().WaitForTrace("Network command ignored (call 99 is not offering): reject"));
    Simulate("ring 1 2125550100 5551212");
    Simulate("offhook 1");
    Event(sub, "connected", 60);
    command(R"({"action":"block","callId":60})");
    ASSERT_TRUE(Program().WaitForTrace("Network command ignored (call 60 is not offering): block"));
    Simulate("onhook 1");
    ASSERT_TRUE(Sim().WaitForLog("RX pty AT*1H/60"));
    Event(sub, "disconnected", 60);

    // An offered call is blocked: rejected now, and its caller marked in the phone book.
    const std::size_t simMark = Sim().Log().size();
    Simulate("ring 2 4155550123 5551212");
    Event(sub, "offered", 61);
    command("block 61");
    ASSERT_TRUE(Program().WaitForTrace("Network command ignored (not JSON): block 61"));
    command(R"({"action":"block","callId":61})");
    ASSERT_TRUE(Sim().WaitForLogAfter(simMark, "RX pty AT*2H/61"));
    EXPECT_EQ(Event(sub, "rejected", 61).reason, "network");
    ASSERT_TRUE(Program().WaitForTrace("Caller blocked - asked for on the network"));
    Event(sub, "disconnected", 61);
    command(R"({"action":"reject","callId":61})"); // finished
    ASSERT_TRUE(Program().WaitForTrace("Network command ignored (call 61 is not offering): reject"));

    // The next call from that number is screened out by the phone book.
    Simulate("ring 2 4155550123 5551212");
    EXPECT_EQ(Event(sub, "rejected", 62).reason, "ignored");
    ASSERT_TRUE(Sim().WaitForLogAfter(simMark, "RX pty AT*2H/62"));
    ASSERT_NO_FATAL_FAILURE(StopProgram());
    const auto blocked = RecordsWithNumber(Program().Read("RV.pbk"), "4155550123", 0);
    ASSERT_EQ(blocked.size(), 1u);
    EXPECT_EQ(blocked[0][13], "0x00000001");
    // Exactly the two hang-ups the network asked for or the screening made: no other command.
    const std::string simLog = Sim().Log().substr(simMark);
    std::size_t hangUps = 0;
    for (std::size_t pos = 0; (pos = simLog.find("RX pty AT*2H/", pos)) != std::string::npos; ++pos) {
        ++hangUps;
    }
    EXPECT_EQ(hangUps, 2u) << simLog;
}

TEST_F(NetworkEndToEnd, AViewerStartedMidCallShowsTheCallsAndTheLogAsItGrows) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--first-id", "80"}));
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    ASSERT_NO_FATAL_FAILURE(WriteNetworkConfig());
    WriteFile("RV.pbk", PhoneBookText({kAnn}));
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ASSERT_TRUE(Program().WaitForTrace("Network: connected to 127.0.0.1"));
    Simulate("ring 1 4085551212 5551212");
    Simulate("offhook 1");
    ASSERT_TRUE(Program().WaitForTrace("Call connected"));

    // The viewer on "another desktop": its own folder with the broker in RV.cfg, no adapter.
    TempDir viewerDir;
    WriteFileText(viewerDir.File("RV.cfg"), "MqttHost=127.0.0.1\r\nMqttPort=" + std::to_string(Broker().Port()) +
                                                "\r\nMqttTopicPrefix=e2e/rv\r\n");
    // No session bus: its notifications must not reach the desktop of whoever runs the tests.
    CRingvaleRun viewer({viewerDir.Path(),
                         "127.0.0.1",
                         {{"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + viewerDir.File("no-bus")}},
                         {},
                         {"--viewer"}});
    ASSERT_TRUE(viewer.Start());
    const auto viewerSaw = [&](const std::string& text) {
        return viewer.WaitForText(kViewerTrace, text) || (ADD_FAILURE() << viewer.Read(kViewerTrace), false);
    };
    ASSERT_TRUE(viewerSaw("Viewer: e2e/rv online"));
    ASSERT_TRUE(viewerSaw("Viewer: tile 1: Ann Lee 4085551212 on Phone 1 connected"));

    // A second caller on Phone 2: announced, shown, then given up; the record arrives.
    Simulate("ring 2 5550199 5551212");
    ASSERT_TRUE(viewerSaw("Viewer: incoming call: Unknown caller 5550199 on Phone 2"));
    ASSERT_TRUE(viewerSaw("Viewer: tile 2: Unknown caller 5550199 on Phone 2 offering"));
    Simulate("hangup-far 2");
    ASSERT_TRUE(viewerSaw("Viewer: call log: Unknown caller 4085550199 not answered"));
    Simulate("onhook 1");
    ASSERT_TRUE(viewerSaw("Viewer: call log: Ann Lee 4085551212 answered"));

    // The program ends: its status goes offline. The viewer wrote no file of the program's.
    ASSERT_NO_FATAL_FAILURE(StopProgram());
    ASSERT_TRUE(viewerSaw("Viewer: e2e/rv offline"));
    EXPECT_NE(viewer.Terminate(), -1) << viewer.Output();
    EXPECT_FALSE(std::filesystem::exists(viewerDir.File("Ringvale.dbg")));
    EXPECT_FALSE(std::filesystem::exists(viewerDir.File("RV.log")));
}

} // namespace
