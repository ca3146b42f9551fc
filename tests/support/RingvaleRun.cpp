#include "support/RingvaleRun.h"

#include "support/TempDir.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string ProgramPath() {
    const char* dir = std::getenv("RINGVALE_BIN_DIR");
    return std::string(dir != nullptr && *dir != '\0' ? dir : "bin") + "/ringvale";
}

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// An inotify watch on one directory, for the changes that can make a file's text change.
class CDirWatch {
public:
    explicit CDirWatch(const std::string& dir) {
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd >= 0) {
            ::inotify_add_watch(m_fd, dir.c_str(),
                                IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_ATTRIB);
        }
    }
    ~CDirWatch() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    CDirWatch(const CDirWatch&) = delete;
    CDirWatch& operator=(const CDirWatch&) = delete;

    // Blocks until something changed in the directory, the other descriptor (the process) is
    // readable, or the time is up. Returns false only when the time is up.
    bool Wait(int timeoutMs, int otherFd) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {otherFd, POLLIN, 0}};
        const int n = ::poll(fds, otherFd >= 0 ? 2 : 1, timeoutMs);
        if (n <= 0) {
            return n < 0 && errno == EINTR;
        }
        char buffer[4096];
        while (::read(m_fd, buffer, sizeof buffer) > 0) {
        }
        return true;
    }

private:
    int m_fd = -1;
};

} // namespace

CRingvaleRun::CRingvaleRun(Options options) : m_options(std::move(options)) {}

CRingvaleRun::~CRingvaleRun() {
    if (m_pid > 0 && !Reap()) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (m_pidFd >= 0) {
        ::close(m_pidFd);
    }
}

bool CRingvaleRun::Start() {
    // The environment is built before fork: the child only calls async-signal-safe functions.
    std::map<std::string, std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const auto eq = text.find('=');
        if (eq != std::string::npos) {
            env[text.substr(0, eq)] = text.substr(eq + 1);
        }
    }
    env["QT_QPA_PLATFORM"] = "offscreen";
    env["RINGVALE_ADAPTER_ADDRESS"] = m_options.adapterAddress;
    env["RINGVALE_DIALUP"] = "sim";
    env.erase("RINGVALE_DIALUP_SIM_FILE"); // dialup-sim.txt in the working directory
    for (const auto& [key, value] : m_options.env) {
        env[key] = value;
    }
    std::vector<std::string> envText;
    for (const auto& [key, value] : env) {
        envText.push_back(key + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& text : envText) {
        envp.push_back(text.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> args = m_options.prefix;
    args.push_back(ProgramPath());
    args.insert(args.end(), m_options.args.begin(), m_options.args.end());
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const std::string outPath = File("ringvale.out");
    const std::string dir = m_options.dir;

    m_pid = ::fork();
    if (m_pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || in < 0 || ::chdir(dir.c_str()) != 0) {
            ::_exit(126);
        }
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    if (m_pid < 0) {
        return false;
    }
    m_pidFd = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
    return true;
}

bool CRingvaleRun::Reap() {
    if (m_ended) {
        return true;
    }
    if (m_pid <= 0) {
        return false;
    }
    int status = 0;
    const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid) {
        m_status = status;
        m_ended = true;
    }
    return m_ended;
}

bool CRingvaleRun::Running() {
    return m_pid > 0 && !Reap();
}

std::string CRingvaleRun::Read(const std::string& name) const {
    return ReadFileText(File(name));
}

bool CRingvaleRun::WaitForFile(const std::string& name, const std::function<bool(const std::string&)>& predicate,
                               int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::string path = File(name);
    CDirWatch watch(path.substr(0, path.find_last_of('/'))); // before the first look, so no change is missed
    for (;;) {
        if (predicate(Read(name))) {
            return true;
        }
        if (!Running()) {
            return predicate(Read(name));
        }
        const int left = RemainingMs(deadline);
        if (left == 0 || !watch.Wait(left, m_pidFd)) {
            return predicate(Read(name));
        }
    }
}

bool CRingvaleRun::WaitForText(const std::string& name, const std::string& text, int timeoutMs, std::size_t from) {
    return WaitForFile(
        name,
        [&](const std::string& content) {
            return from <= content.size() && content.find(text, from) != std::string::npos;
        },
        timeoutMs);
}

int CRingvaleRun::WaitForExit(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!Reap()) {
        const int left = RemainingMs(deadline);
        if (left == 0 || m_pid <= 0) {
            return -1;
        }
        pollfd fd{m_pidFd, POLLIN, 0};
        ::poll(&fd, 1, left);
    }
    return m_status;
}

int CRingvaleRun::Terminate(int signal, int timeoutMs) {
    if (m_pid > 0 && !Reap()) {
        ::kill(m_pid, signal);
    }
    return WaitForExit(timeoutMs);
}

std::string FindInOrder(const std::string& text, const std::vector<std::string>& items, std::size_t* end) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::size_t found = text.find(items[i], at);
        if (found == std::string::npos) {
            if (end != nullptr) {
                *end = at;
            }
            return "item " + std::to_string(i) + " \"" + items[i] + "\" not found after offset " + std::to_string(at) +
                   (i > 0 ? " (after \"" + items[i - 1] + "\")" : std::string());
        }
        at = found + items[i].size();
    }
    if (end != nullptr) {
        *end = at;
    }
    return {};
}
