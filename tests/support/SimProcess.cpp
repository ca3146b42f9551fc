#include "support/SimProcess.h"

#include "core/WriteAll.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string BinDir() {
    const char* dir = std::getenv("RINGVALE_BIN_DIR");
    return dir != nullptr && *dir != '\0' ? dir : "bin";
}

} // namespace

CSimProcess::CSimProcess(Options options) : m_options(std::move(options)) {
    m_linkPath = m_options.dir + "/ttyRV";
    m_controlPath = m_options.dir + "/sim.ctl";

    std::vector<std::string> args = {BinDir() + "/ringvale-adapter-sim",
                                     "--link",
                                     m_linkPath,
                                     "--address",
                                     m_options.address,
                                     "--control",
                                     m_controlPath};
    if (!m_options.interactive) {
        args.emplace_back("--no-stdin");
    }
    args.insert(args.end(), m_options.extraArgs.begin(), m_options.extraArgs.end());

    int pipeFds[2];
    int inFds[2] = {-1, -1};
    if (::pipe2(pipeFds, O_CLOEXEC) != 0 || (m_options.interactive && ::pipe2(inFds, O_CLOEXEC) != 0)) {
        return;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        int input = m_options.interactive ? inFds[0] : ::open("/dev/null", O_RDONLY);
        ::dup2(input, 0);
        ::dup2(pipeFds[1], 1);
        ::dup2(pipeFds[1], 2);
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        std::fprintf(stderr, "cannot start %s: %s\n", argv[0], std::strerror(errno));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    m_outFd = pipeFds[0];
    if (m_options.interactive) {
        ::close(inFds[0]);
        m_inFd = inFds[1];
    }
    if (m_pid < 0) {
        return;
    }
    m_reader = std::thread([this] { ReadOutput(); });
    m_ready = WaitForLog("INFO READY", 10000);
    if (!m_ready) {
        std::fprintf(stderr, "simulator did not become ready; its output:\n%s\n", Log().c_str());
    }
}

CSimProcess::~CSimProcess() {
    Stop();
    if (m_reader.joinable()) {
        m_reader.join();
    }
    if (m_outFd >= 0) {
        ::close(m_outFd);
    }
    if (m_controlFd >= 0) {
        ::close(m_controlFd);
    }
    if (m_inFd >= 0) {
        ::close(m_inFd);
    }
}

bool CSimProcess::Type(const std::string& line) {
    std::string text = line + "\n";
    return m_inFd >= 0 && ::write(m_inFd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

int CSimProcess::Stop() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_exitStatus = status;
        m_pid = -1;
        m_ready = false;
    }
    return m_exitStatus;
}

void CSimProcess::ReadOutput() {
    FILE* copy = std::fopen((m_options.dir + "/sim.log").c_str(), "ab");
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(m_outFd, buffer, sizeof buffer);
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

bool CSimProcess::Running() const {
    return m_pid > 0 && m_ready;
}

const std::string& CSimProcess::LinkPath() const {
    return m_linkPath;
}

const std::string& CSimProcess::Address() const {
    return m_options.address;
}

const std::string& CSimProcess::ControlPath() const {
    return m_controlPath;
}

bool CSimProcess::WaitForLog(const std::string& substring, int timeoutMs) {
    return WaitForLogAfter(0, substring, timeoutMs);
}

bool CSimProcess::WaitForLogAfter(std::size_t from, const std::string& substring, int timeoutMs) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] {
                                  return (from <= m_log.size() && m_log.find(substring, from) != std::string::npos) ||
                                         m_outputClosed;
                              }) &&
           from <= m_log.size() && m_log.find(substring, from) != std::string::npos;
}

std::string CSimProcess::Log() const {
    std::lock_guard lock(m_mutex);
    return m_log;
}

bool CSimProcess::Command(const std::string& line, std::string* reply) {
    std::lock_guard commandLock(m_commandMutex);
    if (reply != nullptr) {
        reply->clear();
    }
    if (m_controlFd < 0) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (fd < 0 || m_controlPath.size() >= sizeof addr.sun_path) {
            if (fd >= 0) {
                ::close(fd);
            }
            return false;
        }
        std::memcpy(addr.sun_path, m_controlPath.c_str(), m_controlPath.size() + 1);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(fd);
            return false;
        }
        m_controlFd = fd;
    }
    if (!SendAll(m_controlFd, line + "\n")) {
        return false;
    }
    // The reply is one line; wait commands answer when they are done, so allow for a long
    // scenario step.
    std::string answer;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            return false;
        }
        pollfd p{m_controlFd, POLLIN, 0};
        int r = ::poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r <= 0) {
            return false;
        }
        char c = 0;
        ssize_t n = ::recv(m_controlFd, &c, 1, 0);
        if (n <= 0) {
            ::close(m_controlFd);
            m_controlFd = -1;
            return false;
        }
        if (c == '\n') {
            break;
        }
        answer.push_back(c);
    }
    if (reply != nullptr) {
        *reply = answer;
    }
    return answer.rfind("OK", 0) == 0;
}
