// The simulated dial-up service: its file, holding a real pseudo-terminal exclusively while
// connected, delays, forced errors, foreign connections, and the choice of service.
#include "adapter/CSerialDevice.h"
#include "core/Trace.h"
#include "dialup/CPppDialUpService.h"
#include "dialup/CSimulatedDialUpService.h"
#include "dialup/DialUpErrors.h"
#include "dialup/DialUpServiceFactory.h"
#include "dialup/SimDialUpFile.h"
#include "support/TempDir.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <pty.h>
#include <thread>
#include <unistd.h>

namespace {

using Words = std::vector<std::string>;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

struct ParseCase {
    const char* label;
    const char* text;
    Words names;        // entries read, in order
    Words foreign;      // foreign devices read
    std::size_t errors; // lines skipped
};

const ParseCase kParseCases[] = {
    {"one entry", "ISP One=/dev/ttyS1\n", {"ISP One"}, {}, 0},
    {"blank lines, comments, CR LF", "# demo\r\n\r\nA=/dev/a\r\n  # indented comment\nB=/dev/b", {"A", "B"}, {}, 0},
    {"foreign line", "foreign=/dev/ttyS0 for=1500\nA=/dev/a", {"A"}, {"/dev/ttyS0"}, 0},
    {"no '='", "just words\nA=/dev/a", {"A"}, {}, 1},
    {"no device", "A=\nB=   \nC=/dev/c", {"C"}, {}, 2},
    {"no name", "=/dev/a", {}, {}, 1},
    {"bad numbers", "A=/dev/a delay=abc\nB=/dev/b delay=-5\nC=/dev/c fail=\nD=/dev/d fail=7", {"D"}, {}, 3},
    {"unknown option", "A=/dev/a speed=3\nB=/dev/b loud\nforeign=/dev/x until=3", {}, {}, 3},
    {"file order kept", "zz=/dev/1\naa=/dev/2\nmm=/dev/3", {"zz", "aa", "mm"}, {}, 0},
};

TEST(SimDialUpFileParse, Table) {
    for (const ParseCase& c : kParseCases) {
        const SimDialUpFile file = ParseSimDialUpFile(c.text);
        Words names;
        for (const SimDialUpEntry& e : file.entries) {
            names.push_back(e.name);
        }
        Words foreign;
        for (const SimForeignConnection& f : file.foreign) {
            foreign.push_back(f.device);
        }
        EXPECT_EQ(names, c.names) << c.label;
        EXPECT_EQ(foreign, c.foreign) << c.label;
        EXPECT_EQ(file.errors.size(), c.errors) << c.label;
    }
}

TEST(SimDialUpFileParse, Options) {
    const SimDialUpFile file = ParseSimDialUpFile(" Work  = /dev/pts/3 delay=250 fail=10\n"
                                                  "Auth=/dev/x user=bob password=p=w\n"
                                                  "oops\n"
                                                  "foreign=/dev/y for=1500\n"
                                                  "foreign=/dev/z\n");
    ASSERT_EQ(file.entries.size(), 2u);
    EXPECT_EQ(file.entries[0].name, "Work");
    EXPECT_EQ(file.entries[0].device, "/dev/pts/3");
    EXPECT_EQ(file.entries[0].delayMs, 250);
    EXPECT_EQ(file.entries[0].failCode, 10);
    EXPECT_FALSE(file.entries[0].checkUser);
    EXPECT_TRUE(file.entries[1].checkUser);
    EXPECT_EQ(file.entries[1].user, "bob");
    EXPECT_TRUE(file.entries[1].checkPassword);
    EXPECT_EQ(file.entries[1].password, "p=w");
    ASSERT_EQ(file.foreign.size(), 2u);
    EXPECT_EQ(file.foreign[0].forMs, 1500);
    EXPECT_EQ(file.foreign[1].forMs, -1);
    ASSERT_EQ(file.errors.size(), 1u);
    EXPECT_EQ(file.errors[0].rfind("line 3:", 0), 0u) << file.errors[0];
}

// A pseudo-terminal whose slave stands in for the adapter's serial port.
class Pty {
public:
    Pty() {
        int slave = -1;
        if (::openpty(&m_master, &slave, nullptr, nullptr, nullptr) != 0) {
            std::abort();
        }
        m_path = ::ttyname(slave);
        ::close(slave);
    }
    ~Pty() { ::close(m_master); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    const std::string& Path() const { return m_path; }

private:
    int m_master = -1;
    std::string m_path;
};

class SimDialUpTest : public ::testing::Test {
protected:
    void SetUp() override { SetTraceFilePath(m_dir.File("Ringvale.dbg")); }
    void TearDown() override { SetTraceFilePath("Ringvale.dbg"); }

