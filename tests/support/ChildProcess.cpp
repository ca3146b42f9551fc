#include "support/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

CChildProcess::~CChildProcess() {
    Stop();
}

bool CChildProcess::Start(const std::vector<std::string>& args) {
    int fds[2];
    if (m_pid > 0 || args.empty() || ::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    JoinReader();
    m_output.clear();
    m_closed = false;
    m_pid = ::fork();
    if (m_pid == 0) {
        const int input = ::open("/dev/null", O_RDONLY);
        ::dup2(input, 0);
        ::dup2(fds[1], 1);
        ::dup2(fds[1], 2);
        std::vector<char*> argv;
        for (const auto& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        std::fprintf(stderr, "cannot start %s: %s\n", argv[0], std::strerror(errno));
        ::_exit(127);
    }
    ::close(fds[1]);
    if (m_pid < 0) {
        ::close(fds[0]);
        return false;
    }
    m_outFd = fds[0];
    m_reader = std::thread([this] { ReadOutput(); });
    return true;
}

void CChildProcess::ReadOutput() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_outFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        std::lock_guard lock(m_mutex);
        m_output.append(buffer, static_cast<std::size_t>(n));
        m_changed.notify_all();
    }
    std::lock_guard lock(m_mutex);
    m_closed = true;
    m_changed.notify_all();
}

void CChildProcess::JoinReader() {
    if (m_reader.joinable()) {
        m_reader.join();
    }
    if (m_outFd >= 0) {
        ::close(m_outFd);
        m_outFd = -1;
    }
}

bool CChildProcess::WaitForOutput(const std::string& text, int timeoutMs, std::size_t from) {
    std::unique_lock lock(m_mutex);
    const auto found = [&] { return from <= m_output.size() && m_output.find(text, from) != std::string::npos; };
    m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return found() || m_closed; });
    return found();
}

std::string CChildProcess::Output() const {
    std::lock_guard lock(m_mutex);
    return m_output;
}

int CChildProcess::Stop(int signal) {
    if (m_pid <= 0) {
        return -1;
    }
    ::kill(m_pid, signal);
    return Wait(-1);
}

int CChildProcess::Wait(int timeoutMs) {
    if (m_pid <= 0) {
        return -1;
    }
    if (timeoutMs >= 0) {
        // The process's pidfd becomes readable when it ends: no polling of waitpid.
        const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
        if (pidFd >= 0) {
            pollfd fd{pidFd, POLLIN, 0};
            const int n = ::poll(&fd, 1, timeoutMs);
            ::close(pidFd);
            if (n <= 0) {
                return -1;
            }
        }
    }
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    JoinReader();
    return status;
}

bool RunProgram(const std::vector<std::string>& args, std::string* output, int timeoutMs) {
    CChildProcess child;
    if (!child.Start(args)) {
        return false;
    }
    int status = child.Wait(timeoutMs);
    if (status == -1) {
        status = child.Stop(SIGKILL);
    }
    if (output != nullptr) {
        *output = child.Output();
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
