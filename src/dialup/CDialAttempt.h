// One dial on a worker thread, so that the window thread can wait for it with its windows
// painted and responsive, and give up on it: the end of the dial makes ReadyFd readable.
#pragma once

#include "dialup/IDialUpService.h"

#include <mutex>
#include <string>
#include <thread>

class CDialAttempt {
public:
    // Starts the dial at once.
    CDialAttempt(IDialUpService& service, std::string entry, std::string user, std::string password);
    // A dial still running is cancelled and waited for.
    ~CDialAttempt();
    CDialAttempt(const CDialAttempt&) = delete;
    CDialAttempt& operator=(const CDialAttempt&) = delete;

    // Readable once the dial has ended; -1 when no such descriptor could be made (then the
    // dial can only be waited for with Finish).
    int ReadyFd() const { return m_ready; }
    bool Done() const;
    // Asks the service to end the dial early; harmless once it has ended.
    void Cancel();
    // Waits for the dial to end and returns its result, with the handle it set.
    int Finish(DialUpHandle& handle);

private:
    void Run(const std::string& entry, const std::string& user, const std::string& password);

    IDialUpService& m_service;
    int m_ready = -1; // eventfd
    mutable std::mutex m_mutex;
    bool m_running = false; // the service's Dial is in progress
    bool m_done = false;
    bool m_cancelled = false;
    int m_result = 0;
    DialUpHandle m_handle = 0;
    std::thread m_thread;
};
