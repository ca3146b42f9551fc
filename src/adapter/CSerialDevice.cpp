#include "adapter/CSerialDevice.h"

#include "core/Format.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Reads the process id from a lock file in the HDB format ("%10d\n"). Returns 0 when the file
// holds no number (then the lock is treated as stale).
int ReadLockPid(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    char buf[64] = {};
    const ssize_t n = ::read(fd, buf, sizeof(buf) - 1);
    ::close(fd);
    int pid = 0;
    if (n <= 0 || !ScanInt(std::string_view(buf, static_cast<std::size_t>(n)), pid) || pid <= 0) {
        return 0;
    }
    return pid;
}

bool ProcessAlive(int pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

SDeviceNode NodeOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

} // namespace

SDeviceNode DeviceNodeAt(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? NodeOf(st) : SDeviceNode{};
}

SDeviceNode DeviceNodeOf(int fd) {
    struct stat st {};
    return fd >= 0 && ::fstat(fd, &st) == 0 ? NodeOf(st) : SDeviceNode{};
}

SDeviceNode CSerialDevice::Node() const {
    return DeviceNodeOf(m_fd);
}

CSerialDevice::CSerialDevice(std::string lockDir) : m_lockDir(std::move(lockDir)) {}

CSerialDevice::~CSerialDevice() {
    Close();
}

std::string CSerialDevice::LockFileName(const std::string& devicePath) {
    std::string path = devicePath;
    if (char* real = ::realpath(devicePath.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    if (path.rfind("/dev/", 0) == 0) {
        path.erase(0, 5);
    } else if (const auto slash = path.rfind('/'); slash != std::string::npos) {
        path.erase(0, slash + 1);
    }
    for (char& c : path) {
        if (c == '/') {
            c = '_';
        }
    }
    return "LCK.." + path;
}

bool CSerialDevice::TakeLockFile(const std::string& path, int& err) {
    m_lockFile.clear();
    if (m_lockDir.empty() || ::access(m_lockDir.c_str(), W_OK) != 0) {
        return true; // no usable lock directory: go on without the lock file
    }
    const std::string lockPath = m_lockDir + "/" + LockFileName(path);
    // Write our pid to a private file first and link it into place, so that nobody ever reads a
    // half-written lock file and two openers cannot both win.
    const std::string tmpPath =
        StrFormat("%s/LTMP.%d.%p", m_lockDir.c_str(), static_cast<int>(::getpid()), static_cast<const void*>(this));
    const int fd = ::open(tmpPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return true; // cannot create files there after all: skip the lock file
    }
    const std::string content = StrFormat("%10d\n", static_cast<int>(::getpid()));
    const bool written = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ::close(fd);
    if (!written) {
        ::unlink(tmpPath.c_str());
        return true;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (::link(tmpPath.c_str(), lockPath.c_str()) == 0) {
            ::unlink(tmpPath.c_str());
            m_lockFile = lockPath;
            return true;
        }
        if (errno != EEXIST) {
            ::unlink(tmpPath.c_str());
            return true; // the directory refuses links: go on without the lock file
        }
        const int pid = ReadLockPid(lockPath);
        if (pid > 0 && ProcessAlive(pid)) {
            break; // held by a live process (our own included: another object holds the port)
        }
        ::unlink(lockPath.c_str()); // stale: its process is gone
    }
    ::unlink(tmpPath.c_str());
    err = EBUSY;
    return false;
}

bool CSerialDevice::Open(const std::string& path, int& err) {
    Close();
    err = 0;
    if (!TakeLockFile(path, err)) {
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        err = errno;
        ::close(fd);
    } else if (::ioctl(fd, TIOCEXCL) != 0) {
        err = errno;
        ::close(fd);
    } else {
        m_fd = fd;
        m_path = path;
        return true;
    }
    if (!m_lockFile.empty()) {
        ::unlink(m_lockFile.c_str());
        m_lockFile.clear();
    }
    return false;
}

void CSerialDevice::Close() {
    if (m_fd >= 0) {
        ::ioctl(m_fd, TIOCNXCL);
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_lockFile.empty()) {
        // Remove the lock only while it is still ours.
        if (ReadLockPid(m_lockFile) == static_cast<int>(::getpid())) {
            ::unlink(m_lockFile.c_str());
        }
        m_lockFile.clear();
    }
    m_path.clear();
}

std::string SerialPathFromPortName(const std::string& comPort) {
    if (comPort.size() > 3 && (comPort[0] == 'C' || comPort[0] == 'c') && (comPort[1] == 'O' || comPort[1] == 'o') &&
        (comPort[2] == 'M' || comPort[2] == 'm') && AllDigits(std::string_view(comPort).substr(3))) {
        int n = 0;
        if (ScanInt(std::string_view(comPort).substr(3), n) && n >= 1 && n < INT_MAX) {
            return StrFormat("/dev/ttyS%d", n - 1);
        }
    }
    return comPort;
}
