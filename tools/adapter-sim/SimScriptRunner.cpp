#include "SimScriptRunner.h"

void CSimCommandHistory::Add(const std::string& line) {
    m_lines.push_back(line);
    if (m_lines.size() > kMaxLines) {
        m_lines.pop_front();
        ++m_base;
    }
}

std::optional<std::size_t> CSimCommandHistory::Find(std::size_t from, const std::string& text) const {
    for (std::size_t i = std::max(from, m_base); i < m_base + m_lines.size(); ++i) {
        if (m_lines[i - m_base].find(text) != std::string::npos) {
            return i;
        }
    }
    return std::nullopt;
}

CSimScriptRunner::CSimScriptRunner(ExecFn exec, ReplyFn reply, ClockFn clock, const CSimCommandHistory& history,
                                   int expectTimeoutMs, bool stopOnError)
    : m_exec(std::move(exec)), m_reply(std::move(reply)), m_clock(std::move(clock)), m_history(history),
      m_expectTimeoutMs(expectTimeoutMs), m_stopOnError(stopOnError) {}

void CSimScriptRunner::Add(const std::string& line) {
    if (m_failed && m_stopOnError) {
        return;
    }
    m_pending.push_back(line);
}

void CSimScriptRunner::Answer(const std::string& reply) {
    m_reply(m_currentLine, reply);
    if (reply.rfind("OK", 0) != 0 && m_stopOnError) {
        m_failed = true;
        m_pending.clear();
    }
}

void CSimScriptRunner::Run() {
    for (;;) {
        if (m_blocked) {
            std::int64_t now = m_clock();
            if (m_current.verb == ECtlVerb::Expect) {
                if (auto found = m_history.Find(m_cursor, m_current.text)) {
                    m_cursor = *found + 1;
                    m_blocked = false;
                    Answer("OK");
                    continue;
                }
                if (now >= m_deadline) {
                    m_blocked = false;
                    Answer("ERR timeout waiting for " + m_current.text);
                    continue;
                }
                return;
            }
            if (now < m_deadline) {
                return;
            }
            m_blocked = false;
            Answer("OK");
            continue;
        }
        if (m_pending.empty()) {
            return;
        }
        m_currentLine = m_pending.front();
        m_pending.pop_front();
        std::string error;
        if (!ParseControlCommand(m_currentLine, m_current, error)) {
            Answer("ERR " + error);
            continue;
        }
        switch (m_current.verb) {
        case ECtlVerb::None:
            continue;
        case ECtlVerb::Wait:
            m_blocked = true;
            m_deadline = m_clock() + m_current.waitMs;
            continue;
        case ECtlVerb::Expect:
            m_blocked = true;
            m_deadline = m_clock() + m_expectTimeoutMs;
            continue;
        default:
            Answer(m_exec(m_current));
            continue;
        }
    }
}

std::optional<std::int64_t> CSimScriptRunner::Deadline() const {
    if (m_blocked) {
        return m_deadline;
    }
    return std::nullopt;
}