    std::string LockDir() const { return m_dir.Path(); }
    std::string FilePath() const { return m_dir.File("dialup-sim.txt"); }
    void WriteSimFile(const std::string& text) const { WriteFileText(FilePath(), text); }
    // True when someone else holds the device: a second exclusive open fails.
    bool Held(const std::string& device) const {
        CSerialDevice probe(LockDir());
        int err = 0;
        return !probe.Open(device, err);
    }
    // Waits for a condition, at most a few seconds.
    static bool WaitFor(const std::function<bool()>& done) {
        const auto until = steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (steady_clock::now() > until) {
                return false;
            }
            std::this_thread::sleep_for(milliseconds(10));
        }
        return true;
    }

    TempDir m_dir;
    Pty m_pty;
};

TEST_F(SimDialUpTest, DialHoldsTheDeviceUntilHangUp) {
    WriteSimFile("ISDN=" + m_pty.Path() + "\n");
    CSimulatedDialUpService service(FilePath(), LockDir());
    EXPECT_EQ(service.Entries(), Words{"ISDN"});
    EXPECT_EQ(service.EntryDeviceName("ISDN"), m_pty.Path());
    EXPECT_FALSE(Held(m_pty.Path()));

    DialUpHandle handle = 0;
    ASSERT_EQ(service.Dial("ISDN", "user", "pw", handle), 0);
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(service.Status(handle), EDialUpStatus::Connected);
    EXPECT_TRUE(Held(m_pty.Path()));
    const std::vector<DialUpConnectionInfo> active = service.ActiveConnections();
    ASSERT_EQ(active.size(), 1u);
    EXPECT_EQ(active[0].handle, handle);
    EXPECT_EQ(active[0].entryName, "ISDN");
    EXPECT_EQ(active[0].deviceName, m_pty.Path());

    // The device is taken, so dialling the entry again fails like pppd on a locked port.
    DialUpHandle second = 0;
    const int code = service.Dial("ISDN", "user", "pw", second);
    EXPECT_EQ(code, kPppdExitLockFailed);
    EXPECT_EQ(second, 0u);
    EXPECT_NE(service.ErrorText(code).find("could not be locked"), std::string::npos);

    service.HangUp(handle);
    EXPECT_EQ(service.Status(handle), EDialUpStatus::Disconnected);
    EXPECT_FALSE(Held(m_pty.Path()));
    EXPECT_TRUE(service.ActiveConnections().empty());
}

TEST_F(SimDialUpTest, DeviceHeldByOthersFailsTheDial) {
    WriteSimFile("ISDN=" + m_pty.Path() + "\nGone=" + m_dir.File("no-such-tty") + "\n");
    CSerialDevice adapterPort(LockDir());
    int err = 0;
    ASSERT_TRUE(adapterPort.Open(m_pty.Path(), err));
    CSimulatedDialUpService service(FilePath(), LockDir());
    DialUpHandle handle = 0;
    EXPECT_EQ(service.Dial("ISDN", "", "", handle), kPppdExitLockFailed);
    EXPECT_EQ(service.Dial("Gone", "", "", handle), kPppdExitOpenFailed);
    EXPECT_EQ(service.Dial("Unknown", "", "", handle), kDialUpErrNoEntry);
    EXPECT_EQ(handle, 0u);
}

TEST_F(SimDialUpTest, DelayAndForcedErrors) {
    WriteSimFile("Slow=" + m_pty.Path() + " delay=300\n" + //
                 "Broken=" + m_pty.Path() + " fail=10\n" + //
                 "Auth=" + m_pty.Path() + " user=bob password=s3cret\n");
    CSimulatedDialUpService service(FilePath(), LockDir());

    DialUpHandle handle = 0;
    const auto start = steady_clock::now();
    ASSERT_EQ(service.Dial("Slow", "", "", handle), 0);
    const auto took = steady_clock::now() - start;
    EXPECT_GE(took, milliseconds(300));
    EXPECT_LT(took, milliseconds(3000));
    service.HangUp(handle);

    EXPECT_EQ(service.Dial("Broken", "", "", handle), 10);
    EXPECT_EQ(handle, 0u);
    EXPECT_FALSE(Held(m_pty.Path())) << "a failed dial must not keep the device";
    EXPECT_NE(service.ErrorText(10).find("negotiation failed"), std::string::npos);

    EXPECT_EQ(service.Dial("Auth", "bob", "wrong", handle), kPppdExitAuthFailed);
    EXPECT_EQ(service.Dial("Auth", "eve", "s3cret", handle), kPppdExitAuthFailed);
    EXPECT_FALSE(Held(m_pty.Path()));
    ASSERT_EQ(service.Dial("Auth", "bob", "s3cret", handle), 0);
    EXPECT_TRUE(Held(m_pty.Path()));
}

TEST_F(SimDialUpTest, MonitorCallsAreNotBlockedByASlowDial) {
    WriteSimFile("Slow=" + m_pty.Path() + " delay=400\n");
    CSimulatedDialUpService service(FilePath(), LockDir());
    std::thread dialer([&] {
        DialUpHandle handle = 0;
        EXPECT_EQ(service.Dial("Slow", "", "", handle), 0);
    });
    // While the dial waits, other calls answer at once.
    const auto start = steady_clock::now();
    EXPECT_TRUE(service.ActiveConnections().empty());
    EXPECT_LT(steady_clock::now() - start, milliseconds(200));
    dialer.join();
    EXPECT_EQ(service.ActiveConnections().size(), 1u);
}

// A dial waiting out its delay ends at once when it is cancelled or the service goes away. A
// cancel ends that dial only.
TEST_F(SimDialUpTest, CancelOrGoingAwayEndsAWaitingDial) {
    const auto dials = [this] {
        const std::string trace = ReadFileText(m_dir.File("Ringvale.dbg"));
        int n = 0;
        for (auto at = trace.find("dialling Slow"); at != std::string::npos; at = trace.find("dialling Slow", at + 1)) {
            ++n;
        }
        return n;
    };
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "cancel" : "going away");
        WriteSimFile("Slow=" + m_pty.Path() + " delay=20000\n");
        auto service = std::make_unique<CSimulatedDialUpService>(FilePath(), LockDir());
        // The dialling thread gets the object itself, not the owning pointer that the test resets.
        CSimulatedDialUpService* const dialing = service.get();
        int code = 0;
        const int before = dials();
        std::thread dialer([&code, dialing] {
            DialUpHandle handle = 0;
            code = dialing->Dial("Slow", "", "", handle);
        });
        ASSERT_TRUE(WaitFor([&] { return dials() > before; }));
        const auto start = steady_clock::now();
        if (cancel) {
            service->CancelDial();
        } else {
            service.reset();
        }
        dialer.join();
        EXPECT_LT(steady_clock::now() - start, milliseconds(2000));
        EXPECT_EQ(code, cancel ? kDialUpErrCancelled : kDialUpErrSignalBase + SIGTERM);
        EXPECT_FALSE(Held(m_pty.Path()));
        if (cancel) {
            WriteSimFile("Slow=" + m_pty.Path() + " delay=10\n");
            DialUpHandle handle = 0;
            EXPECT_EQ(service->Dial("Slow", "", "", handle), 0);
        }
    }
}

