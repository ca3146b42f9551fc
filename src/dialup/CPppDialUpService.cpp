#include "dialup/CPppDialUpService.h"

#include "core/Format.h"
#include "core/Trace.h"
#include "core/WriteAll.h"
#include "dialup/CPppOptionsFile.h"
#include "dialup/DialUpErrors.h"
#include "dialup/PppOptions.h"
#include "dialup/PppProcesses.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace {

constexpr std::size_t kMaxCapturedOutput = std::size_t{64} * 1024;

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A quoted word for a pppd options file: backslash and quote escaped, control characters as
// octal escapes, so that any user name or password reads back exactly.
std::string QuoteOptionWord(const std::string& value) {
    std::string out = "\"";
    for (const char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            out += StrFormat("\\%03o", u);
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string TempDirectory() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

// pppd's arguments (after the program name) for dialling an entry.
std::vector<std::string> DialArguments(const std::string& entryName, const std::string& optionsFile) {
    std::vector<std::string> args = {"call", entryName};
    if (!optionsFile.empty()) {
        args.insert(args.end(), {"file", optionsFile});
    }
    args.insert(args.end(), {"updetach", "lock", "ipparam", CPppDialUpService::IpParam(entryName)});
    return args;
}

// An unnamed temporary file that receives pppd's output (a pipe could be held open by the
// daemon that pppd leaves behind, so reading it to the end could block).
int OpenCaptureFile() {
    std::string path = TempDirectory() + "/ringvale-pppout-XXXXXX";
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd >= 0) {
        ::unlink(path.c_str());
    }
    return fd;
}

void TraceCapturedOutput(int fd) {
    std::string text(kMaxCapturedOutput, '\0');
    std::size_t used = 0;
    while (used < text.size()) {
        const ssize_t n = ::pread(fd, text.data() + used, text.size() - used, static_cast<off_t>(used));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        used += static_cast<std::size_t>(n);
    }
    text.resize(used);
    for (const std::string_view line : SplitLines(text)) {
        if (!TrimView(line).empty()) {
            Trace("<dbg> pppd: " + std::string(line));
        }
    }
}

std::string JoinArgs(const std::string& program, const std::vector<std::string>& args) {
    std::string out = program;
    for (const std::string& arg : args) {
        out += ' ';
        out += arg;
    }
    return out;
}

} // namespace

CPppDialUpService::CPppDialUpService(PppDialUpConfig config) : m_config(std::move(config)) {}

std::string CPppDialUpService::OptionsFileText(const std::string& userName, const std::string& password) {
    std::string text;
    if (!userName.empty()) {
        text += "user " + QuoteOptionWord(userName) + "\n";
    }
    if (!password.empty()) {
        text += "password " + QuoteOptionWord(password) + "\n";
    }
    return text;
}

void CPppDialUpService::RemoveStaleOptionsFiles() const {
    const std::string dir = CPppOptionsFile::Directory(m_config.optionsDir);
    if (const int removed = CPppOptionsFile::RemoveStale(dir); removed > 0) {
        Trace(StrFormat("<dbg> Dial-up: removed %d options file(s) left behind in %s", removed, dir.c_str()));
    }
}

std::string CPppDialUpService::FindPppd() const {
    if (!m_config.pppdPath.empty()) {
        return IsExecutableFile(m_config.pppdPath) ? m_config.pppdPath : std::string();
    }
    std::vector<std::string> dirs;
    if (const char* path = std::getenv("PATH")) {
        std::string_view rest = path;
        while (!rest.empty()) {
            const std::size_t colon = rest.find(':');
            const std::string_view dir = rest.substr(0, colon);
            if (!dir.empty()) { // an empty element would mean the working directory: never
                dirs.emplace_back(dir);
            }
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        }
    }
    dirs.insert(dirs.end(), m_config.searchDirs.begin(), m_config.searchDirs.end());
    for (const std::string& dir : dirs) {
        std::string candidate = dir + "/pppd";
        if (IsExecutableFile(candidate)) {
            return candidate;
        }
    }
    return {};
}

