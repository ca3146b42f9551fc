#include "SimLog.h"

#include "core/Format.h"

#include <chrono>
#include <ctime>

CSimLog::CSimLog(std::FILE* out) : m_out(out) {}

CSimLog::~CSimLog() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

bool CSimLog::OpenFile(const std::string& path, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (f == nullptr) {
        error = "cannot open log file " + path;
        return false;
    }
    std::lock_guard lock(m_mutex);
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
    m_file = f;
    return true;
}

void CSimLog::SetObserver(std::function<void(const std::string&)> observer) {
    std::lock_guard lock(m_mutex);
    m_observer = std::move(observer);
}

void CSimLog::Write(std::string_view kind, std::string_view text) {
    auto now = std::chrono::system_clock::now();
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
    std::time_t seconds = static_cast<std::time_t>(us / 1000000);
    std::tm local{};
    localtime_r(&seconds, &local);
    int fraction = static_cast<int>(us % 1000000);
    std::string line =
        m_micros ? StrFormat("%02d:%02d:%02d.%06d ", local.tm_hour, local.tm_min, local.tm_sec, fraction)
                 : StrFormat("%02d:%02d:%02d.%03d ", local.tm_hour, local.tm_min, local.tm_sec, fraction / 1000);
    line.append(kind);
    line.push_back(' ');
    line += EscapeText(text);
    line.push_back('\n');

    std::lock_guard lock(m_mutex);
    std::FILE* out = m_file != nullptr ? m_file : m_out;
    if (out != nullptr) {
        std::fputs(line.c_str(), out);
        std::fflush(out);
    }
    if (m_observer) {
        m_observer(line);
    }
}

void CSimLog::Write(std::string_view kind, std::string_view transport, std::string_view text) {
    std::string k(kind);
    k.push_back(' ');
    k.append(transport);
    Write(k, text);
}
