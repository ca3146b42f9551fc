// Runs ringvale-adapter-sim as a child process for a test and drives it through its control
// socket.
//
// The simulator is started as
//   $RINGVALE_BIN_DIR/ringvale-adapter-sim --link <dir>/ttyRV --address <address>
//       --control <dir>/sim.ctl --no-stdin <extraArgs...>
// (without --no-stdin when Options::interactive is set)
// with its standard output and standard error read by this object. Everything it logs is kept
// in memory (Log(), WaitForLog()) and copied to <dir>/sim.log for post-mortem reading.
//
// Log format, one line per event:
//   HH:MM:SS.mmm <KIND> <details>
// where the time is local wall-clock time with milliseconds, and KIND is one of
//   RX <transport> <text>   a command line received (without its CR), transport "pty" or "udp"
//   TX <transport> <text>   a line sent (without the CR LF framing); echoes are logged as
//                           "ECHO <transport> <text>"
//   EV <text>               a phone or call event (e.g. "EV call 3 port 1 state 5")
//   CTL <source> <line>     a control command and, on the next line, "CTL <source> -> <reply>"
//   RATE <text>             the rate check (e.g. "RATE mismatch tty=9600 adapter=115200")
//   DROP <text>             input that was ignored (wrong rate, unknown UDP peer, overlong line)
//   INFO <text>             everything else; "INFO READY ..." once the simulator is listening
// <text> is escaped: bytes outside 0x20..0x7E are written as <XX> (two hex digits), so a test
// can wait for "RX pty AT*1A/17" or "TX pty CALL:0,5;2,1;3,17;4,;5,".
#pragma once

#include "support/ChildProcess.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

class CSimProcess {
public:
    struct Options {
        std::string dir;                    // a temp dir for the link, control socket and log
        std::string address = "127.0.0.1";  // UDP address (port 2323); tests pass a private 127.x.y.z
        std::vector<std::string> extraArgs; // e.g. {"--rate", "230400"} or {"--s63", "0"}
        bool interactive = false;           // commands typed with Type() on its standard input
    };

    // Starts $RINGVALE_BIN_DIR/ringvale-adapter-sim and waits (up to 10 s) until it is ready.
    // Running() is false when it could not be started or did not become ready.
    explicit CSimProcess(Options options);
    // SIGTERM and wait for the process to end.
    ~CSimProcess();
    CSimProcess(const CSimProcess&) = delete;
    CSimProcess& operator=(const CSimProcess&) = delete;

    bool Running() const;
    const std::string& LinkPath() const;    // the pty link (a path usable as ComPort)
    const std::string& Address() const;     // the UDP address the simulator listens on
    const std::string& ControlPath() const; // its control socket

    // Sends one control command (same syntax as the simulator's interactive commands) and
    // waits for its reply line. Returns true when the reply is "OK..." ; *reply gets the reply
    // line ("OK", "ERR <why>", or "" when the simulator did not answer).
    bool Command(const std::string& line, std::string* reply = nullptr);

    // With Options::interactive: types one line on the simulator's terminal (its answers
    // appear in Log(), which also holds its standard output).
    bool Type(const std::string& line);

    // Waits until the log contains the substring (anywhere after the log's start).
    bool WaitForLog(const std::string& substring, int timeoutMs = 5000);
    // Waits until the log contains the substring after offset `from` (a length of Log() taken
    // earlier), so a test can wait for the next occurrence of a repeated line.
    bool WaitForLogAfter(std::size_t from, const std::string& substring, int timeoutMs = 5000);
    std::string Log() const; // whole log so far

    // Sends SIGTERM and waits until the process has ended; returns its exit status
    // (as from waitpid) or -1.
    int Stop();

private:
    Options m_options;
    std::string m_linkPath;
    std::string m_controlPath;
    CChildProcess m_child;
    int m_controlFd = -1;
    bool m_ready = false;
    std::mutex m_commandMutex;
};
