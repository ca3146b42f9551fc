// The MQTT publisher against a real broker (mosquitto on 127.0.0.1, started by the test):
// password and TLS connections, the retained status and state, call log records kept while
// the broker is away (the oldest dropped when the queue is full), a broker that never answers,
// and the command messages of viewers, read by a real subscriber (mosquitto_sub) and sent by a
// real client (mosquitto_pub).
#include "core/CMessageQueue.h"
#include "net/CCallPublisher.h"
#include "net/NetJson.h"
#include "support/MosquittoBroker.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char* const kPrefix = "test/rv";

// A publisher whose window thread is the test: the broker client's reports wait in a message
// queue until Pump hands them over.
class CPublisherRig {
public:
    explicit CPublisherRig(SMqttConfig config) {
        CCallPublisher::SHooks hooks;
        hooks.post = [this](CMessage msg) { queue.Post(std::move(msg)); };
        hooks.log = [this](const std::string& text) { Add(text); };
        hooks.trace = [this](const std::string& text) { Add(text); };
        hooks.command = [this](const SNetCommand& command) { commands.push_back(command); };
        publisher = std::make_unique<CCallPublisher>(std::move(config), std::move(hooks));
    }
    // The client's thread traces into the rig until the publisher has stopped.
    ~CPublisherRig() { publisher.reset(); }

    // Hands the queued reports to the publisher until the condition holds; false after the time.
    bool Pump(const std::function<bool()>& condition, int timeoutMs = 15000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!condition()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return false;
            }
            if (queue.WaitForMessage(static_cast<int>(left.count()))) {
                queue.Drain([this](CMessage&& msg) { publisher->OnMessage(msg); });
            }
        }
        return true;
    }
    bool Logged(const std::string& text) const {
        std::lock_guard lock(mutex);
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }
    bool PumpUntilLogged(const std::string& text, int timeoutMs = 15000) {
        return Pump([&] { return Logged(text); }, timeoutMs);
    }
    std::string Lines() const {
        std::lock_guard lock(mutex);
        std::string all;
        for (const auto& line : lines) {
            all += line + "\n";
        }
        return all;
    }

    CMessageQueue queue;
    std::unique_ptr<CCallPublisher> publisher;
    std::vector<SNetCommand> commands;

private:
    void Add(const std::string& text) {
        std::lock_guard lock(mutex);
        lines.push_back(text);
    }
    mutable std::mutex mutex;
    std::vector<std::string> lines;
};

SMqttConfig Config(int port, const std::function<void(CSettings&)>& change = {}) {
    CSettings settings;
    settings.m_bMqttEnabled = true;
    settings.m_strMqttHost = "127.0.0.1";
    settings.m_nMqttPort = port;
    settings.m_strMqttTopicPrefix = kPrefix;
    if (change) {
        change(settings);
    }
    SMqttConfig config;
    std::string why;
    EXPECT_TRUE(MqttConfigFromSettings(settings, false, config, why)) << why;
    return config;
}

SNetLogRecord Record(int n) {
    return SNetLogRecord{
        "Caller " + std::to_string(n), "408555" + std::to_string(1000 + n), false, true, 1700000000 + n, n, 1};
}

