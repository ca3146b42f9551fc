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

CSimProcess::CSimProcess(Options options) : m_options(std::move(options)) {
    m_linkPath = m_options.dir + "/ttyRV";
    m_controlPath = m_options.dir + "/sim.ctl";

    std::vector<std::string> args = {CChildProcess::BinDir() + "/ringvale-adapter-sim",
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
    if (!m_child.Start(args, m_options.dir + "/sim.log", m_options.interactive)) {
        return;
    }
    m_ready = WaitForLog("INFO READY", 10000);
    if (!m_ready) {
        std::fprintf(stderr, "simulator did not become ready; its output:\n%s\n", Log().c_str());
    }
}

CSimProcess::~CSimProcess() {
    Stop();
    if (m_controlFd >= 0) {
        ::close(m_controlFd);
    }
}

bool CSimProcess::Type(const std::string& line) {
    return m_child.Type(line);
}

int CSimProcess::Stop() {
    m_ready = false;
    return m_child.Stop();
}

bool CSimProcess::Running() const {
    return m_child.Started() && m_ready;
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
    return m_child.WaitForLog(substring, timeoutMs);
}

bool CSimProcess::WaitForLogAfter(std::size_t from, const std::string& substring, int timeoutMs) {
    return m_child.WaitForLogAfter(from, substring, timeoutMs);
}

std::string CSimProcess::Log() const {
    return m_child.Log();
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
