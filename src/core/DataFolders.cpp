#include "core/DataFolders.h"

#include "core/CSettings.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kSubfolder = "/ringvale";

bool IsAbsolute(const std::string& path) {
    return !path.empty() && path[0] == '/';
}

std::string Absolute(const std::string& path, const std::string& base) {
    return IsAbsolute(path) ? path : base + "/" + path;
}

// A base directory from its variable, or the default below the home folder.
std::string BaseDirectory(const SDataFolderInputs& in, const char* variable, const char* homeDefault) {
    const std::string value = in.env(variable);
    if (IsAbsolute(value)) {
        return value;
    }
    return in.env("HOME") + homeDefault;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

SDataFolders ChooseDataFolders(const SDataFolderInputs& in) {
    const std::string& cwd = in.workingDirectory;
    std::string one = in.dataDirOption;
    if (one.empty()) {
        one = in.env("RINGVALE_HOME");
    }
    if (!one.empty()) {
        one = Absolute(one, cwd);
        return {one, one, one};
    }
    if (Exists(cwd + "/" + CSettings::kFileName)) {
        return {cwd, cwd, cwd};
    }
    return {BaseDirectory(in, "XDG_CONFIG_HOME", "/.config") + kSubfolder,
            BaseDirectory(in, "XDG_DATA_HOME", "/.local/share") + kSubfolder,
            BaseDirectory(in, "XDG_STATE_HOME", "/.local/state") + kSubfolder};
}

SDataFolderInputs ProcessDataFolderInputs(const std::string& dataDirOption) {
    SDataFolderInputs in;
    in.dataDirOption = dataDirOption;
    in.env = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value != nullptr ? value : "");
    };
    char* cwd = ::getcwd(nullptr, 0);
    in.workingDirectory = cwd != nullptr ? cwd : ".";
    std::free(cwd);
    return in;
}

bool PrepareDataFolders(const SDataFolders& folders, std::string& problem) {
    for (const std::string* folder : {&folders.config, &folders.data, &folders.state}) {
        int err = MakeFolders(*folder);
        if (err == 0 && ::access(folder->c_str(), W_OK | X_OK) != 0) {
            err = errno;
        }
        if (err != 0) {
            problem = "Ringvale cannot keep its files in the folder " + *folder + ": " + std::strerror(err) +
                      ".\n\nChoose another folder with --data-dir or RINGVALE_HOME.";
            return false;
        }
    }
    return true;
}

int MakeFolders(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    }
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        if (const int err = MakeFolders(path.substr(0, slash)); err != 0) {
            return err;
        }
    }
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return errno;
    }
    return 0;
}

std::string PathInFolder(const std::string& folder, const std::string& name) {
    if (folder.empty() || name.empty() || IsAbsolute(name)) {
        return name;
    }
    return folder + "/" + name;
}
