// An exclusively held serial device (a tty): the adapter's serial port, or the port a dial-up
// connection occupies.
//
// Opens a tty exclusively, the way serial tools on Linux do:
//   1. UUCP lock file <lockDir>/LCK..<name> (name: the device path below /dev with '/' turned
//      into '_', after symlinks are resolved, so "/dev/ttyUSB0" and a by-id link to it share one
//      lock). A lock whose process is alive means busy (EBUSY); a stale one is removed. When the
//      lock directory is not writable the lock file is skipped.
//   2. open(O_RDWR | O_NOCTTY | O_NONBLOCK)
//   3. flock(LOCK_EX | LOCK_NB)           (EWOULDBLOCK: another opener holds it)
//   4. ioctl(TIOCEXCL)
// We run as root in CI, and TIOCEXCL does not stop root, so flock and the lock file are what
// really keep a second opener out (also a second opener inside the same process).
#pragma once

#include <cstdint>
#include <string>

// Which device node a path or an open descriptor is: the node's file system and inode. A node
// made again for a device that came back is another node, even under the same name and number.
struct SDeviceNode {
    std::uint64_t fileSystem = 0;
    std::uint64_t inode = 0;
    bool Exists() const { return inode != 0; }
    bool operator==(const SDeviceNode&) const = default;
};

// The node `path` names now, links followed; Exists() is false when it names nothing.
SDeviceNode DeviceNodeAt(const std::string& path);
// The node an open descriptor is (none for -1).
SDeviceNode DeviceNodeOf(int fd);

class CSerialDevice {
public:
    // lockDir: where the UUCP lock files live ("/var/lock" unless a test says otherwise).
    explicit CSerialDevice(std::string lockDir = DefaultLockDir());
    ~CSerialDevice();
    CSerialDevice(const CSerialDevice&) = delete;
    CSerialDevice& operator=(const CSerialDevice&) = delete;

    // Opens and locks the device. On failure returns false, leaves nothing held and sets err to
    // the errno of the failing step (EBUSY when a live process holds the lock file).
    bool Open(const std::string& path, int& err);
    // Releases the lock file, the flock and the descriptor. Safe when nothing is open.
    void Close();
    int Fd() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    // The node held open (none when closed).
    SDeviceNode Node() const;
    // The path given to Open.
    const std::string& Path() const { return m_path; }
    // The lock file held while open ("" when none, e.g. the lock directory is not writable).
    const std::string& LockFilePath() const { return m_lockFile; }

    static std::string DefaultLockDir() { return "/var/lock"; }
    // The lock file name for a device path: "LCK..ttyS1" for "/dev/ttyS1", "LCK..pts_3" for
    // "/dev/pts/3". Symlinks are resolved first when the path exists.
    static std::string LockFileName(const std::string& devicePath);

private:
    bool TakeLockFile(const std::string& path, int& err);

    std::string m_lockDir;
    std::string m_path;
    std::string m_lockFile;
    int m_fd = -1;
};

// The ComPort setting as a device path: "COMn" (n >= 1, any letter case) is /dev/ttyS<n-1>;
// anything else (an absolute path such as /dev/ttyUSB0 or a simulator's pty link) is used as is.
std::string SerialPathFromPortName(const std::string& comPort);
