// Decoding of adapter report lines, the logged texts, the dispatch of a posted line and the
// call-control command formats.
#include "calls/CCallCommands.h"
#include "calls/CModemReport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr char kNo = CModemReport::kNoDigit;

struct SDecodeCase {
    const char* label;
    const char* line;
    bool report = false; // false: the line is not a report at all
    bool audio = false;
    int port = -1;
    int callId = -1;
    int type = -1;
    int code = -1;
    char digit = kNo;
    const char* local = "";
    const char* remote = "";
    const char* logged = ""; // the text logged for it; "" when it is ignored silently
};

const SDecodeCase kDecodeCases[] = {
    {"offering, full report", "CALL:0,1;2,1;3,17;4,5551212;5,4085551212", true, false, 0, 17, 1, -1, kNo, "5551212",
     "4085551212", "Call offering: 4085551212"},
    {"disconnected", "CALL:0,0;2,2;3,9", true, false, 1, 9, 0, -1, kNo, "", "", "Call disconnected"},
    {"local initiating", "CALL:0,2;2,1;3,3", true, false, 0, 3, 2, -1, kNo, "", "", "Local initiating call"},
    {"outgoing connecting", "CALL:0,3;2,1;3,3", true, false, 0, 3, 3, -1, kNo, "", "", "Outgoing call connecting"},
    {"outgoing forwarding", "CALL:0,4;2,1;3,3", true, false, 0, 3, 4, -1, kNo, "", "", "Outgoing call forwarding(?)"},
    {"fields in another order", "CALL:2,1;0,5;3,4", true, false, 0, 4, 5, -1, kNo, "", "", "Call connected"},
    {"on hold", "CALL:0,7;2,2;3,8", true, false, 1, 8, 7, -1, kNo, "", "", "Call on hold"},
    {"recalled", "CALL:0,10;2,2;3,8", true, false, 1, 8, 10, -1, kNo, "", "", "Call recalled from hold"},
    {"existing call", "CALL:0,99;2,1;3,1", true, false, 0, 1, 99, -1, kNo, "", "",
     "Existing call (before app started)"},
    {"type 6 ignored", "CALL:0,6;2,1;3,1", true, false, 0, 1, 6, -1, kNo, "", "", ""},
    {"type 11 ignored", "CALL:0,11;2,1;3,1", true, false, 0, 1, 11, -1, kNo, "", "", ""},
    {"type 100 ignored", "CALL:0,100;2,1;3,1", true, false, 0, 1, 100, -1, kNo, "", "", ""},
    {"negative type ignored", "CALL:0,-1;2,1;3,1", true, false, 0, 1, -1, -1, kNo, "", "", ""},
    {"type missing", "CALL:2,1;3,1", true, false, 0, 1, -1, -1, kNo, "", "", ""},
    {"call id missing", "CALL:0,5;2,1", true, false, 0, -1, 5, -1, kNo, "", "", "Call connected"},
    {"integer with blanks and sign", "CALL:0,  +5;2, 2;3,-4", true, false, 1, -4, 5, -1, kNo, "", "", "Call connected"},
    {"integer stops at non-digit", "CALL:0,5x;2,1;3,12ab", true, false, 0, 12, 5, -1, kNo, "", "", "Call connected"},
    {"integer without digits reads 0", "CALL:0,x;2,1;3,1", true, false, 0, 1, 0, -1, kNo, "", "", "Call disconnected"},
    {"quoted remote number", "CALL:0,1;2,1;3,2;5,\"4085551212\"", true, false, 0, 2, 1, -1, kNo, "", "4085551212",
     "Call offering: 4085551212"},
    {"number with separators", "CALL:0,1;2,2;3,2;5,(408) 555-1212;4,+1 555 1212", true, false, 1, 2, 1, -1, kNo,
     "15551212", "4085551212", "Call offering: 4085551212"},
    {"empty remote number", "CALL:0,1;2,1;3,2;5,;4,5551212", true, false, 0, 2, 1, -1, kNo, "5551212", "",
     "Call offering: "},
    {"first occurrence wins", "CALL:0,1;2,1;3,5;3,6", true, false, 0, 5, 1, -1, kNo, "", "", "Call offering: "},
    {"colon form before semicolon form", "CALL:3,7;0,1;2,1;3,8", true, false, 0, 7, 1, -1, kNo, "", "",
     "Call offering: "},
    {"unknown tags ignored", "CALL:9,9;0,5;12,3;2,1;3,4;77,1", true, false, 0, 4, 5, -1, kNo, "", "", "Call connected"},
    {"audio off-hook", "AUD:2,2;40,2", true, true, 1, -1, -1, 2, kNo, "", "", "Local off-hook"},
    {"audio on-hook", "AUD:2,1;40,1", true, true, 0, -1, -1, 1, kNo, "", "", "Local on-hook"},
    {"audio flash", "AUD:2,1;40,3", true, true, 0, -1, -1, 3, kNo, "", "", "Local flash"},
    {"audio digit", "AUD:2,1;42,#", true, true, 0, -1, -1, -1, '#', "", "", "DTMF: #"},
    {"audio digit star", "AUD:42,*;2,2", true, true, 1, -1, -1, -1, '*', "", "", "DTMF: *"},
    {"code decides over digit", "AUD:2,1;40,2;42,5", true, true, 0, -1, -1, 2, '5', "", "", "Local off-hook"},
    {"other audio code ignored", "AUD:2,1;40,7;42,5", true, true, 0, -1, -1, 7, '5', "", "", ""},
    {"audio code without digits is 0", "AUD:2,1;40,", true, true, 0, -1, -1, 0, kNo, "", "", ""},
    {"digit tag at the end carries no digit", "AUD:2,1;42,", true, true, 0, -1, -1, -1, kNo, "", "", ""},
    {"audio with neither field", "AUD:2,1", true, true, 0, -1, -1, -1, kNo, "", "", ""},
    {"port missing", "CALL:0,5;3,4", true, false, -1, 4, 5, -1, kNo, "", "", "Call connected"},
    {"lower-case prefix", "call:0,1;2,1;3,17", false},
    {"lower-case audio prefix", "aud:2,2;40,2", false},
    {"prefix not at the start", " CALL:0,1;2,1;3,17", false},
    {"OK reply", "OK", false},
    {"echo", "ATI", false},
    {"empty line", "", false},
};

