// Runs the real program, $RINGVALE_BIN_DIR/ringvale, as a child process for whole-program
// tests, and waits for what it writes into its working directory.
//
// The program is started in Options::dir with QT_QPA_PLATFORM=offscreen,
// RINGVALE_ADAPTER_ADDRESS=<Options::adapterAddress> and RINGVALE_DIALUP=sim (plus any extra
// variables), its standard output and standard error going to <dir>/ringvale.out. It takes
// no arguments but Options::args; its files (RV.cfg, RV.pbk, RV.log, Ringvale.dbg, dialup-sim.txt) are plain
// names in that directory, so a test writes them there before Start().
//
// Waiting never sleeps for a fixed time: the waits block on inotify events of the directory
// (every trace line opens and closes Ringvale.dbg; the stores replace their files by rename)
// and on the process's pidfd, so they end as soon as the condition holds, the timeout passes
// or the program ends.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

class CRingvaleRun {
public:
    struct Options {
        std::string dir;
        std::string adapterAddress = "127.0.0.1";
        std::vector<std::pair<std::string, std::string>> env; // extra or overriding variables
        // A command that runs the program (absolute path first), e.g. setpriv or prlimit.
        std::vector<std::string> prefix;
        std::vector<std::string> args; // the program's own arguments
    };

    explicit CRingvaleRun(Options options);
    // Kills the program (SIGKILL) if it is still running and reaps it.
    ~CRingvaleRun();
    CRingvaleRun(const CRingvaleRun&) = delete;
    CRingvaleRun& operator=(const CRingvaleRun&) = delete;

    // Starts the program; false when it could not be started.
    bool Start();
    bool Running();

    // A name in the working directory, or an absolute path as it is.
    std::string File(const std::string& name) const {
        return name.starts_with('/') ? name : m_options.dir + "/" + name;
    }
    std::string Read(const std::string& name) const;
    // The trace file, Ringvale.dbg.
    std::string Trace() const { return Read("Ringvale.dbg"); }
    // What the program wrote to its standard output and error.
    std::string Output() const { return Read("ringvale.out"); }

    // Waits until `predicate` holds for the text of the file (missing file: ""; its folder must
    // exist). False when the
    // timeout passed first; also false, without waiting further, when the program has ended
    // and the predicate still does not hold.
    bool WaitForFile(const std::string& name, const std::function<bool(const std::string&)>& predicate,
                     int timeoutMs = 10000);
    // Waits until the file contains `text` at or after byte offset `from`.
    bool WaitForText(const std::string& name, const std::string& text, int timeoutMs = 10000, std::size_t from = 0);
    // The same for the trace file.
    bool WaitForTrace(const std::string& text, int timeoutMs = 10000, std::size_t from = 0) {
        return WaitForText("Ringvale.dbg", text, timeoutMs, from);
    }

    // Sends a signal (SIGTERM by default) and waits for the program to end. Returns its wait
    // status, or -1 when it did not end within the time.
    int Terminate(int signal = 15, int timeoutMs = 20000);
    // Waits for the program to end by itself; returns the wait status or -1.
    int WaitForExit(int timeoutMs);

private:
    // True when the program has ended (it is reaped then and m_status holds its status).
    bool Reap();

    Options m_options;
    pid_t m_pid = -1;
    int m_pidFd = -1;
    int m_status = -1;
    bool m_ended = false;
};

// Checks that the items appear in `text` in this order, each after the end of the previous
// one. Returns "" when they do; otherwise a message naming the first item not found (and
// where the search stood). *end receives the offset after the last item found.
std::string FindInOrder(const std::string& text, const std::vector<std::string>& items, std::size_t* end = nullptr);
