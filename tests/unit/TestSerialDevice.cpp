// Exclusive serial device opening: port names, UUCP lock files, flock between openers.
#include "adapter/CSerialDevice.h"
#include "core/Format.h"
#include "support/PtyScriptedPeer.h"
#include "support/TempDir.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(SerialPathFromPortName, Table) {
    const struct {
        const char* in;
        const char* out;
    } rows[] = {
        {"COM1", "/dev/ttyS0"},
        {"COM2", "/dev/ttyS1"},
        {"com8", "/dev/ttyS7"},
        {"COM10", "/dev/ttyS9"},
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"/tmp/x/ttyRV", "/tmp/x/ttyRV"},
        {"COM0", "COM0"}, // no such port: used as given, the open fails
        {"COM", "COM"},
        {"COMx", "COMx"},
        {"COM-1", "COM-1"},
        {"", ""},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(SerialPathFromPortName(r.in), r.out) << r.in;
    }
}

TEST(SerialDevice, LockFileNames) {
    EXPECT_EQ(CSerialDevice::LockFileName("/dev/ttyS1"), "LCK..ttyS1");
    EXPECT_EQ(CSerialDevice::LockFileName("/dev/ttyUSB0"), "LCK..ttyUSB0");
    TempDir dir;
    auto peer = CScriptedPeer::OnPty(dir.File("ttyRV"), nullptr);
    ASSERT_TRUE(peer->Valid());
    // A link resolves to the device it names, so every path to one port shares one lock.
    const std::string viaLink = CSerialDevice::LockFileName(dir.File("ttyRV"));
    EXPECT_EQ(viaLink, CSerialDevice::LockFileName(peer->SlavePath()));
    EXPECT_EQ(viaLink.find('/'), std::string::npos) << viaLink;
}

class SerialLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_peer = CScriptedPeer::OnPty(m_dir.File("ttyRV"), nullptr);
        ASSERT_TRUE(m_peer->Valid());
        ASSERT_EQ(::mkdir(m_locks.c_str(), 0755), 0);
    }
    std::string LockPath() const { return m_locks + "/" + CSerialDevice::LockFileName(m_peer->SlavePath()); }

    TempDir m_dir;
    std::string m_locks = m_dir.File("lock");
    std::unique_ptr<CScriptedPeer> m_peer;
};

TEST_F(SerialLockTest, SecondOpenerIsRefusedUntilTheFirstCloses) {
    CSerialDevice first(m_locks);
    CSerialDevice second(m_locks);
    int err = 0;
    ASSERT_TRUE(first.Open(m_dir.File("ttyRV"), err)) << err;
    EXPECT_GE(first.Fd(), 0);
    EXPECT_EQ(first.LockFilePath(), LockPath());
    EXPECT_EQ(ReadFileText(LockPath()), StrFormat("%10d\n", static_cast<int>(::getpid())));

    // The same device under its other name is the same port.
    EXPECT_FALSE(second.Open(m_peer->SlavePath(), err));
    EXPECT_EQ(err, EBUSY);
    EXPECT_FALSE(second.IsOpen());

    first.Close();
    EXPECT_FALSE(first.IsOpen());
    EXPECT_NE(::access(LockPath().c_str(), F_OK), 0) << "lock file left behind";
    EXPECT_TRUE(second.Open(m_peer->SlavePath(), err)) << err;
}

TEST_F(SerialLockTest, FlockKeepsOutAnOpenerThatHasNoLockDirectory) {
    CSerialDevice first(m_locks);
    CSerialDevice noLocks("/proc"); // not writable: the lock file step is skipped
    int err = 0;
    ASSERT_TRUE(first.Open(m_dir.File("ttyRV"), err));
    EXPECT_FALSE(noLocks.Open(m_dir.File("ttyRV"), err));
    EXPECT_EQ(err, EWOULDBLOCK);
    first.Close();
    EXPECT_TRUE(noLocks.Open(m_dir.File("ttyRV"), err)) << err;
    EXPECT_EQ(noLocks.LockFilePath(), "");
}

TEST_F(SerialLockTest, StaleLockOfADeadProcessIsRemoved) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    WriteFileText(LockPath(), StrFormat("%10d\n", static_cast<int>(child)));

    CSerialDevice dev(m_locks);
    int err = 0;
    ASSERT_TRUE(dev.Open(m_dir.File("ttyRV"), err)) << err;
    EXPECT_EQ(ReadFileText(LockPath()), StrFormat("%10d\n", static_cast<int>(::getpid())));
}

TEST_F(SerialLockTest, LockOfALiveProcessMeansBusyAndIsKept) {
    const std::string foreign = StrFormat("%10d\n", 1); // init is always alive
    WriteFileText(LockPath(), foreign);
    CSerialDevice dev(m_locks);
    int err = 0;
    EXPECT_FALSE(dev.Open(m_dir.File("ttyRV"), err));
    EXPECT_EQ(err, EBUSY);
    dev.Close();
    EXPECT_EQ(ReadFileText(LockPath()), foreign) << "someone else's lock must survive";
}

TEST_F(SerialLockTest, MissingDeviceFailsWithItsErrnoAndLeavesNoLock) {
    CSerialDevice dev(m_locks);
    int err = 0;
    EXPECT_FALSE(dev.Open(m_dir.File("nothing-here"), err));
    EXPECT_EQ(err, ENOENT);
    EXPECT_NE(::access((m_locks + "/LCK..nothing-here").c_str(), F_OK), 0);
}

} // namespace
