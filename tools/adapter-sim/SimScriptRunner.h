// Runs control commands from one source (the terminal, a scenario file, one control-socket
// client) in order. "wait" and "expect" block only their own source: the runner keeps the
// rest of its lines until the wait is over or the expected command has been received, while
// the simulator goes on serving everything else.
#pragma once

#include "ControlCommand.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Every command line the simulator has received, in order, for "expect".
class CSimCommandHistory {
public:
    void Add(const std::string& line);
    // Index of the first line at or after `from` that contains the text.
    std::optional<std::size_t> Find(std::size_t from, const std::string& text) const;

private:
    static constexpr std::size_t kMaxLines = 100000;
    std::deque<std::string> m_lines;
    std::size_t m_base = 0; // index of m_lines.front()
};

class CSimScriptRunner {
public:
    // Runs a command that completes at once; returns "OK..." or "ERR <why>".
    using ExecFn = std::function<std::string(const CControlCommand&)>;
    // Receives every reply, with the line it answers.
    using ReplyFn = std::function<void(const std::string& line, const std::string& reply)>;
    using ClockFn = std::function<std::int64_t()>;

    // stopOnError: a failing line drops the rest (scenario files); otherwise every line is
    // answered and the next one runs.
    CSimScriptRunner(ExecFn exec, ReplyFn reply, ClockFn clock, const CSimCommandHistory& history, int expectTimeoutMs,
                     bool stopOnError);

    void Add(const std::string& line);
    // Runs lines until one blocks or none is left.
    void Run();
    // When Run should be called again at the latest (a wait ending or an expect timing out).
    std::optional<std::int64_t> Deadline() const;
    bool Idle() const { return m_pending.empty() && !m_blocked; }
    bool Failed() const { return m_failed; }
    // Expect sees commands from this index on; it moves past each match.
    std::size_t Cursor() const { return m_cursor; }

private:
    void Answer(const std::string& reply);

    ExecFn m_exec;
    ReplyFn m_reply;
    ClockFn m_clock;
    const CSimCommandHistory& m_history;
    int m_expectTimeoutMs;
    bool m_stopOnError;
    std::deque<std::string> m_pending;
    bool m_blocked = false;
    CControlCommand m_current;
    std::string m_currentLine;
    std::int64_t m_deadline = 0;
    std::size_t m_cursor = 0;
    bool m_failed = false;
};
