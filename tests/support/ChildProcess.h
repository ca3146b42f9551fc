// A helper program run by a test (the simulator, a notification service, the MQTT broker,
// mosquitto_sub, openssl): its standard output and error are read by a thread and kept (Log(),
// WaitForLog()), optionally copied to a file, so a test waits for a line of it instead of
// sleeping; lines can be typed on its standard input.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

class CChildProcess {
public:
    CChildProcess() = default;
    // SIGTERM and wait for the process to end.
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts args[0] (looked up on the PATH when it has no slash) with the arguments; its output is appended to logCopy
    // when given. Without withStdin its standard input is /dev/null. False when it could not be started.
    bool Start(std::vector<std::string> args, const std::string& logCopy = {}, bool withStdin = false);
    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }

    // Types one line on its standard input.
    bool Type(const std::string& line);
    // Waits until the output contains the substring after offset `from` (a length of Log()
    // taken earlier). False at the timeout or when the output ended without it.
    bool WaitForLogAfter(std::size_t from, const std::string& substring, int timeoutMs = 5000);
    bool WaitForLog(const std::string& substring, int timeoutMs = 5000) {
        return WaitForLogAfter(0, substring, timeoutMs);
    }
    std::string Log() const;
    // Sends the signal and waits until the process and its output have ended; returns its wait
    // status or -1.
    int Stop(int signal = 15);
    // Waits for the process to end by itself; its wait status, or -1 after the time.
    int Wait(int timeoutMs);

    // The helper programs in $RINGVALE_BIN_DIR (default "bin").
    static std::string BinDir();

private:
    void ReadOutput(const std::string& logCopy);
    // Waits for the reader to see the end of the output and closes the pipes.
    void JoinReader();

    pid_t m_pid = -1;
    int m_outFd = -1;
    int m_inFd = -1;
    int m_exitStatus = -1;
    std::thread m_reader;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_log;
    bool m_outputClosed = false;
};

// Runs a program to its end; true when it exits with status 0. Its output goes to *output.
bool RunProgram(const std::vector<std::string>& args, std::string* output = nullptr, int timeoutMs = 30000);