TEST(MqttPublisher, PasswordStatusStateAndRecordsKeptWhileTheBrokerIsAway) {
    TempDir dir;
    CMosquittoBroker broker({dir.Path(), {{"ringvale", "s3cret pass"}}, false, true});
    ASSERT_TRUE(broker.Start()) << broker.Output();

    // A wrong password is refused, said once, and tried again later.
    CPublisherRig refused(Config(broker.Port(), [](CSettings& s) {
        s.m_strMqttUserName = "ringvale";
        s.m_strMqttPassword = "wrong";
    }));
    ASSERT_TRUE(refused.publisher->Start());
    ASSERT_TRUE(refused.PumpUntilLogged("cannot reach the broker (refused: ")) << refused.Lines();
    refused.publisher->Stop();

    CPublisherRig rig(Config(broker.Port(), [](CSettings& s) {
        s.m_strMqttUserName = "ringvale";
        s.m_strMqttPassword = "s3cret pass";
    }));
    ASSERT_TRUE(rig.publisher->Start());
    SNetState state;
    state.calls.push_back({1, 17, false, "offering", "4085551212", "Ann Lee", 1700000000, 0});
    rig.publisher->PublishState(state); // not connected yet: published on connect
    ASSERT_TRUE(rig.Pump([&] { return rig.publisher->Connected(); })) << rig.Lines();

    // A subscriber that comes later gets the retained status and state.
    CMqttSubscriber late(broker, {"test/rv/status", "test/rv/state"});
    ASSERT_TRUE(late.Subscribed());
    const auto status = late.WaitFor("test/rv/status", "online");
    EXPECT_TRUE(status.retained);
    const auto retainedState = late.WaitFor("test/rv/state", "Ann Lee");
    EXPECT_TRUE(retainedState.retained);
    SNetState read;
    std::string why;
    ASSERT_TRUE(ParseNetState(retainedState.payload, read, why)) << why;
    EXPECT_EQ(read, state);

    // A persistent reader of the log keeps its session across the broker's restart.
    CMqttSubscriber reader(broker, {"test/rv/log"}, {"-c", "-i", "ringvale-log-reader", "-k", "5"});
    ASSERT_TRUE(reader.Subscribed());
    rig.publisher->PublishLogRecord(Record(0));
    EXPECT_EQ(reader.WaitFor("test/rv/log", Record(0).number).payload, NetLogRecordJson(Record(0)));

    broker.Stop();
    ASSERT_TRUE(rig.PumpUntilLogged("lost the broker")) << rig.Lines();
    // One record more than the queue holds: the oldest goes, with a trace line.
    const int count = static_cast<int>(CCallPublisher::kMaxQueuedRecords) + 1;
    for (int n = 1; n <= count; ++n) {
        rig.publisher->PublishLogRecord(Record(n));
    }
    EXPECT_EQ(rig.publisher->QueuedRecords(), CCallPublisher::kMaxQueuedRecords);
    EXPECT_TRUE(rig.Logged("queue full; the oldest call log record was dropped: " + NetLogRecordJson(Record(1))));

    ASSERT_TRUE(broker.Start()) << broker.Output();
    ASSERT_TRUE(rig.Pump([&] { return rig.publisher->Connected(); }, 30000)) << rig.Lines();
    ASSERT_FALSE(reader.WaitFor("test/rv/log", Record(count).number, 20000).topic.empty()) << broker.Output();
    const auto records = reader.MessagesOn("test/rv/log");
    ASSERT_EQ(records.size(), CCallPublisher::kMaxQueuedRecords + 1);
    for (std::size_t i = 1; i < records.size(); ++i) {
        EXPECT_EQ(records[i].payload, NetLogRecordJson(Record(static_cast<int>(i) + 1))) << i;
    }
    EXPECT_EQ(rig.publisher->QueuedRecords(), 0u);

    // A clean stop says "offline" itself (retained) and disconnects: not the broker's last will.
    const std::size_t logMark = broker.Output().size();
    rig.publisher->Stop();
    EXPECT_TRUE(broker.WaitForLog("Received DISCONNECT from", 10000, logMark))
        << broker.Output().substr(logMark) << rig.Lines();
    CMqttSubscriber after(broker, {"test/rv/status"});
    EXPECT_TRUE(after.WaitFor("test/rv/status", "offline").retained);
}

TEST(MqttPublisher, TlsWithTheBrokersAuthorityOnlyAndDiscoveryMessages) {
    TempDir dir;
    CMosquittoBroker broker({dir.Path(), {}, true, false});
    ASSERT_TRUE(broker.Start()) << broker.Output();
    CPublisherRig rig(Config(broker.Port(), [&](CSettings& s) {
        s.m_eMqttTls = EMqttTls::On;
        s.m_strMqttCAFile = broker.CaFile();
        s.m_bMqttHomeAssistant = true;
    }));
    ASSERT_TRUE(rig.publisher->Start());
    ASSERT_TRUE(rig.Pump([&] { return rig.publisher->Connected(); })) << rig.Lines();
    CMqttSubscriber discovery(broker, {"homeassistant/#"});
    ASSERT_TRUE(discovery.Subscribed());
    for (const auto& [topic, payload] : HomeAssistantDiscovery(kPrefix)) {
        const auto message = discovery.WaitFor(topic);
        EXPECT_TRUE(message.retained) << topic;
        EXPECT_EQ(message.payload, payload);
    }
    EXPECT_EQ(
        discovery.WaitFor("homeassistant/binary_sensor/test_rv/line_busy/config", "\"state_topic\":\"test/rv/state\"")
            .topic.empty(),
        false);

    // Another authority's certificate is not trusted: no connection, and the trace says why.
    TempDir other;
    ASSERT_TRUE(CMosquittoBroker::MakeCertificates(other.Path(), "other"));
    CPublisherRig untrusting(Config(broker.Port(), [&](CSettings& s) {
        s.m_eMqttTls = EMqttTls::On;
        s.m_strMqttCAFile = other.Path() + "/other.crt";
    }));
    ASSERT_TRUE(untrusting.publisher->Start());
    ASSERT_TRUE(untrusting.PumpUntilLogged("cannot reach the broker")) << untrusting.Lines();
    EXPECT_TRUE(untrusting.Logged("certificate verify failed")) << untrusting.Lines();
    EXPECT_FALSE(untrusting.publisher->Connected());

    // A CA file that cannot be read stops the start with a reason.
    CPublisherRig missing(Config(broker.Port(), [&](CSettings& s) {
        s.m_eMqttTls = EMqttTls::On;
        s.m_strMqttCAFile = dir.Path() + "/no-such-ca.crt";
    }));
    EXPECT_FALSE(missing.publisher->Start());
    EXPECT_TRUE(missing.Logged("cannot publish to the broker: the CA file")) << missing.Lines();
}

