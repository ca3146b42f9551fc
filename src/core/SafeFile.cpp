#include "core/SafeFile.h"

#include "core/Format.h"
#include "core/Trace.h"
#include "core/WriteAll.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::atomic<int> g_injectedSaveError{0};

constexpr int kMaxLinkHops = 40;
constexpr int kTempNameTries = 100;

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows path through every symlink to the file it names (which need not exist yet). A
// relative link is taken relative to the folder of the link.
bool ResolveLinks(const std::string& path, std::string& target, int& err) {
    target = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return true;
        }
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(target.c_str(), buf, sizeof buf - 1);
        if (n < 0) {
            err = errno;
            return false;
        }
        const std::string link(buf, static_cast<std::size_t>(n));
        target =
            link.starts_with('/') || target.find('/') == std::string::npos ? link : DirectoryOf(target) + "/" + link;
    }
    err = ELOOP;
    return false;
}

// Durable rename: the folder's entry is flushed too.
void SyncDirectory(const std::string& dir) {
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

// A new file beside target with a name no one can have planted: O_EXCL refuses any existing
// name (a file or a symlink), O_NOFOLLOW a symlink in its place.
int CreateTempFile(const std::string& target, std::string& tmp) {
    static std::atomic<unsigned> counter{0};
    std::random_device seed;
    for (int attempt = 0; attempt < kTempNameTries; ++attempt) {
        tmp = StrFormat("%s.%08x%04x.tmp", target.c_str(), seed(), counter.fetch_add(1) & 0xFFFF);
        const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

// Flushes a file to disk and closes it; written says whether all its data was written. False,
// with err set, when anything failed.
bool SyncAndClose(int fd, bool written, int& err) {
    bool ok = written && ::fsync(fd) == 0;
    int saved = errno;
    if (ok && g_injectedSaveError.load() != 0) {
        ok = false;
        saved = g_injectedSaveError.load();
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        err = saved;
    }
    return ok;
}

// The fallback for a folder that takes no new file: the existing file is overwritten from its
// start, cut to the new length and flushed. A crash in between leaves it damaged.
bool RewriteInPlace(const std::string& target, std::string_view data, int& err) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return false;
    }
    if (!SyncAndClose(fd, WriteAll(fd, data) && ::ftruncate(fd, static_cast<off_t>(data.size())) == 0, err)) {
        return false;
    }
    Trace(StrFormat("<dbg> %s was rewritten in place: its folder takes no temporary file, so this save was not "
                    "crash-safe",
                    target.c_str()));
    return true;
}

bool FolderRefusesNewFiles(int err) {
    return err == EACCES || err == EPERM || err == EROFS;
}

} // namespace

bool ReadWholeFile(const std::string& path, std::string& out, int& err, std::size_t maxBytes) {
    out.clear();
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return false;
    }
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        ::close(fd);
        err = EFBIG;
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
        if (out.size() + static_cast<std::size_t>(n) > maxBytes) { // it grew while being read
            ::close(fd);
            out.clear();
            err = EFBIG;
            return false;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

bool SaveFileAtomically(const std::string& path, std::string_view data, mode_t mode, int& err, EFileMode policy) {
    std::string target;
    if (!ResolveLinks(path, target, err)) {
        return false;
    }
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) {
        err = errno;
        return false;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    if (exists && policy == EFileMode::KeepExisting) {
        mode = st.st_mode & 07777;
    }
    const bool keepOwner = exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid());

    std::string tmp;
    const int fd = CreateTempFile(target, tmp);
    if (fd < 0) {
        err = errno;
        return exists && FolderRefusesNewFiles(err) && RewriteInPlace(target, data, err);
    }
    // The final owner and mode before any byte is written (in that order: a change of owner
    // clears the set-id bits).
    if (keepOwner && ::fchown(fd, st.st_uid, st.st_gid) != 0) {
        // Only a rewrite in place keeps another owner's file theirs.
        ::close(fd);
        ::unlink(tmp.c_str());
        return RewriteInPlace(target, data, err);
    }
    if (::fchmod(fd, mode) != 0) {
        err = errno;
        ::close(fd);
        ::unlink(tmp.c_str());
        return false;
    }
    bool ok = SyncAndClose(fd, WriteAll(fd, data), err);
    if (ok && ::rename(tmp.c_str(), target.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    SyncDirectory(DirectoryOf(target));
    return true;
}

void SetSaveFailureForTesting(int err) {
    g_injectedSaveError.store(err);
}