TEST_F(SimDialUpTest, ForeignConnectionFromTheFile) {
    WriteSimFile("foreign=" + m_pty.Path() + "\n");
    {
        CSimulatedDialUpService service(FilePath(), LockDir());
        // Held from construction on, before anyone asks.
        EXPECT_TRUE(Held(m_pty.Path()));
        const std::vector<DialUpConnectionInfo> active = service.ActiveConnections();
        ASSERT_EQ(active.size(), 1u);
        EXPECT_EQ(active[0].deviceName, m_pty.Path());
        EXPECT_EQ(active[0].entryName, "");
        EXPECT_EQ(service.Status(active[0].handle), EDialUpStatus::Connected);

        // Removing the line ends it.
        WriteSimFile("# nothing\n");
        EXPECT_TRUE(service.ActiveConnections().empty());
        EXPECT_EQ(service.Status(active[0].handle), EDialUpStatus::Disconnected);
        EXPECT_FALSE(Held(m_pty.Path()));

        // And a new line starts it again.
        WriteSimFile("foreign=" + m_pty.Path() + "\n");
        EXPECT_EQ(service.ActiveConnections().size(), 1u);
        EXPECT_TRUE(Held(m_pty.Path()));
    }
    EXPECT_FALSE(Held(m_pty.Path())) << "the service releases everything when it goes away";
}