TEST(MqttPublisher, ABrokerThatNeverAnswersIsLeftAndTheRecordsWait) {
    // Something accepts the connection on the port and never says a word.
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int port = CMosquittoBroker::FreePort();
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const int on = 1;
    ::setsockopt(silent, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 4), 0);

    SMqttConfig config = Config(port);
    config.client.keepAliveSeconds = 5;
    CPublisherRig rig(config);
    ASSERT_TRUE(rig.publisher->Start());
    rig.publisher->PublishLogRecord(Record(7));
    ASSERT_TRUE(rig.PumpUntilLogged("the broker did not answer within 5 s", 20000)) << rig.Lines();
    EXPECT_EQ(rig.publisher->QueuedRecords(), 1u);
    ::close(silent);

    // A real broker takes the port: the publisher connects at its next attempt and the record
    // goes out.
    TempDir dir;
    CMosquittoBroker broker({dir.Path(), {}, false, false, port});
    ASSERT_TRUE(broker.Start()) << broker.Output();
    ASSERT_TRUE(rig.Pump([&] { return rig.publisher->Connected(); }, 30000)) << rig.Lines();
    EXPECT_TRUE(broker.WaitForLog("'test/rv/log'")) << broker.Output();
    EXPECT_EQ(rig.publisher->QueuedRecords(), 0u);
}

struct SCommandCase {
    const char* label;
    std::string payload;
    bool retained;
    const char* logged; // nullptr: the command is handed on
};

TEST(MqttPublisher, CommandMessagesAreCheckedBeforeAnythingIsDone) {
    TempDir dir;
    CMosquittoBroker broker({dir.Path(), {}, false, false});
    ASSERT_TRUE(broker.Start()) << broker.Output();
    // A retained command waits on the broker for the next subscriber: never acted upon.
    ASSERT_TRUE(PublishWithClient(broker, "test/rv/command", R"({"action":"reject","callId":3})", true));

    CPublisherRig rig(Config(broker.Port(), [](CSettings& s) { s.m_bMqttAllowCommands = true; }));
    ASSERT_TRUE(rig.publisher->Start());
    ASSERT_TRUE(rig.PumpUntilLogged("Network command ignored (retained message)")) << rig.Lines();
    ASSERT_TRUE(PublishWithClient(broker, "test/rv/command", "", true));

    const SCommandCase cases[] = {
        {"reject", R"({"action":"reject","callId":17})", false, nullptr},
        {"block, other members ignored", R"({"callId":5,"action":"block","from":"kitchen"})", false, nullptr},
        {"not JSON", "reject 17", false, "(not JSON): reject 17"},
        {"not an object", "[17]", false, "(not a JSON object)"},
        {"unknown action", R"({"action":"answer","callId":17})", false, "(unknown action \"answer\")"},
        {"no call id", R"({"action":"reject"})", false, "(no \"callId\")"},
        {"call id as text", R"({"action":"reject","callId":"17"})", false, "(\"callId\" is not an integer)"},
        {"negative call id", R"({"action":"reject","callId":-1})", false, "(\"callId\" is out of range)"},
        {"huge", std::string(2000, '{'), false, "(longer than 1024 bytes)"},
    };
    std::size_t handed = 0;
    for (const auto& c : cases) {
        ASSERT_TRUE(PublishWithClient(broker, "test/rv/command", c.payload)) << c.label;
        if (c.logged == nullptr) {
            ASSERT_TRUE(rig.Pump([&] { return rig.commands.size() > handed; })) << c.label;
            ++handed;
        } else {
            EXPECT_TRUE(rig.PumpUntilLogged(std::string("Network command ignored ") + c.logged)) << c.label;
        }
    }
    EXPECT_EQ(rig.commands,
              (std::vector<SNetCommand>{{SNetCommand::EAction::Reject, 17}, {SNetCommand::EAction::Block, 5}}));
    rig.publisher->Stop();

    // With the setting off, a well-formed command is refused too.
    const std::size_t logMark = broker.Output().size();
    CPublisherRig off(Config(broker.Port()));
    ASSERT_TRUE(off.publisher->Start());
    ASSERT_TRUE(off.Pump([&] { return off.publisher->Connected(); })) << off.Lines();
    ASSERT_TRUE(broker.WaitForLog("test/rv/command (QoS 1)", 10000, logMark)) << broker.Output();
    ASSERT_TRUE(PublishWithClient(broker, "test/rv/command", R"({"action":"reject","callId":17})"));
    EXPECT_TRUE(off.PumpUntilLogged("Network command ignored (commands from the network are off)")) << off.Lines();
    EXPECT_TRUE(off.commands.empty());
}

} // namespace
