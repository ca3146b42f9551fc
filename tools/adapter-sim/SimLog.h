// The simulator's event log: one line per event, "HH:MM:SS.mmm <KIND> <text>" (or
// HH:MM:SS.uuuuuu when asked for microseconds), where the text
// is escaped so that unprintable bytes show as <XX>. Tests wait for these lines, so the kinds
// are fixed: RX, TX, ECHO, EV, CTL, RATE, DROP, INFO.
#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

class CSimLog {
public:
    // Writes to `out` (not owned; stderr by default, nullptr for no output).
    explicit CSimLog(std::FILE* out = stderr);
    ~CSimLog();
    CSimLog(const CSimLog&) = delete;
    CSimLog& operator=(const CSimLog&) = delete;

    // Appends to a file instead of the stream given at construction.
    bool OpenFile(const std::string& path, std::string& error);
    // Times with six decimals instead of three.
    void SetMicroseconds(bool on) { m_micros = on; }
    // Every formatted line is also handed to the observer (tests collect them).
    void SetObserver(std::function<void(const std::string&)> observer);

    // "<time> <kind> <escaped text>"
    void Write(std::string_view kind, std::string_view text);
    // Convenience for the transports: "<kind> <transport> <escaped text>".
    void Write(std::string_view kind, std::string_view transport, std::string_view text);

private:
    std::mutex m_mutex;
    std::FILE* m_out;
    std::FILE* m_file = nullptr;
    bool m_micros = false;
    std::function<void(const std::string&)> m_observer;
};
