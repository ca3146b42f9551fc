#include "dialup/PppProcesses.h"

#include "core/Format.h"
#include "core/SafeFile.h"

#include <algorithm>
#include <dirent.h>

pid_t ReadLockFilePid(const std::string& path) {
    std::string text;
    int err = 0;
    if (!ReadWholeFile(path, text, err)) {
        return 0;
    }
    const std::vector<std::string_view> lines = SplitLines(text);
    if (lines.empty()) {
        return 0;
    }
    const std::string_view first = TrimView(lines.front());
    int pid = 0;
    if (!AllDigits(first) || first.empty() || !ScanInt(first, pid) || pid <= 1) {
        return 0;
    }
    return static_cast<pid_t>(pid);
}

std::map<pid_t, std::string> LockHolders(const std::string& lockDir) {
    std::map<pid_t, std::string> holders;
    DIR* dir = ::opendir(lockDir.c_str());
    if (dir == nullptr) {
        return holders;
    }
    constexpr std::string_view kLockPrefix = "LCK..";
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() > kLockPrefix.size() && name.substr(0, kLockPrefix.size()) == kLockPrefix) {
            const pid_t pid = ReadLockFilePid(lockDir + "/" + std::string(name));
            if (pid != 0) {
                holders[pid] = "/dev/" + std::string(name.substr(kLockPrefix.size()));
            }
        }
    }
    ::closedir(dir);
    return holders;
}

std::vector<std::string> ReadProcessCmdline(const std::string& procDir, pid_t pid) {
    std::string text;
    int err = 0;
    std::vector<std::string> args;
    if (pid <= 0 || !ReadWholeFile(procDir + "/" + std::to_string(pid) + "/cmdline", text, err)) {
        return args;
    }
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\0', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        args.emplace_back(text, start, end - start);
        start = end + 1;
    }
    return args;
}

bool IsPppdCmdline(const std::vector<std::string>& cmdline) {
    if (cmdline.empty()) {
        return false;
    }
    const std::string& program = cmdline.front();
    const std::size_t slash = program.rfind('/');
    return program.compare(slash == std::string::npos ? 0 : slash + 1, std::string::npos, "pppd") == 0;
}

bool IsLivePppd(const std::string& procDir, pid_t pid) {
    return IsPppdCmdline(ReadProcessCmdline(procDir, pid));
}

std::vector<PppdProcess> ListPppdProcesses(const std::string& procDir) {
    std::vector<PppdProcess> result;
    DIR* dir = ::opendir(procDir.c_str());
    if (dir == nullptr) {
        return result;
    }
    while (const dirent* entry = ::readdir(dir)) {
        int pid = 0;
        if (!AllDigits(entry->d_name) || !ScanInt(entry->d_name, pid) || pid <= 0) {
            continue;
        }
        std::vector<std::string> cmdline = ReadProcessCmdline(procDir, pid);
        if (IsPppdCmdline(cmdline)) {
            cmdline.erase(cmdline.begin());
            result.push_back({static_cast<pid_t>(pid), std::move(cmdline)});
        }
    }
    ::closedir(dir);
    std::sort(result.begin(), result.end(), [](const PppdProcess& a, const PppdProcess& b) { return a.pid < b.pid; });
    return result;
}

std::string OptionArgument(const std::vector<std::string>& args, const std::string& option) {
    const auto it = std::find(args.begin(), args.end(), option);
    if (it == args.end() || it + 1 == args.end()) {
        return {};
    }
    return *(it + 1);
}
