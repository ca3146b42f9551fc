// The JSON of the network messages: the forms the help page documents, what a viewer reads
// back, and malformed messages refused with their reason.
#include "net/NetJson.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const SNetCall kAnn{1, 17, false, "connected", "4085551212", "Ann Lee", 1700000000, 2};

TEST(NetJson, PublishedFormsAndWhatAViewerReadsBack) {
    SNetCallEvent ended{ENetCallEvent::Disconnected, kAnn, 1700000042, "", true, 42};
    EXPECT_EQ(NetCallEventJson(ended),
              R"({"answered":true,"callId":17,"direction":"incoming","duration":42,"event":"disconnected",)"
              R"("name":"Ann Lee","number":"4085551212","port":1,"time":1700000042})");
    SNetCallEvent rejected{
        ENetCallEvent::Rejected, {2, 18, false, "offering", "", "Unknown caller", 5, 1}, 5, "withheld"};
    EXPECT_EQ(NetCallEventJson(rejected),
              R"({"callId":18,"direction":"incoming","event":"rejected","name":"Unknown caller","number":"",)"
              R"("port":2,"reason":"withheld","time":5})");
    SNetLogRecord record{"Bob \"B\" Stone", "4155550123", true, false, 1700000100, 0, 0};
    EXPECT_EQ(NetLogRecordJson(record),
              R"({"answered":false,"direction":"outgoing","duration":0,"name":"Bob \"B\" Stone",)"
              R"("number":"4155550123","port":null,"start":1700000100})");
    SNetState state{{kAnn}, true, SNetLastCaller{"Ann Lee", "4085551212", 1699999990}};
    EXPECT_EQ(NetStateJson(state),
              R"({"busy":true,"calls":[{"callId":17,"direction":"incoming","name":"Ann Lee","number":"4085551212",)"
              R"("port":1,"start":1700000000,"state":"connected","tile":2}],"commands":true,)"
              R"("lastCaller":{"name":"Ann Lee","number":"4085551212","time":1699999990}})");
    // A name that is not UTF-8 (an old file's byte) cannot break the message.
    EXPECT_NE(NetLogRecordJson({"Jos\xE9", "1", false, false, 0, 0, 1}).find("Jos\xEF\xBF\xBD"), std::string::npos);

    std::string why;
    SNetCallEvent readEvent;
    ASSERT_TRUE(ParseNetCallEvent(NetCallEventJson(ended), readEvent, why)) << why;
    EXPECT_EQ(readEvent.call.callId, 17);
    EXPECT_TRUE(readEvent.answered);
    EXPECT_EQ(readEvent.duration, 42);
    SNetLogRecord readRecord;
    ASSERT_TRUE(ParseNetLogRecord(NetLogRecordJson(record), readRecord, why)) << why;
    EXPECT_EQ(readRecord, record);
    SNetState readState;
    ASSERT_TRUE(ParseNetState(NetStateJson(state), readState, why)) << why;
    EXPECT_EQ(readState, state);
    ASSERT_TRUE(ParseNetState(NetStateJson(SNetState{}), readState, why)) << why;
    EXPECT_EQ(readState, SNetState{});
}

struct SBadMessage {
    std::function<bool(const std::string&, std::string&)> parse;
    std::string text;
    const char* why;
};

TEST(NetJson, MalformedMessagesAreRefusedWithTheirReason) {
    const auto event = [](const std::string& t, std::string& w) {
        SNetCallEvent e;
        return ParseNetCallEvent(t, e, w);
    };
    const auto record = [](const std::string& t, std::string& w) {
        SNetLogRecord r;
        return ParseNetLogRecord(t, r, w);
    };
    const auto state = [](const std::string& t, std::string& w) {
        SNetState s;
        return ParseNetState(t, s, w);
    };
    const SBadMessage cases[] = {
        {event, "", "not JSON"},
        {event, R"({"event":"rang","port":1,"callId":1,"direction":"incoming","number":"","name":"","time":0})",
         "unknown event \"rang\""},
        {event, R"({"event":"offered","port":3,"callId":1,"direction":"incoming","number":"","name":"","time":0})",
         "\"port\" is out of range"},
        {event, R"({"event":"offered","port":1,"callId":1,"direction":"up","number":"","name":"","time":0})",
         "\"direction\" is neither incoming nor outgoing"},
        {event, R"({"event":"offered","port":1,"callId":1,"direction":"incoming","number":5,"name":"","time":0})",
         "\"number\" is not a string"},
        {record, R"({"name":"","number":"","direction":"incoming","answered":"yes","start":0,"duration":0})",
         "\"answered\" is not true or false"},
        {record, R"({"name":"","number":"","direction":"incoming","answered":true,"start":1e3,"duration":0})",
         "\"start\" is not an integer"},
        {record, R"({"name":"","number":"","direction":"incoming","answered":true,"start":0,"duration":99999999999})",
         "\"duration\" is out of range"},
        {state, R"({"calls":{},"commands":false})", "\"calls\" is not a list"},
        {state, R"({"calls":[{"port":1}],"commands":false})", "no \"callId\""},
        {state, R"({"calls":[],"commands":false,"lastCaller":{"name":"A"}})", "no \"number\""},
        {state, std::string(300000, '['), "longer than 262144 bytes"},
        {state, std::string(100000, '[') + std::string(100000, ']'), "not a JSON object"},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(c.parse(c.text, why)) << c.text.substr(0, 80);
        EXPECT_EQ(why, c.why) << c.text.substr(0, 80);
    }
}

} // namespace
