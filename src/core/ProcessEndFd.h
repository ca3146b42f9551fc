// Waiting for a process to end without polling: its pidfd.
#pragma once

#include <sys/types.h>

// A descriptor that becomes readable when a process ends (a pidfd: for any process, not only a
// child, such as a pppd that has detached). Closed with the object; -1 when the process is
// already gone or the kernel has no pidfd.
class CProcessEndFd {
public:
    CProcessEndFd() = default;
    explicit CProcessEndFd(pid_t pid);
    ~CProcessEndFd();
    CProcessEndFd(CProcessEndFd&& other) noexcept;
    CProcessEndFd& operator=(CProcessEndFd&& other) noexcept;
    CProcessEndFd(const CProcessEndFd&) = delete;
    CProcessEndFd& operator=(const CProcessEndFd&) = delete;

    int Fd() const { return m_fd; }

private:
    int m_fd = -1;
};
