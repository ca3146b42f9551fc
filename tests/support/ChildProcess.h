// A helper program run by a test (the MQTT broker, mosquitto_sub, openssl): its standard output
// and error are collected in memory by a reader thread, so a test waits for a line of it
// instead of sleeping.
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
    // Stop().
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts args[0] (looked up on the PATH) with the arguments; standard input is /dev/null.
    bool Start(const std::vector<std::string>& args);
    bool Running() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }

    // Waits until the output holds the text after byte offset `from`; false when the time
    // passed or the program closed its output first.
    bool WaitForOutput(const std::string& text, int timeoutMs, std::size_t from = 0);
    std::string Output() const;

    // Sends the signal and waits for the program to end; returns its wait status (-1 when it
    // was not running).
    int Stop(int signal = 15);
    // Waits for the program to end by itself; its wait status, or -1 after the time.
    int Wait(int timeoutMs);

private:
    void ReadOutput();
    void JoinReader();

    pid_t m_pid = -1;
    int m_outFd = -1;
    std::thread m_reader;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_output;
    bool m_closed = false;
};

// Runs a program to its end; true when it exits with status 0. Its output goes to *output.
bool RunProgram(const std::vector<std::string>& args, std::string* output = nullptr, int timeoutMs = 30000);
