#include "core/SafeFile.h"

#include "core/WriteAll.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::atomic<int> g_injectedSaveError{0};

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}
} // namespace

bool ReadWholeFile(const std::string& path, std::string& out, int& err) {
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        err = EISDIR;
        return false;
    }
    if (st.st_size > 0) {
        out.reserve(static_cast<std::size_t>(st.st_size));
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            err = errno;
            ::close(fd);
            return false;
        }
        if (n == 0) {
            break;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

bool SaveFileAtomically(const std::string& path, std::string_view data, mode_t mode, int& err) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        err = EISDIR;
        return false;
    }
    const std::string tmp = path + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) {
        err = errno;
        return false;
    }
    // An existing temporary file keeps its old mode through O_TRUNC; set the one we want.
    ::fchmod(
        fd, mode & ~[] {
            const mode_t m = ::umask(0);
            ::umask(m);
            return m;
        }());
    bool ok = WriteAll(fd, data) && ::fsync(fd) == 0;
    int saved = errno;
    if (ok && g_injectedSaveError.load() != 0) {
        ok = false;
        saved = g_injectedSaveError.load();
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        err = saved;
        return false;
    }
    // Make the rename itself durable.
    const int dfd = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

void SetSaveFailureForTesting(int err) {
    g_injectedSaveError.store(err);
}
