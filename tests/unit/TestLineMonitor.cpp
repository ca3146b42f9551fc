// The line monitor: framing, the posted lines and their trace, the on-line clock, the
// foreign-connection watch and the link lock, against a scripted link and a fake clock; the
// link's recovery against a device that is a file.
#include "adapter/CLineMonitor.h"
#include "core/CMessageQueue.h"
#include "core/Trace.h"
#include "support/CFakeClock.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A link whose input the test writes into a pipe, as a device's driver would.
class CScriptedLink final : public IMonitoredLink {
public:
    CScriptedLink() {
        if (::pipe2(m_pipe, O_NONBLOCK | O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe2";
        }
    }
    ~CScriptedLink() override {
        ::close(m_pipe[0]);
        ::close(m_pipe[1]);
    }
    void Push(const std::string& bytes) {
        ASSERT_EQ(::write(m_pipe[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    int InputFd() const override { return m_pipe[0]; }
    int ReadInput(char* buffer, int length) override {
        const ssize_t n = ::read(m_pipe[0], buffer, static_cast<std::size_t>(length));
        return n > 0 ? static_cast<int>(n) : 0;
    }
    bool IsOpen() const override { return true; }
    bool OnSocket() const override { return m_onSocket.load(); }
    void Close() override { ++m_closes; }
    bool Reopen() override {
        ++m_reopens;
        m_onSocket = m_reopenOnSocket.load();
        return m_reopenResult.load();
    }
    bool ReopenSerial() override { return Reopen(); }
    unsigned Opens() const override { return static_cast<unsigned>(m_reopens.load()); }
    // No serial device of its own: nothing for the recovery to wait for.
    std::string DevicePath() const override { return {}; }
    SDeviceNode HeldNode() const override { return {}; }

    std::atomic<bool> m_onSocket{false};
    std::atomic<bool> m_reopenResult{true};
    std::atomic<bool> m_reopenOnSocket{false};
    std::atomic<int> m_closes{0};
    std::atomic<int> m_reopens{0};

private:
    int m_pipe[2] = {-1, -1};
};

class LineMonitorTest : public ::testing::Test {
protected:
    void SetUp() override { SetTraceFilePath(m_dir.File("Ringvale.dbg")); }
    void TearDown() override {
        m_monitor.Stop();
        SetTraceFilePath("Ringvale.dbg");
    }

    // Waits (at most 5 s) for the next posted message.
    bool Next(CMessage& msg) { return m_posted.WaitForMessage(5000) && m_posted.TryTake(msg); }
    CMessage Next() {
        CMessage msg;
        if (!Next(msg)) {
            ADD_FAILURE() << "no message posted";
        }
        return msg;
    }
    // Waits for the next message of a given id, skipping others (collected).
    CMessage NextOf(EMessageId id, std::vector<CMessage>* skipped = nullptr) {
        CMessage msg;
        while (Next(msg)) {
            if (msg.id == id) {
                return msg;
            }
            if (skipped != nullptr) {
                skipped->push_back(msg);
            }
        }
        ADD_FAILURE() << "no " << MessageName(id);
        return {};
    }

    TempDir m_dir;
    CFakeClock m_clock;
    CScriptedLink m_link;
    CMessageQueue m_posted;
    // Waits (at most 5 s) until the watch has checked the connection count times.
    bool WaitForWatchChecks(int count) {
        std::unique_lock<std::mutex> lock(m_checksMutex);
        return m_checksCv.wait_for(lock, 5s, [&] { return m_watchChecks.load() >= count; });
    }

    std::atomic<bool> m_connectionUp{true};
    std::atomic<int> m_watchChecks{0};
    std::mutex m_checksMutex;
    std::condition_variable m_checksCv;
    CLineMonitor m_monitor{m_link, m_clock,
                           CLineMonitor::SHooks{[this](CMessage m) { m_posted.Post(std::move(m)); },
                                                [this] {
                                                    const bool up = m_connectionUp.load();
                                                    {
                                                        std::lock_guard<std::mutex> lock(m_checksMutex);
                                                        ++m_watchChecks;
                                                    }
                                                    m_checksCv.notify_all();
                                                    return up;
                                                }}};
};

// A link whose device is a file the test makes, replaces and removes: the recovery takes up
// only a device that came back, never the one whose line hung up, nor one that already failed.
class CDeviceFileLink final : public IMonitoredLink {
public:
    explicit CDeviceFileLink(std::string path) : m_path(std::move(path)) {}
    ~CDeviceFileLink() override { Close(); }
    int InputFd() const override { return -1; }
    int ReadInput(char*, int) override { return -1; }
    bool IsOpen() const override { return m_fd >= 0; }
    bool OnSocket() const override { return false; }
    void Close() override {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    bool Reopen() override { return false; }
    bool ReopenSerial() override {
        ++reopens;
        ++opens;
        m_fd = opensWork ? ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC) : -1;
        return m_fd >= 0;
    }
    unsigned Opens() const override { return opens; }
    std::string DevicePath() const override { return m_path; }
    SDeviceNode HeldNode() const override { return DeviceNodeOf(m_fd); }

    int reopens = 0;
    unsigned opens = 1;
    bool opensWork = true;

private:
    std::string m_path;
    int m_fd = -1;
};

TEST(LinkRecovery, TakesUpOnlyADeviceThatCameBack) {
    enum EChange { Nothing, Make, Remove, Replace, OpenedElsewhere };
    struct Step {
        EChange change; // made before the monitor's pass
        int reopens;    // after it
    };
    struct Row {
        const char* label;
        bool held;      // the link is up on the device when its line hangs up (else found closed)
        bool opensWork; // later opens of the device
        std::vector<Step> steps;
    };
    const Row rows[] = {
        {"gone before the hang-up was seen", true, true, {{Remove, 0}, {Make, 1}}},
        {"back before the hang-up was seen", true, true, {{Replace, 1}}},
        {"the old node outlives the hang-up", true, true, {{Nothing, 0}, {Remove, 0}, {Make, 1}}},
        {"a device there when the link is found closed", false, true, {{Nothing, 0}, {Remove, 0}, {Make, 1}}},
        {"a failed reopen is not repeated", true, false, {{Remove, 0}, {Make, 1}, {OpenedElsewhere, 1}, {Replace, 2}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        TempDir dir;
        const std::string path = dir.File("ttyUSB0");
        WriteFileText(path, "");
        CDeviceFileLink link(path);
        if (row.held) {
            ASSERT_TRUE(link.ReopenSerial());
            link.reopens = 0;
        }
        link.opensWork = row.opensWork;
        std::vector<std::string> lines;
        std::vector<EAdapterState> states;
        CLinkRecovery recovery(link, {[&](const std::string& text) { lines.push_back(text); },
                                      [&](EAdapterState state) { states.push_back(state); }});
        recovery.Step(false); // a pass before: the link as it is
        for (const Step& step : row.steps) {
            const bool first = &step == row.steps.data();
            if (step.change == Remove || step.change == Replace) {
                ASSERT_EQ(::unlink(path.c_str()), 0);
            }
            if (step.change == Make || step.change == Replace) {
                WriteFileText(path, "");
            }
            link.opens += step.change == OpenedElsewhere ? 1 : 0;
            if (!first && step.change != Nothing && step.change != OpenedElsewhere) {
                pollfd p{recovery.Fd(), POLLIN, 0};
                ASSERT_EQ(::poll(&p, 1, 5000), 1) << "no word of the change";
            }
            recovery.Step(first); // the first pass: its read of the link failed
            EXPECT_EQ(link.reopens, step.reopens) << "step " << &step - row.steps.data();
        }
        ASSERT_FALSE(states.empty());
        EXPECT_EQ(states.back(), row.opensWork ? AS_Reopened : AS_Lost);
        EXPECT_EQ(recovery.Fd() < 0, row.opensWork) << "the watch ends once the link is up";
        EXPECT_EQ(lines.front(), "Adapter disconnected: waiting for " + path);
    }
}

TEST(OnlineTime, DayHourMinuteSecondSplit) {
    const struct {
        std::int64_t seconds;
        const char* text;
    } cases[] = {
        {0, "Current: 000:00:00:00"},     {59, "Current: 000:00:00:59"},    {3599, "Current: 000:00:59:59"},
        {3600, "Current: 000:01:00:00"},  {86399, "Current: 000:23:59:59"}, {86400, "Current: 001:00:00:00"},
        {90061, "Current: 001:01:01:01"}, {-5, "Current: 000:00:00:00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OnlineTimeText("Current", c.seconds), c.text) << c.seconds;
    }
    EXPECT_EQ(OnlineTimeText("Total", 999 * 86400 + 1), "Total: 999:00:00:01");
}

// Feeds the bytes whole, one at a time and in random chunks; each way must give the same lines.
TEST(LineFramer, SameLinesWhateverTheChunks) {
    const std::string longLine(600, 'x');
    const struct {
        const char* label;
        std::string bytes;
        std::vector<std::string> lines; // as framed, not trimmed
    } cases[] = {
        {"CR ends a line", "OK\r", {"OK"}},
        {"CR LF", "OK\r\nRING\r\n", {"OK", "RING"}},
        {"LF alone does not end a line", "A\nB\r", {"AB"}},
        {"control characters dropped",
         "A\tB\x01"
         "C\x7F\x80\xFF"
         "D\r",
         {"ABCD"}},
        {"blank lines are lines", "\r  \r", {"", "  "}},
        {"no CR, no line", "CALL:0,1", {}},
        {"long line truncated, next intact", longLine + "\rOK\r", {std::string(499, 'x'), "OK"}},
        {"exactly 499", std::string(499, 'y') + "\r", {std::string(499, 'y')}},
    };
    std::mt19937 rng(42);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        for (int mode = 0; mode < 3; ++mode) {
            CLineFramer framer;
            std::vector<std::string> got;
            std::size_t i = 0;
            while (i < c.bytes.size()) {
                std::size_t chunk = mode == 0 ? c.bytes.size() : mode == 1 ? 1 : 1 + rng() % 7;
                for (std::size_t k = 0; k < chunk && i < c.bytes.size(); ++k, ++i) {
                    if (auto line = framer.Feed(c.bytes[i])) {
                        got.push_back(*line);
                    }
                }
            }
            EXPECT_EQ(got, c.lines) << "mode " << mode;
        }
    }
}

TEST_F(LineMonitorTest, PostsTrimmedNonEmptyLinesAndTracesEveryLine) {
    m_monitor.Start();
    m_link.Push("  OK  \r\n\r   \r\tCALL:0,1;2,1;3,17\x02\r");
    m_link.Push("AUD:2,2;40,2\r");
    const std::vector<std::string> expected = {"OK", "CALL:0,1;2,1;3,17", "AUD:2,2;40,2"};
    for (const auto& text : expected) {
        const CMessage msg = Next();
        EXPECT_EQ(msg.id, WM_RV_MODEM_LINE);
        EXPECT_EQ(msg.text, text);
    }
    m_monitor.Stop();
    EXPECT_EQ(m_posted.Size(), 0u) << "blank lines must not be posted";
    const std::string trace = ReadFileText(m_dir.File("Ringvale.dbg"));
    EXPECT_NE(trace.find(" RX:   OK  <0D>\r\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find(" RX: <0D>\r\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find(" RX:    <0D>\r\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find(" RX: CALL:0,1;2,1;3,17<0D>\r\n"), std::string::npos) << trace;
}

TEST_F(LineMonitorTest, OnlineClockOncePerSecondWhileOwnConnectionIsUp) {
    m_monitor.SetOnlineClock({true, m_clock.Now() - 90061, 1000});
    m_monitor.Start();
    CMessage msg = NextOf(WM_RV_ONLINE_TIME);
    EXPECT_EQ(msg.wParam, 90061);
    EXPECT_EQ(msg.lParam, 91061);

    // Less than a second later: nothing.
    m_clock.AdvanceMs(999);
    m_monitor.Wake();
    EXPECT_FALSE(m_posted.WaitForMessage(300));

    m_clock.AdvanceMs(1);
    m_monitor.Wake();
    msg = NextOf(WM_RV_ONLINE_TIME);
    EXPECT_EQ(msg.wParam, 90062);
    EXPECT_EQ(msg.lParam, 91062);

    // Connection down: the clock stops.
    m_monitor.SetOnlineClock({});
    m_clock.AdvanceMs(5000);
    m_monitor.Wake();
    EXPECT_FALSE(m_posted.WaitForMessage(300));
}

TEST_F(LineMonitorTest, WatchReopensTheLinkWhenTheForeignConnectionEnds) {
    m_link.m_onSocket = true;
    m_monitor.SetForeignWatch(true);
    m_monitor.Start();
    // The first check runs at once; the connection is still up.
    ASSERT_TRUE(WaitForWatchChecks(1));
    EXPECT_EQ(m_link.m_reopens.load(), 0);
    // The next check is not due before 500 ms have passed.
    m_connectionUp = false;
    m_clock.AdvanceMs(499);
    m_monitor.Wake();
    EXPECT_FALSE(m_posted.WaitForMessage(300));
    EXPECT_EQ(m_watchChecks.load(), 1);

    m_clock.AdvanceMs(1);
    m_monitor.Wake();
    std::vector<CMessage> activity;
    NextOf(WM_RV_LINK_RESTORED, &activity);
    ASSERT_EQ(activity.size(), 2u);
    EXPECT_EQ(activity[0].text, "RAS disconnected - closing/opening");
    EXPECT_EQ(activity[1].text, "   Success, on serial");
    EXPECT_EQ(m_link.m_closes.load(), 1);
    EXPECT_EQ(m_link.m_reopens.load(), 1);
    EXPECT_FALSE(m_monitor.ForeignWatch());
    const std::string trace = ReadFileText(m_dir.File("Ringvale.dbg"));
    EXPECT_NE(trace.find("RAS disconnected - closing/opening"), std::string::npos);
}

TEST_F(LineMonitorTest, WatchReportsAFailedOrSocketReopen) {
    const struct {
        bool result;
        bool onSocket;
        const char* text;
    } cases[] = {{false, false, "   FAILURE"}, {true, true, "   Success, on socket"}};
    for (const auto& c : cases) {
        m_link.m_onSocket = true;
        m_link.m_reopenResult = c.result;
        m_link.m_reopenOnSocket = c.onSocket;
        m_connectionUp = false;
        m_monitor.SetForeignWatch(true);
        m_monitor.Start();
        std::vector<CMessage> activity;
        NextOf(WM_RV_LINK_RESTORED, &activity);
        ASSERT_EQ(activity.size(), 2u);
        EXPECT_EQ(activity[1].text, c.text);
        m_monitor.Stop();
    }
}

// A dial-up operation moved the link while the watch was on: the watch ends without a check
// or a reopen of its own.
TEST_F(LineMonitorTest, WatchEndsWhenTheOwnConnectionOrTheSerialPortHoldsTheLink) {
    const struct {
        const char* label;
        bool ownUp;
        bool onSocket;
    } rows[] = {{"own connection up", true, true}, {"link on the serial port", false, false}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.label);
        m_connectionUp = false;
        m_monitor.SetForeignWatch(true);
        m_monitor.SetOnlineClock({r.ownUp, m_clock.Now(), 0});
        m_link.m_onSocket = r.onSocket;
        m_monitor.Start();
        NextOf(WM_RV_LINK_RESTORED);
        EXPECT_FALSE(m_monitor.ForeignWatch());
        EXPECT_EQ(m_watchChecks.load(), 0);
        EXPECT_EQ(m_link.m_reopens.load(), 0);
        m_monitor.Stop();
        m_monitor.SetOnlineClock({});
        while (m_posted.Size() > 0) {
            Next();
        }
    }
}

TEST_F(LineMonitorTest, NoBytesAreTakenWhileTheLinkLockIsHeld) {
    m_monitor.Start();
    {
        std::lock_guard<std::mutex> lock(m_monitor.LinkLock());
        m_link.Push("OK\r");
        EXPECT_FALSE(m_posted.WaitForMessage(300));
        char reply[8];
        EXPECT_EQ(m_link.ReadInput(reply, 8), 3) << "the reply is still there for the lock holder";
        m_link.Push("RING\r");
    }
    EXPECT_EQ(NextOf(WM_RV_MODEM_LINE).text, "RING");
}

TEST_F(LineMonitorTest, IdleMonitorWaitsInsteadOfSpinning) {
    m_monitor.Start();
    m_link.Push("OK\r");
    NextOf(WM_RV_MODEM_LINE);
    // Without bytes, clock or watch the monitor sleeps in one wait until something is due;
    // a stop still ends that wait at once.
    const std::uint64_t before = m_monitor.Passes();
    EXPECT_FALSE(m_posted.WaitForMessage(600));
    EXPECT_LE(m_monitor.Passes() - before, 1u);
    m_monitor.Stop();
    m_monitor.Stop(); // a second stop is harmless
    EXPECT_FALSE(m_monitor.Running());
}

} // namespace
