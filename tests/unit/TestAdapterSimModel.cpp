// The simulated adapter without transports: its AT dialogue, its call model driven by the
// program's commands and by phone events, line framing, and the control-source runner.
#include "ControlCommand.h"
#include "SimAdapter.h"
#include "SimLog.h"
#include "SimScriptRunner.h"
#include "SimSession.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// Splits what the adapter wrote in verbose mode ("\r\n<line>\r\n" each) into lines.
std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string current;
    for (char c : bytes) {
        if (c == '\r' || c == '\n') {
            if (!current.empty()) {
                lines.push_back(current);
            }
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty()) {
        lines.push_back(current);
    }
    return lines;
}

// An adapter with one session whose output is collected, and a clock the test moves.
struct Bench {
    explicit Bench(CSimAdapter::Config config = {})
        : log(nullptr), session("pty", log, [this](const std::string& b) { out += b; }),
          adapter(config, log, [this] { return now; }) {
        session.echo = false;
        adapter.SetReportTarget(&session);
    }

    // One step: an AT command line (starting with AT), "tick <ms>", or a control command.
    // Returns the lines sent because of it, with "ERR ..." for a refused control command.
    std::vector<std::string> Step(const std::string& step) {
        out.clear();
        if (step.rfind("AT", 0) == 0) {
            adapter.Execute(session, step);
        } else if (step.rfind("tick ", 0) == 0) {
            now += std::stoi(step.substr(5));
            adapter.Calls().Tick();
        } else {
            CControlCommand cmd;
            std::string error;
            EXPECT_TRUE(ParseControlCommand(step, cmd, error)) << step << ": " << error;
            std::string reply = adapter.ApplyEvent(cmd);
            if (reply != "OK") {
                auto lines = Lines(out);
                lines.push_back(reply.substr(0, 3));
                return lines;
            }
        }
        return Lines(out);
    }

    CSimLog log;
    std::string out;
    std::int64_t now = 1000;
    CSimSession session;
    CSimAdapter adapter;
};

struct Step {
    const char* action;
    std::vector<std::string> sent;
};

struct ModelCase {
    const char* name;
    int firstId;
    std::vector<Step> steps;
};