TEST_F(SimDialUpTest, ForeignConnectionWithADuration) {
    WriteSimFile("foreign=" + m_pty.Path() + " for=150\n");
    CSimulatedDialUpService service(FilePath(), LockDir());
    ASSERT_EQ(service.ActiveConnections().size(), 1u);
    EXPECT_TRUE(WaitFor([&] { return service.ActiveConnections().empty(); }));
    EXPECT_FALSE(Held(m_pty.Path()));
    // While the line stays, the ended connection does not come back.
    EXPECT_TRUE(service.ActiveConnections().empty());
    EXPECT_FALSE(Held(m_pty.Path()));
}

TEST_F(SimDialUpTest, ForeignConnectionByCall) {
    WriteSimFile("ISDN=" + m_pty.Path() + "\n");
    CSimulatedDialUpService service(FilePath(), LockDir());
    int err = 0;
    ASSERT_TRUE(service.StartForeignConnection(m_pty.Path(), err));
    EXPECT_TRUE(Held(m_pty.Path()));
    ASSERT_EQ(service.ActiveConnections().size(), 1u);
    DialUpHandle handle = 0;
    EXPECT_EQ(service.Dial("ISDN", "", "", handle), kPppdExitLockFailed);

    service.EndForeignConnection(m_pty.Path());
    EXPECT_TRUE(service.ActiveConnections().empty());
    EXPECT_FALSE(Held(m_pty.Path()));
    EXPECT_FALSE(service.StartForeignConnection(m_dir.File("no-such-tty"), err));
    EXPECT_NE(err, 0);
}

TEST_F(SimDialUpTest, FileIsReadAgainAndBadLinesAreTraced) {
    CSimulatedDialUpService service(FilePath(), LockDir());
    EXPECT_TRUE(service.Entries().empty()); // no file yet
    WriteSimFile("A=/dev/a\nbroken line\nB=/dev/b\n");
    EXPECT_EQ(service.Entries(), (Words{"A", "B"}));
    EXPECT_EQ(service.EntryDeviceName("B"), "/dev/b");
    EXPECT_EQ(service.EntryDeviceName("C"), "");
    service.Entries(); // the same broken line is reported once
    const std::string trace = ReadFileText(m_dir.File("Ringvale.dbg"));
    const std::size_t first = trace.find("line 2:");
    ASSERT_NE(first, std::string::npos) << trace;
    EXPECT_EQ(trace.find("line 2:", first + 1), std::string::npos) << trace;
}

TEST_F(SimDialUpTest, FactoryChoosesByEnvironment) {
    WriteSimFile("Demo=/dev/demo\n");
    ::setenv("RINGVALE_DIALUP_SIM_FILE", FilePath().c_str(), 1);
    ::setenv("RINGVALE_DIALUP", "sim", 1);
    const std::unique_ptr<IDialUpService> sim = CreateDialUpService();
    ASSERT_NE(dynamic_cast<CSimulatedDialUpService*>(sim.get()), nullptr);
    EXPECT_EQ(sim->Entries(), Words{"Demo"});
    for (const char* value : {"pppd", "", "bogus"}) {
        ::setenv("RINGVALE_DIALUP", value, 1);
        EXPECT_NE(dynamic_cast<CPppDialUpService*>(CreateDialUpService().get()), nullptr) << value;
    }
    ::unsetenv("RINGVALE_DIALUP");
    EXPECT_NE(dynamic_cast<CPppDialUpService*>(CreateDialUpService().get()), nullptr);
    ::unsetenv("RINGVALE_DIALUP_SIM_FILE");
    EXPECT_EQ(CSimulatedDialUpService::DefaultFilePath(), "dialup-sim.txt");
}

} // namespace
