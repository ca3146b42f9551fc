// The texts that describe why a file could not be opened, by the cause of the failure.
#pragma once

#include <string>

enum class EFileCause {
    None = 0,
    Generic = 1,
    FileNotFound = 2,
    BadPath = 3,
    TooManyOpenFiles = 4,
    AccessDenied = 5,
    InvalidFile = 6,
    RemoveCurrentDir = 7,
    DirectoryFull = 8,
    BadSeek = 9,
    HardIO = 10,
    SharingViolation = 11,
    LockViolation = 12,
    DiskFull = 13,
    EndOfFile = 14,
};

// Maps an errno value to the cause it stands for.
EFileCause FileCauseFromErrno(int err);

// The fixed text for a cause; empty for a value outside the table.
std::string FileCauseText(int cause);

inline std::string FileErrorText(int err) {
    return FileCauseText(static_cast<int>(FileCauseFromErrno(err)));
}