bool CPppDialUpService::EntryExists(const std::string& entryName) const {
    return IsValidPeerName(entryName) && IsRegularFile(m_config.peersDir + "/" + entryName);
}

int CPppDialUpService::Dial(const std::string& entryName, const std::string& userName, const std::string& password,
                            DialUpHandle& handle) {
    handle = 0;
    // A cancel is for the dial in progress only: it ends with it, whichever way it returns.
    struct SCancelEnds {
        CPppDialUpService& service;
        ~SCancelEnds() {
            const std::lock_guard lock(service.m_mutex);
            service.m_cancelRequested = false;
        }
    } cancelEnds{*this};
    if (!EntryExists(entryName)) {
        Trace(StrFormat("<dbg> Dial-up: no peers file for entry \"%s\" in %s", entryName.c_str(),
                        m_config.peersDir.c_str()));
        return kDialUpErrNoEntry;
    }
    const std::string pppd = FindPppd();
    if (pppd.empty()) {
        Trace("<dbg> Dial-up: no pppd program found");
        return kDialUpErrNoPppd;
    }
    CPppOptionsFile options;
    const std::string optionsText = OptionsFileText(userName, password);
    if (!optionsText.empty()) {
        const std::string dir = CPppOptionsFile::Directory(m_config.optionsDir);
        int err = 0;
        if (!options.Create(dir, optionsText, err)) {
            Trace(StrFormat("<dbg> Dial-up: cannot write the options file in %s: %s", dir.c_str(), std::strerror(err)));
            return kDialUpErrOptionsFile;
        }
    }
    const int code = RunPppd(pppd, DialArguments(entryName, options.Path()), options);
    if (code != 0) {
        return code;
    }
    const pid_t pid = FindOwnPppd(entryName);
    const std::lock_guard lock(m_mutex);
    handle = HandleForLocked(pid, entryName);
    return 0;
}

void CPppDialUpService::CancelDial() {
    const std::lock_guard lock(m_mutex);
    m_cancelRequested = true;
    if (m_dialPid > 0 && ::kill(m_dialPid, SIGTERM) == 0) {
        Trace(StrFormat("<dbg> Dial-up: dial cancelled, sent SIGTERM to pppd %d", static_cast<int>(m_dialPid)));
    }
}

int CPppDialUpService::RunPppd(const std::string& pppd, const std::vector<std::string>& args,
                               CPppOptionsFile& options) {
    Trace("<dbg> Dial-up: running " + JoinArgs(pppd, args));
    const int capture = OpenCaptureFile();

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    // No terminal for pppd: with no device named it would otherwise take over our stdin.
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (capture >= 0) {
        ::posix_spawn_file_actions_adddup2(&actions, capture, 1);
        ::posix_spawn_file_actions_adddup2(&actions, capture, 2);
    }
    ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    // A signal blocked or ignored here (the program may handle its own) must not stay blocked
    // or ignored in pppd, or the hang-up's SIGTERM would not reach it.
    posix_spawnattr_t attr;
    ::posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE, SIGCHLD, SIGUSR1, SIGUSR2, SIGALRM, SIGXFSZ}) {
        sigaddset(&defaults, sig);
    }
    ::posix_spawnattr_setsigmask(&attr, &none);
    ::posix_spawnattr_setsigdefault(&attr, &defaults);
    ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(pppd.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    pid_t pid = 0;
    int spawnErr = 0;
    {
        // Under the lock, so that a cancel either comes before the start or finds the pid.
        const std::lock_guard lock(m_mutex);
        spawnErr =
            m_cancelRequested ? ECANCELED : ::posix_spawn(&pid, pppd.c_str(), &actions, &attr, argv.data(), environ);
        m_dialPid = spawnErr == 0 ? pid : 0;
    }
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attr);
    if (spawnErr != 0) {
        if (capture >= 0) {
            ::close(capture);
        }
        if (spawnErr == ECANCELED) {
            return kDialUpErrCancelled;
        }
        Trace(StrFormat("<dbg> Dial-up: cannot start %s: %s", pppd.c_str(), std::strerror(spawnErr)));
        return kDialUpErrStartFailed;
    }

    int status = 0;
    const bool waited = WaitForPppd(pid, options, status);
    bool cancelled = false;
    {
        const std::lock_guard lock(m_mutex);
        m_dialPid = 0;
        cancelled = m_cancelRequested;
    }
    if (capture >= 0) {
        TraceCapturedOutput(capture);
        ::close(capture);
    }
    int code = kDialUpErrStartFailed;
    if (!waited) {
        Trace(StrFormat("<dbg> Dial-up: lost track of pppd: %s", std::strerror(errno)));
    } else if (WIFEXITED(status)) {
        code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        code = kDialUpErrSignalBase + WTERMSIG(status);
    }
    Trace(StrFormat("<dbg> Dial-up: pppd ended with %d: %s", code, DialUpErrorText(code).c_str()));
    // A dial that came up while it was being cancelled keeps its result: its connection must
    // still be hung up.
    return cancelled && code != 0 ? kDialUpErrCancelled : code;
}

