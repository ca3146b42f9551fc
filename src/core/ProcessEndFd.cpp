#include "core/ProcessEndFd.h"

#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

CProcessEndFd::CProcessEndFd(pid_t pid) : m_fd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))) {}

CProcessEndFd::~CProcessEndFd() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

CProcessEndFd::CProcessEndFd(CProcessEndFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

CProcessEndFd& CProcessEndFd::operator=(CProcessEndFd&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}
