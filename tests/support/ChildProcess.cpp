#include "support/ChildProcess.h"

#include "core/ProcessEndFd.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

std::string CChildProcess::BinDir() {
    const char* dir = std::getenv("RINGVALE_BIN_DIR");
    return dir != nullptr && *dir != '\0' ? dir : "bin";
}

bool CChildProcess::Start(std::vector<std::string> args, const std::string& logCopy, bool withStdin) {
    // A program started again (a broker restart) begins a new output.
    Stop();
    JoinReader();
    {
        std::lock_guard lock(m_mutex);
        m_log.clear();
        m_outputClosed = false;
    }
    int outFds[2];
    int inFds[2] = {-1, -1};
    if (::pipe2(outFds, O_CLOEXEC) != 0) {
        return false;
    }
    if (withStdin && ::pipe2(inFds, O_CLOEXEC) != 0) {
        ::close(outFds[0]);
        ::close(outFds[1]);
        return false;
    }
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
        const int input = withStdin ? inFds[0] : ::open("/dev/null", O_RDONLY);
        ::dup2(input, 0);
        ::dup2(outFds[1], 1);
        ::dup2(outFds[1], 2);
        ::execvp(argv[0], argv.data());
        std::fprintf(stderr, "cannot start %s: %s\n", argv[0], std::strerror(errno));
        ::_exit(127);
    }
    ::close(outFds[1]);
    m_outFd = outFds[0];
    if (withStdin) {
        ::close(inFds[0]);
        m_inFd = inFds[1];
    }
    if (m_pid < 0) {
        return false;
    }
    m_reader = std::thread([this, logCopy] { ReadOutput(logCopy); });
    return true;
}

CChildProcess::~CChildProcess() {
    Stop();
    JoinReader();
}

void CChildProcess::JoinReader() {
    if (m_reader.joinable()) {
        m_reader.join();
    }
    for (int* fd : {&m_outFd, &m_inFd}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

bool CChildProcess::Type(const std::string& line) {
    const std::string text = line + "\n";
    return m_inFd >= 0 && ::write(m_inFd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

int CChildProcess::Stop(int signal) {
    if (m_pid > 0) {
        ::kill(m_pid, signal);
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_exitStatus = status;
        m_pid = -1;
        JoinReader();
    }
    return m_exitStatus;
}

void CChildProcess::ReadOutput(const std::string& logCopy) {
    FILE* copy = logCopy.empty() ? nullptr : std::fopen(logCopy.c_str(), "ab");
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_outFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        if (copy != nullptr) {
            std::fwrite(buffer, 1, static_cast<std::size_t>(n), copy);
            std::fflush(copy);
        }
        std::lock_guard lock(m_mutex);
        m_log.append(buffer, static_cast<std::size_t>(n));
        m_changed.notify_all();
    }
    if (copy != nullptr) {
        std::fclose(copy);
    }
    std::lock_guard lock(m_mutex);
    m_outputClosed = true;
    m_changed.notify_all();
}

bool CChildProcess::WaitForLogAfter(std::size_t from, const std::string& substring, int timeoutMs) {
    std::unique_lock lock(m_mutex);
    const auto found = [&] { return from <= m_log.size() && m_log.find(substring, from) != std::string::npos; };
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return found() || m_outputClosed; }) &&
           found();
}

std::string CChildProcess::Log() const {
    std::lock_guard lock(m_mutex);
    return m_log;
}

int CChildProcess::Wait(int timeoutMs) {
    if (m_pid <= 0) {
        return -1;
    }
    // The process's pidfd becomes readable when it ends: no polling of waitpid.
    const CProcessEndFd ended(m_pid);
    if (ended.Fd() >= 0) {
        pollfd fd{ended.Fd(), POLLIN, 0};
        const int n = ::poll(&fd, 1, timeoutMs);
        if (n <= 0) {
            return -1;
        }
    }
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_exitStatus = status;
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
        *output = child.Log(); // complete: the reader has seen the end of it
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
