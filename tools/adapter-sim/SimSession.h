// One command session of the simulated adapter: the serial side (pty) or the network side
// (UDP). It frames received bytes into command lines (CR ends a line, LF is ignored,
// backspace edits, lines are bounded), echoes them while echo is on, and frames the lines it
// sends according to the verbose setting. Every line sent is logged as "TX <name> <text>".
#pragma once

#include "SimLog.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CSimSession {
public:
    static constexpr std::size_t kMaxLine = 256; // longer command lines are answered with ERROR

    using WriteFn = std::function<void(const std::string& bytes)>;
    CSimSession(std::string name, CSimLog& log, WriteFn write);

    const std::string& Name() const { return m_name; }

    // Feeds received bytes; returns the command lines completed by them (without CR).
    std::vector<std::string> Feed(std::string_view bytes);
    // Forgets a partly received line (bytes garbled by a wrong rate, a peer that went away).
    void DiscardPartial();

    void SendLine(const std::string& text);
    void SendResult(bool ok);
    // Sends the text followed by CR LF, without the leading CR LF of verbose replies.
    void SendRaw(const std::string& text);
    // Bytes that are not a line (garbage at a wrong rate); logged as TX with a note.
    void SendBytes(const std::string& bytes);

    bool echo = true;
    bool verbose = true;

private:
    std::string m_name;
    CSimLog& m_log;
    WriteFn m_write;
    std::string m_line;
    std::size_t m_overflow = 0; // bytes dropped from the current line
};
