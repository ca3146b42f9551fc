#include "core/FileErrors.h"

#include <array>
#include <cerrno>

EFileCause FileCauseFromErrno(int err) {
    switch (err) {
    case 0:
        return EFileCause::None;
    case ENOENT:
        return EFileCause::FileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return EFileCause::BadPath;
    case EMFILE:
    case ENFILE:
        return EFileCause::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return EFileCause::AccessDenied;
    case EBADF:
        return EFileCause::InvalidFile;
    case EBUSY:
        return EFileCause::SharingViolation;
    case EWOULDBLOCK:
        return EFileCause::LockViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return EFileCause::DiskFull;
    case ESPIPE:
        return EFileCause::BadSeek;
    case EIO:
        return EFileCause::HardIO;
    default:
        return EFileCause::Generic;
    }
}

std::string FileCauseText(int cause) {
    static const std::array<const char*, 15> kTexts = {
        "No error occurred.",
        "An unspecified error occurred.",
        "The file could not be located.",
        "All or part of the path is invalid.",
        "The permitted number of open files was exceeded.",
        "The file could not be accessed.",
        "There was an attempt to use an invalid file handle.",
        "The current working directory cannot be removed.",
        "There are no more directory entries.",
        "There was an error trying to set the file pointer.",
        "There was a hardware error.",
        "SHARE.EXE was not loaded, or a shared region was locked.",
        "There was an attempt to lock a region that was already locked.",
        "The disk is full.",
        "The end of file was reached.",
    };
    if (cause < 0 || cause >= static_cast<int>(kTexts.size())) {
        return {};
    }
    return kTexts[static_cast<std::size_t>(cause)];
}
