#include "SimSession.h"

CSimSession::CSimSession(std::string name, CSimLog& log, WriteFn write)
    : m_name(std::move(name)), m_log(log), m_write(std::move(write)) {}

std::vector<std::string> CSimSession::Feed(std::string_view bytes) {
    std::vector<std::string> lines;
    std::string echoed;
    for (char c : bytes) {
        if (c == '\n') {
            continue;
        }
        if (c == '\b' || c == 0x7F) {
            if (!m_line.empty() && m_overflow == 0) {
                m_line.pop_back();
                echoed += "\b \b";
            }
            continue;
        }
        if (c == '\r') {
            echoed.push_back('\r');
            if (m_overflow > 0) {
                m_log.Write("DROP", m_name,
                            "overlong command line (" + std::to_string(m_line.size() + m_overflow) + " bytes)");
                m_line.clear();
                m_overflow = 0;
                if (echo) {
                    m_write(echoed);
                    echoed.clear();
                }
                SendResult(false);
                continue;
            }
            if (echo && !m_line.empty()) {
                m_log.Write("ECHO", m_name, m_line);
            }
            lines.push_back(std::move(m_line));
            m_line.clear();
            continue;
        }
        if (m_line.size() >= kMaxLine) {
            ++m_overflow;
            continue;
        }
        m_line.push_back(c);
        echoed.push_back(c);
    }
    if (echo && !echoed.empty()) {
        m_write(echoed);
    }
    return lines;
}

void CSimSession::DiscardPartial() {
    m_line.clear();
    m_overflow = 0;
}

void CSimSession::SendLine(const std::string& text) {
    m_log.Write("TX", m_name, text);
    m_write(verbose ? "\r\n" + text + "\r\n" : text + "\r");
}

void CSimSession::SendResult(bool ok) {
    if (verbose) {
        SendLine(ok ? "OK" : "ERROR");
    } else {
        SendLine(ok ? "0" : "4");
    }
}

void CSimSession::SendRaw(const std::string& text) {
    m_log.Write("TX", m_name, text);
    m_write(text + "\r\n");
}

void CSimSession::SendBytes(const std::string& bytes) {
    m_log.Write("TX", m_name, bytes);
    m_write(bytes);
}
