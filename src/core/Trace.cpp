#include "core/Trace.h"

#include "core/Format.h"
#include "core/WriteAll.h"

#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace {
std::mutex& TraceMutex() {
    static std::mutex m;
    return m;
}
std::string& PathRef() {
    static std::string path = "Ringvale.dbg";
    return path;
}
// The trace holds callers' numbers: a new file is for its owner only, and a symlink planted in
// its place is refused rather than followed.
int OpenTrace(int flags) {
    return ::open(PathRef().c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | flags, 0600);
}
} // namespace

const std::string& Trace(const std::string& text) {
    std::string line = NowStamp();
    line += ' ';
    line += EscapeText(text);
    line += "\r\n";
    // One lock around open, write and close keeps lines from different threads whole and in
    // the order of their appends.
    std::lock_guard<std::mutex> lock(TraceMutex());
    const int fd = OpenTrace(O_APPEND);
    if (fd >= 0) {
        WriteAll(fd, line);
        ::close(fd);
    }
    return text;
}

void TruncateTrace() {
    std::lock_guard<std::mutex> lock(TraceMutex());
    const int fd = OpenTrace(O_TRUNC);
    if (fd >= 0) {
        ::close(fd);
    }
}

void SetTraceFilePath(const std::string& path) {
    std::lock_guard<std::mutex> lock(TraceMutex());
    PathRef() = path;
}

std::string TraceFilePath() {
    std::lock_guard<std::mutex> lock(TraceMutex());
    return PathRef();
}
