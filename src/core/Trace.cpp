#include "core/Trace.h"

#include "core/Format.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex& TraceMutex() {
    static std::mutex m;
    return m;
}
std::string& PathRef() {
    static std::string path = "Ringvale.dbg";
    return path;
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
    if (std::FILE* f = std::fopen(PathRef().c_str(), "ab")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fclose(f);
    }
    return text;
}

void TruncateTrace() {
    std::lock_guard<std::mutex> lock(TraceMutex());
    if (std::FILE* f = std::fopen(PathRef().c_str(), "wb")) {
        std::fclose(f);
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