TEST(AdapterSimModel, CallsFollowCommandsAndEvents) {
    const ModelCase cases[] = {
        {"incoming call answered and hung up by the program",
         1,
         {
             {"ring 1 4085551212 5551212", {"CALL:0,1;2,1;3,1;4,5551212;5,4085551212"}},
             {"AT*1A/1", {"OK", "CALL:0,5;2,1;3,1;4,5551212;5,4085551212"}},
             {"AT*1H/1", {"OK", "CALL:0,0;2,1;3,1;4,5551212;5,4085551212"}},
             {"AT*1H/1", {"ERROR"}},
         }},
        {"blocked caller, rejected",
         17,
         {
             {"ring 2 - 5551212", {"CALL:0,1;2,2;3,17;4,5551212;5,"}},
             {"AT*2H/17", {"OK", "CALL:0,0;2,2;3,17;4,5551212;5,"}},
         }},
        {"commands with a wrong id or port are refused",
         1,
         {
             {"ring 1 4085551212 5551212", {"CALL:0,1;2,1;3,1;4,5551212;5,4085551212"}},
             {"AT*1A/2", {"ERROR"}},
             {"AT*2A/1", {"ERROR"}},
             {"AT*1R/1", {"ERROR"}},
             {"AT*1W/1", {"ERROR"}},
             {"AT*1A/1", {"OK", "CALL:0,5;2,1;3,1;4,5551212;5,4085551212"}},
             {"AT*1A/1", {"ERROR"}},
         }},
        {"hold and retrieve",
         4,
         {
             {"ring 1 4085551212 5551212", {"CALL:0,1;2,1;3,4;4,5551212;5,4085551212"}},
             {"AT*1A/4", {"OK", "CALL:0,5;2,1;3,4;4,5551212;5,4085551212"}},
             {"AT*1W/4", {"OK", "CALL:0,7;2,1;3,4;4,5551212;5,4085551212"}},
             {"AT*1W/4", {"ERROR"}},
             {"AT*1R/4", {"OK", "CALL:0,10;2,1;3,4;4,5551212;5,4085551212"}},
             {"AT*1R/4", {"ERROR"}},
         }},
        {"a second caller needs call waiting on the port",
         1,
         {
             {"ring 1 4085551212 5551212", {"CALL:0,1;2,1;3,1;4,5551212;5,4085551212"}},
             {"ring 1 2125551212 5551212", {"ERR"}},
             {"AT*1A/1", {"OK", "CALL:0,5;2,1;3,1;4,5551212;5,4085551212"}},
             {"ATS76=2", {"OK"}},
             {"ring 1 2125551212 5551212", {"ERR"}},
             {"ring 2 2125551212 5551212", {"CALL:0,1;2,2;3,2;4,5551212;5,2125551212"}},
             {"ATS76=1", {"OK"}},
             {"ring 1 3125551212 5551212", {"CALL:0,1;2,1;3,3;4,5551212;5,3125551212"}},
         }},
        {"outgoing call dialed digit by digit, far end answers after the delay",
         1,
         {
             {"AT*1D", {"OK", "CALL:0,2;2,1;3,1;4,;5,"}},
             {"AT*1D", {"ERROR"}},
             {"AT*1D4/1", {"OK"}},
             {"AT*1D0/1", {"OK"}},
             {"AT*1D8/1", {"OK"}},
             {"AT*1D5/1", {"OK"}},
             {"AT*1D5/1", {"OK"}},
             {"AT*1D5/1", {"OK"}},
             {"AT*1D1/1", {"OK"}},
             {"AT*1D2/1", {"OK"}},
             {"AT*1D1/1", {"OK"}},
             {"AT*1D2/1", {"OK", "CALL:0,3;2,1;3,1;4,;5,4085551212"}},
             {"tick 999", {}},
             {"tick 1", {"CALL:0,5;2,1;3,1;4,;5,4085551212"}},
             {"AT*1D9/1", {"OK"}},
             {"answer-far 1", {"ERR"}},
         }},
        {"a seven-digit number is complete after the digit time-out; the far end answers on request",
         1,
         {
             {"AT*2D", {"OK", "CALL:0,2;2,2;3,1;4,;5,"}},
             {"AT*2D5/1", {"OK"}},
             {"AT*2D5/1", {"OK"}},
             {"AT*2D5/1", {"OK"}},
             {"AT*2D1/1", {"OK"}},
             {"AT*2D2/1", {"OK"}},
             {"AT*2D1/1", {"OK"}},
             {"AT*2D2/1", {"OK"}},
             {"tick 3999", {}},
             {"tick 1", {"CALL:0,3;2,2;3,1;4,;5,5551212"}},
             {"answer-far 2", {"CALL:0,5;2,2;3,1;4,;5,5551212"}},
             {"tick 5000", {}},
         }},
        {"the long-distance 1 makes it eleven digits; # ends dialing",
         1,
         {
             {"AT*1D", {"OK", "CALL:0,2;2,1;3,1;4,;5,"}},
             {"AT*1D1/1", {"OK"}},
             {"AT*1D2/1", {"OK"}},
             {"AT*1D1/1", {"OK"}},
             {"AT*1D2/1", {"OK"}},
             {"AT*1D#/1", {"OK", "CALL:0,3;2,1;3,1;4,;5,1212"}},
         }},
        {"a whole number dialed from the desktop: the connecting report creates the call",
         1,
         {
             {"AT*2D14085551212", {"OK", "CALL:0,3;2,2;3,1;4,;5,14085551212"}},
             {"tick 1000", {"CALL:0,5;2,2;3,1;4,;5,14085551212"}},
             {"hangup-far 2", {"CALL:0,0;2,2;3,1;4,;5,14085551212"}},
             {"hangup-far 2", {"ERR"}},
         }},
        {"the local phone",
         1,
         {
             {"flash 1", {"ERR"}},
             {"digit 1 5", {"ERR"}},
             {"onhook 1", {"ERR"}},
             {"offhook 1", {"AUD:2,1;40,2"}},
             {"offhook 1", {"ERR"}},
             {"flash 1", {"AUD:2,1;40,3"}},
             {"digit 1 #", {"AUD:2,1;42,#"}},
             {"onhook 1", {"AUD:2,1;40,1"}},
         }},
        {"DTMF from the far end needs a connected call",
         1,
         {
             {"dtmf 1 1234", {"ERR"}},
             {"ring 1 4085551212 5551212", {"CALL:0,1;2,1;3,1;4,5551212;5,4085551212"}},
             {"dtmf 1 12", {"ERR"}},
             {"AT*1A/1", {"OK", "CALL:0,5;2,1;3,1;4,5551212;5,4085551212"}},
             {"dtmf 1 1*", {"AUD:2,1;42,1", "AUD:2,1;42,*"}},
         }},
        {"the far end hangs up the call on the line before a held one",
         1,
         {
             {"ring 1 4085551212 5551212", {"CALL:0,1;2,1;3,1;4,5551212;5,4085551212"}},
             {"AT*1A/1", {"OK", "CALL:0,5;2,1;3,1;4,5551212;5,4085551212"}},
             {"AT*1W/1", {"OK", "CALL:0,7;2,1;3,1;4,5551212;5,4085551212"}},
             {"ring 1 2125551212 5551212", {"CALL:0,1;2,1;3,2;4,5551212;5,2125551212"}},
             {"AT*1A/2", {"OK", "CALL:0,5;2,1;3,2;4,5551212;5,2125551212"}},
             {"hangup-far 1", {"CALL:0,0;2,1;3,2;4,5551212;5,2125551212"}},
             {"hangup-far 1", {"CALL:0,0;2,1;3,1;4,5551212;5,4085551212"}},
         }},
        {"an existing call is reported as type 99, again on AT*SC, and its phone is off-hook",
         1,
         {
             {"existing 1 4085551212 5551212", {"CALL:0,99;2,1;3,1;4,5551212;5,4085551212"}},
             {"AT*SC", {"OK", "CALL:0,99;2,1;3,1;4,5551212;5,4085551212"}},
             {"offhook 1", {"ERR"}},
             {"onhook 1", {"AUD:2,1;40,1"}},
         }},
        {"a whole number dialed while the handset is up goes to the call already initiating",
         1,
         {
             {"AT*1D", {"OK", "CALL:0,2;2,1;3,1;4,;5,"}},
             {"AT*1D4085551212", {"OK", "CALL:0,3;2,1;3,1;4,;5,4085551212"}},
         }},
        {"holding a call still being dialed drops it",
         1,
         {
             {"AT*1D", {"OK", "CALL:0,2;2,1;3,1;4,;5,"}},
             {"AT*1W/1", {"OK", "CALL:0,0;2,1;3,1;4,;5,"}},
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CSimAdapter::Config config;
        config.calls.firstId = c.firstId;
        Bench bench(config);
        for (const auto& step : c.steps) {
            EXPECT_EQ(bench.Step(step.action), step.sent) << step.action;
        }
    }
}

TEST(AdapterSimModel, Dialogue) {
    CSimAdapter::Config config;
    config.model = "3C880";
    config.firmware = "3.10";
    config.s63 = 0;
    Bench bench(config);
    const Step steps[] = {
        {"ATI", {"3C880", "OK"}},  {"AT%V", {"Version 3.10", "OK"}},
        {"ATS63?", {"000", "OK"}}, {"ATS63=12", {"OK"}},
        {"ATS63?", {"012", "OK"}}, {"ATS86=3", {"OK"}},
        {"ATS86?", {"003", "OK"}}, {"AT&W", {"OK"}},
        {"AT$V1", {"OK"}},         {"AT*SC", {"OK"}},
        {"ATX7", {"ERROR"}},       {"AT$B4800", {"ERROR"}},
        {"ATV0", {"0"}},           {"ATQ", {"4"}},
        {"ATV1", {"OK"}},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(bench.Step(step.action), step.sent) << step.action;
    }
    EXPECT_TRUE(bench.adapter.CallReportsOn());
    // Lines that are no command get no answer at all.
    bench.out.clear();
    bench.adapter.Execute(bench.session, "hello");
    bench.adapter.Execute(bench.session, "");
    EXPECT_EQ(bench.out, "");
}

TEST(AdapterSimModel, RateChangesAfterTheOk) {
    Bench bench;
    EXPECT_EQ(bench.adapter.Rate(), 115200);
    EXPECT_EQ(bench.Step("AT$B230400"), std::vector<std::string>{"OK"});
    EXPECT_EQ(bench.adapter.Rate(), 230400);
    EXPECT_EQ(bench.Step("AT$B0"), std::vector<std::string>{"OK"});
    EXPECT_EQ(bench.adapter.Rate(), 115200);
    EXPECT_EQ(bench.Step("AT$B1234"), std::vector<std::string>{"ERROR"});
    EXPECT_EQ(bench.adapter.Rate(), 115200);
}

TEST(AdapterSimModel, SessionFraming) {
    CSimLog log(nullptr);
    std::vector<std::string> logged;
    log.SetObserver([&](const std::string& line) { logged.push_back(line); });
    std::string out;
    CSimSession session("pty", log, [&](const std::string& b) { out += b; });

    // CR ends a command, LF is ignored, backspace edits, and the typed bytes are echoed.
    auto lines = session.Feed("AT\nI\r\nATX\bE0\r");
    EXPECT_EQ(lines, (std::vector<std::string>{"ATI", "ATE0"}));
    EXPECT_EQ(out, "ATI\rATX\b \bE0\r");

    // A line split over several reads is joined; nothing comes back without echo.
    session.echo = false;
    out.clear();
    EXPECT_TRUE(session.Feed("AT*1").empty());
    EXPECT_EQ(session.Feed("A/17\r"), std::vector<std::string>{"AT*1A/17"});
    EXPECT_EQ(out, "");

    // A partial line is forgotten on request.
    EXPECT_TRUE(session.Feed("ATI").empty());
    session.DiscardPartial();
    EXPECT_EQ(session.Feed("AT\r"), std::vector<std::string>{"AT"});

    // An overlong line never grows past the bound and is answered with ERROR.
    out.clear();
    std::string longLine(CSimSession::kMaxLine * 20, 'A');
    EXPECT_TRUE(session.Feed(longLine).empty());
    EXPECT_TRUE(session.Feed("\r").empty());
    EXPECT_EQ(Lines(out), std::vector<std::string>{"ERROR"});
    bool dropLogged = false;
    for (const auto& l : logged) {
        dropLogged = dropLogged || l.find("DROP pty overlong command line (5120 bytes)") != std::string::npos;
    }
    EXPECT_TRUE(dropLogged);
    // The next command is understood again.
    EXPECT_EQ(session.Feed("ATI\r"), std::vector<std::string>{"ATI"});

    // Unprintable bytes are escaped in the log.
    logged.clear();
    session.SendLine(std::string("A\x01\xFF", 3));
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("TX pty A<01><FF>"), std::string::npos);
}

struct RunnerBench {
    explicit RunnerBench(bool stopOnError)
        : runner(
              [this](const CControlCommand& cmd) { return cmd.verb == ECtlVerb::Ring ? "OK" : "ERR no"; },
              [this](const std::string& line, const std::string& reply) { replies.push_back(line + " => " + reply); },
              [this] { return now; }, history, 5000, stopOnError) {}

    CSimCommandHistory history;
    std::vector<std::string> replies;
    std::int64_t now = 0;
    CSimScriptRunner runner;
};

TEST(AdapterSimModel, RunnerWaitsAndExpects) {
    RunnerBench b(true);
    for (const char* line :
         {"# comment", "ring 1 1 2", "wait 1.5", "ring 1 1 2", "expect AT*1A", "expect AT*1A", "ring 1 1 2"}) {
        b.runner.Add(line);
    }
    b.runner.Run();
    EXPECT_EQ(b.replies, std::vector<std::string>{"ring 1 1 2 => OK"});
    ASSERT_TRUE(b.runner.Deadline().has_value());
    EXPECT_EQ(*b.runner.Deadline(), 1500);

    b.now = 1499;
    b.runner.Run();
    EXPECT_EQ(b.replies.size(), 1u);
    b.now = 1500;
    b.runner.Run();
    EXPECT_EQ(b.replies.size(), 3u); // the wait, the second ring; now blocked on expect

    // One matching command satisfies one expect only.
    b.history.Add("AT*1A/17");
    b.runner.Run();
    EXPECT_EQ(b.replies.size(), 4u);
    EXPECT_EQ(b.replies.back(), "expect AT*1A => OK");
    EXPECT_FALSE(b.runner.Idle());

    b.history.Add("ATI");
    b.runner.Run();
    EXPECT_EQ(b.replies.size(), 4u);
    b.history.Add("AT*1A/18");
    b.runner.Run();
    ASSERT_EQ(b.replies.size(), 6u);
    EXPECT_EQ(b.replies[5], "ring 1 1 2 => OK");
    EXPECT_TRUE(b.runner.Idle());
    EXPECT_FALSE(b.runner.Failed());
}

TEST(AdapterSimModel, ScenarioStopsAtTheFirstFailure) {
    RunnerBench b(true);
    for (const char* line : {"expect ATZ", "ring 1 1 2"}) {
        b.runner.Add(line);
    }
    b.runner.Run();
    EXPECT_TRUE(b.replies.empty());
    b.now = 5000;
    b.runner.Run();
    EXPECT_EQ(b.replies, std::vector<std::string>{"expect ATZ => ERR timeout waiting for ATZ"});
    EXPECT_TRUE(b.runner.Failed());
    EXPECT_TRUE(b.runner.Idle());

    // A control connection answers every line and goes on.
    RunnerBench c(false);
    for (const char* line : {"bogus", "flash 1", "ring 1 1 2"}) {
        c.runner.Add(line);
    }
    c.runner.Run();
    ASSERT_EQ(c.replies.size(), 3u);
    EXPECT_EQ(c.replies[0].rfind("bogus => ERR unknown command", 0), 0u);
    EXPECT_EQ(c.replies[1], "flash 1 => ERR no");
    EXPECT_EQ(c.replies[2], "ring 1 1 2 => OK");
}

} // namespace