bool CPppDialUpService::WaitForPppd(pid_t pid, CPppOptionsFile& options, int& status) {
    // Until pppd has read the options file, wait for that too: the password is then removed
    // from the disk while pppd is still dialling.
    const CProcessEndFd ended(pid);
    while (ended.Fd() >= 0) {
        pollfd fds[2] = {{ended.Fd(), POLLIN, 0}, {options.ReadWatchFd(), POLLIN, 0}};
        const nfds_t count = fds[1].fd >= 0 ? 2 : 1;
        if (::poll(fds, count, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (count == 2 && (fds[1].revents & POLLIN) != 0 && options.RemoveIfRead()) {
            Trace("<dbg> Dial-up: pppd has read its options; the options file is removed");
        }
        if ((fds[0].revents & POLLIN) != 0) {
            break;
        }
    }
    pid_t waited = 0;
    do {
        waited = ::waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    options.Remove();
    return waited == pid;
}

bool CPppDialUpService::IsOwnPppd(pid_t pid, const std::string& entryName) const {
    const std::vector<std::string> cmdline = ReadProcessCmdline(m_config.procDir, pid);
    return IsPppdCmdline(cmdline) && OptionArgument(cmdline, "ipparam") == IpParam(entryName);
}

pid_t CPppDialUpService::FindOwnPppd(const std::string& entryName) const {
    const std::string device = PppDeviceOfPeersFile(m_config.peersDir, entryName);
    if (!device.empty()) {
        for (const auto& [pid, locked] : LockHolders(m_config.lockDir)) {
            if (locked == device && IsOwnPppd(pid, entryName)) {
                return pid;
            }
        }
    }
    for (const PppdProcess& p : ListPppdProcesses(m_config.procDir)) {
        if (IsOwnPppd(p.pid, entryName)) {
            return p.pid;
        }
    }
    return 0;
}

DialUpHandle CPppDialUpService::HandleForLocked(pid_t pid, const std::string& entryName) {
    if (pid != 0) {
        for (auto& [handle, link] : m_links) {
            if (link.pid == pid) {
                return handle;
            }
        }
        // A dial whose pppd had not been found yet.
        for (auto& [handle, link] : m_links) {
            if (link.pid == 0 && !entryName.empty() && link.entry == entryName) {
                link.pid = pid;
                return handle;
            }
        }
    }
    const DialUpHandle handle = m_nextHandle++;
    m_links[handle] = Link{entryName, pid, false, {}};
    return handle;
}

std::string CPppDialUpService::ErrorText(int code) {
    return DialUpErrorText(code);
}

void CPppDialUpService::HangUp(DialUpHandle handle) {
    const std::lock_guard lock(m_mutex);
    const auto it = m_links.find(handle);
    if (it == m_links.end()) {
        return;
    }
    Link& link = it->second;
    if (link.pid == 0) {
        link.pid = FindOwnPppd(link.entry);
    }
    link.hangUpRequested = true;
    if (link.pid == 0 || !IsLivePppd(m_config.procDir, link.pid)) {
        return;
    }
    if (::kill(link.pid, SIGTERM) != 0) {
        Trace(StrFormat("<dbg> Dial-up: cannot stop pppd %d: %s", static_cast<int>(link.pid), std::strerror(errno)));
        link.hangUpRequested = false; // it goes on running, so it is not being disconnected
    } else {
        Trace(StrFormat("<dbg> Dial-up: sent SIGTERM to pppd %d", static_cast<int>(link.pid)));
    }
}

EDialUpStatus CPppDialUpService::Status(DialUpHandle handle) {
    const std::lock_guard lock(m_mutex);
    const auto it = m_links.find(handle);
    if (it == m_links.end()) {
        return EDialUpStatus::Disconnected;
    }
    Link& link = it->second;
    if (link.pid == 0) {
        link.pid = FindOwnPppd(link.entry);
    }
    if (link.pid != 0 && IsLivePppd(m_config.procDir, link.pid)) {
        return link.hangUpRequested ? EDialUpStatus::Pending : EDialUpStatus::Connected;
    }
    m_links.erase(it);
    return EDialUpStatus::Disconnected;
}

int CPppDialUpService::EndFd(DialUpHandle handle) {
    const std::lock_guard lock(m_mutex);
    const auto it = m_links.find(handle);
    if (it == m_links.end()) {
        return -1;
    }
    Link& link = it->second;
    if (link.pid == 0) {
        link.pid = FindOwnPppd(link.entry);
    }
    if (link.pid != 0 && link.ended.Fd() < 0) {
        link.ended = CProcessEndFd(link.pid);
    }
    return link.ended.Fd();
}

std::vector<DialUpConnectionInfo> CPppDialUpService::ActiveConnections() {
    const std::map<pid_t, std::string> locks = LockHolders(m_config.lockDir);
    std::vector<DialUpConnectionInfo> result;
    const std::vector<PppdProcess> processes = ListPppdProcesses(m_config.procDir);
    const std::lock_guard lock(m_mutex);
    for (const PppdProcess& p : processes) {
        // Ours carry our ipparam; another's is known by the peers file it calls, if any.
        std::string entry = OptionArgument(p.args, "ipparam");
        const std::string ours = IpParam("");
        entry = entry.rfind(ours, 0) == 0 ? entry.substr(ours.size()) : OptionArgument(p.args, "call");
        DialUpConnectionInfo info;
        info.handle = HandleForLocked(p.pid, entry);
        info.entryName = entry;
        const auto locked = locks.find(p.pid);
        info.deviceName = locked != locks.end() ? locked->second : PppDeviceFromWords(p.args, m_config.peersDir);
        result.push_back(std::move(info));
    }
    return result;
}

std::vector<std::string> CPppDialUpService::Entries() {
    std::vector<std::string> entries;
    DIR* dir = ::opendir(m_config.peersDir.c_str());
    if (dir == nullptr) {
        return entries;
    }
    while (const dirent* d = ::readdir(dir)) {
        const std::string name = d->d_name;
        // Hidden files, editor backups and the package manager's leftovers are no entries.
        if (name.empty() || name[0] == '.' || name.back() == '~' || name.find(".dpkg-") != std::string::npos) {
            continue;
        }
        if (EntryExists(name)) {
            entries.push_back(name);
        }
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::string CPppDialUpService::EntryDeviceName(const std::string& entryName) {
    return EntryExists(entryName) ? PppDeviceOfPeersFile(m_config.peersDir, entryName) : std::string();
}
