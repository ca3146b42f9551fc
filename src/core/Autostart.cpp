#include "core/Autostart.h"

#include "core/DataFolders.h"
#include "core/SafeFile.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kEntryName = "/autostart/ringvale.desktop";

std::string Problem(const std::string& path, int err) {
    return "The autostart entry " + path + " could not be changed: " + std::strerror(err) + ".";
}

} // namespace

std::string AutostartEntryPath(const std::function<std::string(const char*)>& env) {
    const std::string config = env("XDG_CONFIG_HOME");
    if (!config.empty() && config[0] == '/') {
        return config + kEntryName;
    }
    const std::string home = env("HOME");
    return home.empty() ? std::string() : home + "/.config" + kEntryName;
}

std::string DesktopExecArgument(const std::string& argument) {
    const bool quote = argument.empty() || argument.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string::npos;
    std::string out;
    for (const char c : argument) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) {
            out += '\\'; // the Exec quoting rule
        }
        out += c;
        if (c == '%') {
            out += '%'; // a literal percent sign is doubled
        }
    }
    if (quote) {
        out = '"' + out + '"';
    }
    // The value of a desktop entry key is a string whose backslashes are escaped once more.
    std::string value;
    for (const char c : out) {
        value += c;
        if (c == '\\') {
            value += '\\';
        }
    }
    return value;
}

std::string AutostartEntryText(const SAutostart& autostart) {
    std::string exec = DesktopExecArgument(autostart.program);
    if (!autostart.dataDir.empty()) {
        exec += " --data-dir " + DesktopExecArgument(autostart.dataDir);
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Ringvale\n"
           "Comment=Call console for the 3Com ImpactIQ ISDN adapter\n"
           "Exec=" +
           exec +
           "\n"
           "Icon=ringvale\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool AutostartEnabled(const SAutostart& autostart) {
    struct stat st {};
    return !autostart.entryPath.empty() && ::stat(autostart.entryPath.c_str(), &st) == 0;
}

bool SetAutostartEnabled(const SAutostart& autostart, bool enabled, std::string& problem) {
    const std::string& path = autostart.entryPath;
    if (path.empty()) {
        problem = "There is no home folder for an autostart entry.";
        return false;
    }
    if (!enabled) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            problem = Problem(path, errno);
            return false;
        }
        return true;
    }
    int err = MakeFolders(path.substr(0, path.find_last_of('/')));
    if (err != 0) {
        problem = Problem(path, err);
        return false;
    }
    if (!SaveFileAtomically(path, AutostartEntryText(autostart), 0644, err)) {
        problem = Problem(path, err);
        return false;
    }
    return true;
}
