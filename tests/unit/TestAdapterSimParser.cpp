// The simulator's parsers: AT command lines, control commands and command-line options.
#include "AtCommand.h"
#include "ControlCommand.h"
#include "SimLog.h"
#include "SimOptions.h"

#include <gtest/gtest.h>

namespace {

struct AtCase {
    const char* line;
    EAtKind kind;
    int port;
    int callId;
    int reg;
    int value;
    char digit;
    const char* number;
};

TEST(AdapterSimParser, AtCommands) {
    const AtCase cases[] = {
        {"AT", EAtKind::Attention, 0, -1, -1, 0, 0, ""},
        {"at", EAtKind::Attention, 0, -1, -1, 0, 0, ""},
        {"ATI", EAtKind::Identify, 0, -1, -1, 0, 0, ""},
        {"ATI0", EAtKind::Identify, 0, -1, -1, 0, 0, ""},
        {"ATI3", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"AT%V", EAtKind::Firmware, 0, -1, -1, 0, 0, ""},
        {"at%v", EAtKind::Firmware, 0, -1, -1, 0, 0, ""},
        {"ATE0", EAtKind::Echo, 0, -1, -1, 0, 0, ""},
        {"ATE1", EAtKind::Echo, 0, -1, -1, 1, 0, ""},
        {"ATE", EAtKind::Echo, 0, -1, -1, 0, 0, ""},
        {"ATE2", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"ATV1", EAtKind::Verbose, 0, -1, -1, 1, 0, ""},
        {"ATS63?", EAtKind::RegQuery, 0, -1, 63, 0, 0, ""},
        {"ATS63=0", EAtKind::RegSet, 0, -1, 63, 0, 0, ""},
        {"ATS76=3", EAtKind::RegSet, 0, -1, 76, 3, 0, ""},
        {"ATS86=3", EAtKind::RegSet, 0, -1, 86, 3, 0, ""},
        {"ATS 63 = 12", EAtKind::RegSet, 0, -1, 63, 12, 0, ""},
        {"ATS256=1", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"ATS63=256", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"ATS63=", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"ATS63", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"ATS63?x", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"AT&W", EAtKind::Store, 0, -1, -1, 0, 0, ""},
        {"ATZ", EAtKind::Reset, 0, -1, -1, 0, 0, ""},
        {"AT$V0", EAtKind::CallReports, 0, -1, -1, 0, 0, ""},
        {"AT$V1", EAtKind::CallReports, 0, -1, -1, 1, 0, ""},
        {"AT$V2", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"AT$B230400", EAtKind::SetRate, 0, -1, -1, 230400, 0, ""},
        {"AT$B0", EAtKind::SetRate, 0, -1, -1, 0, 0, ""},
        {"AT$B", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"AT$B12345678901", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"AT*SC", EAtKind::StatusCheck, 0, -1, -1, 0, 0, ""},
        {"AT*1A/17", EAtKind::Answer, 1, 17, -1, 0, 0, ""},
        {"AT*2H/3", EAtKind::HangUp, 2, 3, -1, 0, 0, ""},
        {"AT*1W/4", EAtKind::Hold, 1, 4, -1, 0, 0, ""},
        {"AT*1R/4", EAtKind::Retrieve, 1, 4, -1, 0, 0, ""},
        {"at*1a/17", EAtKind::Answer, 1, 17, -1, 0, 0, ""},
        {"AT*1A", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"AT*1A/", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"AT*1A/17x", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"AT*3A/17", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"AT*0D", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"AT*1D", EAtKind::NewCall, 1, -1, -1, 0, 0, ""},
        {"AT*2D5/9", EAtKind::DialDigit, 2, 9, -1, 0, '5', ""},
        {"AT*1D#/9", EAtKind::DialDigit, 1, 9, -1, 0, '#', ""},
        {"AT*1D*/9", EAtKind::DialDigit, 1, 9, -1, 0, '*', ""},
        {"AT*1DA/9", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"AT*1D55/9", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"AT*1D14085551212", EAtKind::DialNumber, 1, -1, -1, 0, 0, "14085551212"},
        {"AT*2D5", EAtKind::DialNumber, 2, -1, -1, 0, 0, "5"},
        {"AT*1D408-555", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"ATX4", EAtKind::Unknown, 0, -1, -1, 0, 0, ""},
        {"", EAtKind::NotAt, 0, -1, -1, 0, 0, ""},
        {"A", EAtKind::NotAt, 0, -1, -1, 0, 0, ""},
        {"hello", EAtKind::NotAt, 0, -1, -1, 0, 0, ""},
        {"OK", EAtKind::NotAt, 0, -1, -1, 0, 0, ""},
        {"\xFF\xFE", EAtKind::NotAt, 0, -1, -1, 0, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        CAtCommand cmd = ParseAtCommand(c.line);
        EXPECT_EQ(cmd.kind, c.kind);
        if (cmd.kind == EAtKind::Unknown || cmd.kind == EAtKind::NotAt) {
            continue;
        }
        EXPECT_EQ(cmd.port, c.port);
        EXPECT_EQ(cmd.callId, c.callId);
        if (c.kind == EAtKind::RegQuery || c.kind == EAtKind::RegSet) {
            EXPECT_EQ(cmd.reg, c.reg);
        }
        EXPECT_EQ(cmd.value, c.value);
        EXPECT_EQ(cmd.digit, c.digit);
        EXPECT_EQ(cmd.number, c.number);
    }
}

struct CtlCase {
    const char* line;
    bool ok;
    ECtlVerb verb;
    int port;
    const char* remote;
    const char* local;
    const char* text;
    char digit;
    int waitMs;
};

TEST(AdapterSimParser, ControlCommands) {
    const CtlCase cases[] = {
        {"ring 1 4085551212 5551212", true, ECtlVerb::Ring, 1, "4085551212", "5551212", "", 0, 0},
        {"  ring 2 - 5551212  ", true, ECtlVerb::Ring, 2, "", "5551212", "", 0, 0},
        {"ring 1 4085551212", true, ECtlVerb::Ring, 1, "4085551212", "", "", 0, 0},
        {"ring 3 4085551212 5551212", false, ECtlVerb::Ring, 0, "", "", "", 0, 0},
        {"ring 1 (408)555 5551212", false, ECtlVerb::Ring, 0, "", "", "", 0, 0},
        {"ring 1", false, ECtlVerb::Ring, 0, "", "", "", 0, 0},
        {"ring 1 1 2 3", false, ECtlVerb::Ring, 0, "", "", "", 0, 0},
        {"existing 2 4085551212 5551212", true, ECtlVerb::Existing, 2, "4085551212", "5551212", "", 0, 0},
        {"answer-far 1", true, ECtlVerb::AnswerFar, 1, "", "", "", 0, 0},
        {"hangup-far 2", true, ECtlVerb::HangUpFar, 2, "", "", "", 0, 0},
        {"hangup-far", false, ECtlVerb::HangUpFar, 0, "", "", "", 0, 0},
        {"offhook 1", true, ECtlVerb::OffHook, 1, "", "", "", 0, 0},
        {"onhook 2", true, ECtlVerb::OnHook, 2, "", "", "", 0, 0},
        {"flash 1 2", false, ECtlVerb::Flash, 0, "", "", "", 0, 0},
        {"digit 1 #", true, ECtlVerb::Digit, 1, "", "", "", '#', 0},
        {"digit 1 12", false, ECtlVerb::Digit, 0, "", "", "", 0, 0},
        {"digit 1 x", false, ECtlVerb::Digit, 0, "", "", "", 0, 0},
        {"dtmf 2 *1234#", true, ECtlVerb::Dtmf, 2, "", "", "*1234#", 0, 0},
        {"dtmf 2 12a", false, ECtlVerb::Dtmf, 0, "", "", "", 0, 0},
        {"raw CALL:0,6;2,1", true, ECtlVerb::Raw, 0, "", "", "CALL:0,6;2,1", 0, 0},
        {"raw  two  blanks", true, ECtlVerb::Raw, 0, "", "", " two  blanks", 0, 0},
        {"raw a\\x01b\\r", true, ECtlVerb::Raw, 0, "", "",
         "a\x01"
         "b\r",
         0, 0},
        {"raw", true, ECtlVerb::Raw, 0, "", "", "", 0, 0},
        {"wait 2", true, ECtlVerb::Wait, 0, "", "", "", 0, 2000},
        {"wait 0.25", true, ECtlVerb::Wait, 0, "", "", "", 0, 250},
        {"wait -1", false, ECtlVerb::Wait, 0, "", "", "", 0, 0},
        {"wait soon", false, ECtlVerb::Wait, 0, "", "", "", 0, 0},
        {"wait nan", false, ECtlVerb::Wait, 0, "", "", "", 0, 0},
        {"expect AT*1A", true, ECtlVerb::Expect, 0, "", "", "AT*1A", 0, 0},
        {"expect ATS63=9 ", true, ECtlVerb::Expect, 0, "", "", "ATS63=9", 0, 0},
        {"expect", false, ECtlVerb::Expect, 0, "", "", "", 0, 0},
        {"quit", true, ECtlVerb::Quit, 0, "", "", "", 0, 0},
        {"unplug", true, ECtlVerb::Unplug, 0, "", "", "", 0, 0},
        {"replug now", false, ECtlVerb::Replug, 0, "", "", "", 0, 0},
        {"help me", false, ECtlVerb::Help, 0, "", "", "", 0, 0},
        {"", true, ECtlVerb::None, 0, "", "", "", 0, 0},
        {"# a comment", true, ECtlVerb::None, 0, "", "", "", 0, 0},
        {"dance 1", false, ECtlVerb::None, 0, "", "", "", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        CControlCommand cmd;
        std::string error;
        bool ok = ParseControlCommand(c.line, cmd, error);
        ASSERT_EQ(ok, c.ok);
        if (!ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(cmd.verb, c.verb);
        EXPECT_EQ(cmd.port, c.port);
        EXPECT_EQ(cmd.remote, c.remote);
        EXPECT_EQ(cmd.local, c.local);
        EXPECT_EQ(cmd.text, c.text);
        EXPECT_EQ(cmd.digit, c.digit);
        EXPECT_EQ(cmd.waitMs, c.waitMs);
    }
}

TEST(AdapterSimParser, UnescapeKeepsMalformedEscapes) {
    EXPECT_EQ(UnescapeText("a\\tb\\\\c\\n"), "a\tb\\c\n");
    EXPECT_EQ(UnescapeText("\\x4"), "\\x4");
    EXPECT_EQ(UnescapeText("\\xZZ"), "\\xZZ");
    EXPECT_EQ(UnescapeText("\\q"), "\\q");
    EXPECT_EQ(UnescapeText("end\\"), "end\\");
}

TEST(AdapterSimParser, Options) {
    struct Case {
        std::vector<std::string> args;
        bool ok;
    };
    const Case cases[] = {
        {{}, true},
        {{"--rate", "230400", "--s63", "0", "--model", "3C880", "--answer-delay", "-1"}, true},
        {{"--rate", "12345"}, false},
        {{"--rate"}, false},
        {{"--s63", "256"}, false},
        {{"--address", "127.1.2.3"}, true},
        {{"--address", "localhost"}, false},
        {{"--udp-port", "0"}, false},
        {{"--first-id", "17x"}, false},
        {{"--frobnicate"}, false},
    };
    for (const auto& c : cases) {
        CSimOptions options;
        bool help = false;
        std::string error;
        EXPECT_EQ(ParseSimOptions(c.args, options, help, error), c.ok) << (c.args.empty() ? "" : c.args[0]);
    }
    CSimOptions options;
    bool help = false;
    std::string error;
    ASSERT_TRUE(ParseSimOptions({"--rate", "230400", "--s63", "0", "--no-rate-check", "--first-id", "17",
                                 "--expect-timeout", "3", "--log-micros"},
                                options, help, error));
    EXPECT_TRUE(options.logMicros);
    EXPECT_EQ(options.adapter.rate, 230400);
    EXPECT_EQ(options.adapter.s63, 0);
    EXPECT_FALSE(options.rateCheck);
    EXPECT_EQ(options.adapter.calls.firstId, 17);
    EXPECT_EQ(options.expectTimeoutMs, 3000);
}

// The log's time stamp has three decimals, or six when asked for microseconds.
TEST(AdapterSimParser, LogTimeResolution) {
    for (bool micros : {false, true}) {
        CSimLog log(nullptr);
        log.SetMicroseconds(micros);
        std::string line;
        log.SetObserver([&](const std::string& l) { line = l; });
        log.Write("TX pty", "0");
        std::size_t dot = line.find('.');
        ASSERT_EQ(dot, 8U) << line;
        EXPECT_EQ(line.find(' '), micros ? 15U : 12U) << line;
        EXPECT_EQ(line.substr(line.find(' ')), " TX pty 0\n");
    }
}

} // namespace