TEST(ReportDecoding, EveryCase) {
    for (const auto& c : kDecodeCases) {
        SCOPED_TRACE(c.label);
        const auto report = ParseModemReport(c.line);
        ASSERT_EQ(report.has_value(), c.report);
        if (!c.report) {
            continue;
        }
        EXPECT_EQ(report->m_bAudio, c.audio);
        EXPECT_EQ(report->m_nPort, c.port);
        EXPECT_EQ(report->m_nCallId, c.callId);
        EXPECT_EQ(report->m_nEventType, c.type);
        EXPECT_EQ(report->m_nAudioCode, c.code);
        EXPECT_EQ(report->m_cDigit, c.digit);
        EXPECT_EQ(report->m_strLocalNumber, c.local);
        EXPECT_EQ(report->m_strRemoteNumber, c.remote);
        EXPECT_EQ(c.audio ? AudioReportText(*report) : CallReportText(*report), c.logged);
    }
}

class CRecordingSink : public IModemReportSink {
public:
    void OnCallReport(const CModemReport& r) override { calls.push_back(r); }
    void OnAudioReport(const CModemReport& r) override { audio.push_back(r); }
    std::vector<CModemReport> calls;
    std::vector<CModemReport> audio;
};

TEST(ReportDecoding, LineDispatch) {
    struct {
        const char* line;
        int calls;
        int audio;
    } const cases[] = {
        {"CALL:0,1;2,1;3,17;4,5551212;5,4085551212", 1, 0},
        {"AUD:2,2;40,2", 0, 1},
        {"OK", 0, 0},
        {"OK CALL:0,1;2,1;3,17", 0, 0},
        {"OKAY", 0, 0},
        {"ERROR", 0, 0},
        {"call:0,1;2,1;3,17", 0, 0},
        {"CALL:0,1;2,3;3,17", 0, 0}, // port 3 does not exist
        {"CALL:0,1;2,0;3,17", 0, 0}, // nor port 0
        {"CALL:0,1;3,17", 0, 0},     // port missing
        {"AUD:2,-1;40,2", 0, 0},
        {"CALL:0,6;2,2;3,17", 1, 0}, // ignored types still reach call control, which logs nothing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        CRecordingSink sink;
        OnModemLine(c.line, sink);
        EXPECT_EQ(static_cast<int>(sink.calls.size()), c.calls);
        EXPECT_EQ(static_cast<int>(sink.audio.size()), c.audio);
    }
}

TEST(CallCommands, FormatsAndPortGuard) {
    std::vector<std::string> sent;
    CCallCommands commands([&](const std::string& c) { sent.push_back(c); });
    EXPECT_TRUE(commands.Answer(0, 17));
    EXPECT_TRUE(commands.HangUp(1, 3));
    EXPECT_TRUE(commands.Hold(0, 4));
    EXPECT_TRUE(commands.Retrieve(1, 5));
    EXPECT_TRUE(commands.NewCall(1));
    EXPECT_TRUE(commands.Digit(0, '#', 6));
    EXPECT_TRUE(commands.Dial(1, "14085551212"));
    commands.CallWaiting(3);
    const std::vector<std::string> expected = {"AT*1A/17\r", "AT*2H/3\r",  "AT*1W/4\r",          "AT*2R/5\r",
                                               "AT*2D\r",    "AT*1D#/6\r", "AT*2D14085551212\r", "ATS76=3\r"};
    EXPECT_EQ(sent, expected);

    sent.clear();
    for (const int bad : {-1, 2, 5}) {
        EXPECT_FALSE(commands.Answer(bad, 1));
        EXPECT_FALSE(commands.HangUp(bad, 1));
        EXPECT_FALSE(commands.Hold(bad, 1));
        EXPECT_FALSE(commands.Retrieve(bad, 1));
        EXPECT_FALSE(commands.NewCall(bad));
        EXPECT_FALSE(commands.Digit(bad, '1', 1));
        EXPECT_FALSE(commands.Dial(bad, "5551212"));
    }
    EXPECT_TRUE(sent.empty());
}

} // namespace
