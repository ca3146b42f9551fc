#include "dialup/CPppOptionsFile.h"

#include "core/Format.h"
#include "core/WriteAll.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsPrivateDirectory(const char* path) {
    struct stat st {};
    return path != nullptr && path[0] == '/' && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

// The pid in a name "ringvale-ppp-<pid>-XXXXXX"; 0 when the name is not of that form.
pid_t PidInName(std::string_view name) {
    const std::string_view prefix = CPppOptionsFile::kPrefix;
    if (name.substr(0, prefix.size()) != prefix) {
        return 0;
    }
    const std::string_view rest = name.substr(prefix.size());
    const std::size_t dash = rest.find('-');
    int pid = 0;
    if (dash == std::string_view::npos || !AllDigits(rest.substr(0, dash)) || !ScanInt(rest.substr(0, dash), pid)) {
        return 0;
    }
    return static_cast<pid_t>(pid);
}

bool ProcessGone(pid_t pid) {
    return pid == ::getpid() || (::kill(pid, 0) != 0 && errno == ESRCH);
}

} // namespace

CPppOptionsFile::~CPppOptionsFile() {
    Remove();
}

bool CPppOptionsFile::Create(const std::string& dir, const std::string& text, int& err) {
    std::string path = dir + "/" + kPrefix + std::to_string(::getpid()) + "-XXXXXX";
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return false;
    }
    m_path = path;
    const bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && WriteAll(fd, text);
    err = ok ? 0 : errno;
    ::close(fd);
    if (!ok) {
        Remove();
        return false;
    }
    // Watched from now on: the next close of a read-only open is pppd's, after reading.
    m_watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (m_watch >= 0 && ::inotify_add_watch(m_watch, m_path.c_str(), IN_CLOSE_NOWRITE) < 0) {
        ::close(m_watch);
        m_watch = -1;
    }
    return true;
}

bool CPppOptionsFile::RemoveIfRead() {
    if (m_watch < 0) {
        return m_path.empty();
    }
    alignas(inotify_event) char events[4096];
    bool read = false;
    ssize_t n = 0;
    while ((n = ::read(m_watch, events, sizeof events)) > 0) {
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            read = read || (event->mask & IN_CLOSE_NOWRITE) != 0;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (read) {
        Remove();
    }
    return m_path.empty();
}

void CPppOptionsFile::Remove() {
    if (m_watch >= 0) {
        ::close(m_watch);
        m_watch = -1;
    }
    if (!m_path.empty()) {
        ::unlink(m_path.c_str());
        m_path.clear();
    }
}

std::string CPppOptionsFile::Directory(const std::string& configured) {
    if (!configured.empty()) {
        return configured;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (IsPrivateDirectory(runtime)) {
        return runtime;
    }
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

int CPppOptionsFile::RemoveStale(const std::string& dir) {
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) {
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(d)) {
        const pid_t pid = PidInName(entry->d_name);
        struct stat st {};
        if (pid <= 0 || ::fstatat(::dirfd(d), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::getuid() || !ProcessGone(pid)) {
            continue;
        }
        if (::unlinkat(::dirfd(d), entry->d_name, 0) == 0) {
            ++removed;
        }
    }
    ::closedir(d);
    return removed;
}
