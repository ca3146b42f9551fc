// The pppd dial-up service. Against a stub pppd, what the real one cannot show on a machine
// without kernel PPP support: the options file read and removed while pppd dials, exit
// statuses, finding our own pppd by its lock and ipparam, the hang-up's signal, and pppd
// processes that someone else started. Against the real pppd, run as a user in group dip:
// every option the program gives is accepted.
#include "core/Format.h"
#include "core/Trace.h"
#include "dialup/CPppDialUpService.h"
#include "dialup/CPppOptionsFile.h"
#include "dialup/DialUpErrors.h"
#include "dialup/DialUpServiceFactory.h"
#include "dialup/PppOptions.h"
#include "support/TempDir.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using Words = std::vector<std::string>;

Words ReadLines(const std::string& path) {
    Words lines;
    std::string text = ReadFileText(path);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}

// Names unique to this test program, so that copies of it running side by side never see each
// other's fake pppd processes as their own.
std::string U(const std::string& name) {
    return name + "-" + std::to_string(::getpid());
}

bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// A process that looks like pppd in the process table (its program name is "pppd"): bash
// running a script, with extra words on its command line. It lives until it is signalled or
// its standard input is closed.
class FakePppd {
public:
    explicit FakePppd(const Words& extraArgs, bool ignoreTerm = false) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            std::abort();
        }
        m_stdin = fds[1];
        const std::string script = std::string(ignoreTerm ? "trap '' TERM; " : "") + "read -r line";
        Words args = {"pppd", "-c", script};
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
        const int err = ::posix_spawn(&m_pid, "/bin/bash", &actions, nullptr, argv.data(), environ);
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(fds[0]);
        if (err != 0) {
            std::abort();
        }
        // With the trap, wait until bash has set it up, so that the signal meets the trap
        // and not a shell still starting.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        // Also wait for the new program's command line: right after the spawn returns, the
        // kernel may still be loading it.
        while ((!ReadFileText(ProcFile("cmdline")).starts_with("pppd") || (ignoreTerm && !IgnoresTerm())) &&
               std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    ~FakePppd() {
        ::close(m_stdin);
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            Wait();
        }
    }
    FakePppd(const FakePppd&) = delete;
    FakePppd& operator=(const FakePppd&) = delete;

    pid_t Pid() const { return m_pid; }
    // Waits for the process to end and returns its wait status.
    int Wait() {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        return status;
    }

private:
    std::string ProcFile(const char* name) const { return "/proc/" + std::to_string(m_pid) + "/" + name; }
    bool IgnoresTerm() const {
        for (const std::string& line : ReadLines(ProcFile("status"))) {
            if (line.rfind("SigIgn:", 0) == 0) {
                return (std::stoull(Trim(line.substr(7)), nullptr, 16) & (1ull << (SIGTERM - 1))) != 0;
            }
        }
        return false;
    }

    pid_t m_pid = -1;
    int m_stdin = -1;
};

class PppDialUpTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetTraceFilePath(m_dir.File("Ringvale.dbg"));
        for (const char* sub : {"peers", "lock", "bin", "options", "empty", "record"}) {
            std::filesystem::create_directories(m_dir.File(sub));
        }
        WriteFileText(m_dir.File("peers/" + U("isdn")), U("ttyS1") + " 115200\nlock\n");
        WriteFileText(m_dir.File("peers/" + U("provider")), "/dev/" + U("ttyUSB0") + "\ncall isdn-extra\n");
        m_config.peersDir = m_dir.File("peers");
        m_config.lockDir = m_dir.File("lock");
        m_config.optionsDir = m_dir.File("options");
        m_config.searchDirs = {};
        WriteStub();
        m_oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
        ::setenv("PATH", (m_dir.File("bin") + ":/usr/bin:/bin").c_str(), 1);
    }
    void TearDown() override {
        ::setenv("PATH", m_oldPath.c_str(), 1);
        SetTraceFilePath("Ringvale.dbg");
    }

    // The stub records its arguments, its blocked and ignored signals and the options file
    // (mode, path, content). Like pppd it goes on dialling after it has read its options: it
    // waits (up to 5 s) for the options file to disappear and records whether it did. Then it
    // exits with the status in record/exit ("kill" kills itself, "hang" dials on and on).
    void WriteStub() {
        const std::string rec = m_dir.File("record");
        const std::string script = "#!/bin/bash\n"
                                   "R='" +
                                   rec +
                                   "'\n"
                                   "printf '%s\\n' \"$@\" > \"$R/argv\"\n"
                                   "while IFS= read -r l; do case $l in SigBlk:*|SigIgn:*) echo \"$l\";; esac; done "
                                   "< /proc/$$/status > \"$R/signals\"\n"
                                   "prev=; opt=\n"
                                   "for a in \"$@\"; do\n"
                                   "  if [ \"$prev\" = file ]; then opt=$a; stat -c %a \"$a\" > \"$R/mode\"; "
                                   "echo \"$a\" > \"$R/optpath\"; cp \"$a\" \"$R/options\"; fi\n"
                                   "  prev=$a\n"
                                   "done\n"
                                   "echo 'Serial connection established.'\n"
                                   "echo 'stub complaint' >&2\n"
                                   "if [ -n \"$opt\" ]; then\n"
                                   "  for i in $(seq 100); do [ -e \"$opt\" ] || break; sleep 0.05; done\n"
                                   "  if [ -e \"$opt\" ]; then echo kept; else echo removed; fi > \"$R/optstate\"\n"
                                   "fi\n"
                                   "code=$(cat \"$R/exit\" 2>/dev/null || echo 0)\n"
                                   "if [ \"$code\" = kill ]; then kill -KILL $$; fi\n"
                                   "if [ \"$code\" = hang ]; then exec sleep 30; fi\n"
                                   "exit \"$code\"\n";
        WriteFileText(m_dir.File("bin/pppd"), script);
        ::chmod(m_dir.File("bin/pppd").c_str(), 0755);
    }
    void SetExit(const std::string& code) { WriteFileText(m_dir.File("record/exit"), code); }
    // The UUCP lock of a tty, as pppd's "lock" writes it.
    void HoldLock(const std::string& tty, pid_t pid) {
        WriteFileText(m_dir.File("lock/LCK.." + tty), StrFormat("%10d\n", static_cast<int>(pid)));
    }
    Words RecordedArgs() const { return ReadLines(m_dir.File("record/argv")); }
    // The command line of our own pppd daemon for an entry.
    static Words Own(const std::string& entry) { return {"call", entry, "ipparam", "ringvale-" + entry}; }

    TempDir m_dir;
    PppDialUpConfig m_config;
    std::string m_oldPath;
};

TEST_F(PppDialUpTest, OptionsFileIsRemovedOncePppdHasReadIt) {
    CPppDialUpService service(m_config);
    EXPECT_EQ(service.FindPppd(), m_dir.File("bin/pppd"));
    DialUpHandle handle = 0;
    ASSERT_EQ(service.Dial(U("isdn"), "alice", "s3cr\"et \\pw", handle), 0);

    const std::string optionsPath = Trim(ReadFileText(m_dir.File("record/optpath")));
    EXPECT_EQ(optionsPath.rfind(m_dir.File("options") + "/ringvale-ppp-" + std::to_string(::getpid()) + "-", 0), 0u)
        << optionsPath;
    EXPECT_EQ(ReadFileText(m_dir.File("record/options")), "user \"alice\"\npassword \"s3cr\\\"et \\\\pw\"\n");
    EXPECT_EQ(Trim(ReadFileText(m_dir.File("record/mode"))), "600");
    EXPECT_EQ(Trim(ReadFileText(m_dir.File("record/optstate"))), "removed")
        << "the options file must go as soon as pppd has read it, while it still dials";
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.File("options")));
    for (const std::string& arg : RecordedArgs()) {
        EXPECT_EQ(arg.find("s3cr"), std::string::npos) << "password on the command line: " << arg;
    }

    // pppd's output and the command line end up in the trace; the password does not.
    const std::string trace = ReadFileText(m_dir.File("Ringvale.dbg"));
    EXPECT_NE(trace.find("<dbg> pppd: Serial connection established."), std::string::npos) << trace;
    EXPECT_NE(trace.find("<dbg> pppd: stub complaint"), std::string::npos);
    EXPECT_NE(trace.find("call " + U("isdn")), std::string::npos);
    EXPECT_EQ(trace.find("s3cr"), std::string::npos);

    // Without user name and password there is no options file.
    std::filesystem::remove(m_dir.File("record/optpath"));
    ASSERT_EQ(service.Dial(U("isdn"), "", "", handle), 0);
    const Words args = RecordedArgs();
    EXPECT_EQ(std::count(args.begin(), args.end(), "file"), 0);
    EXPECT_FALSE(Exists(m_dir.File("record/optpath")));
}

TEST_F(PppDialUpTest, StaleOptionsFilesAreRemovedAtStartUp) {
    // The runtime directory the program's start-up uses; the temporary directory only when it
    // is not the user's alone.
    const std::string runtime = m_dir.File("options");
    ::chmod(runtime.c_str(), 0700);
    const std::string oldRuntime = std::getenv("XDG_RUNTIME_DIR") != nullptr ? std::getenv("XDG_RUNTIME_DIR") : "";
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::unsetenv("RINGVALE_DIALUP");
    EXPECT_EQ(CPppOptionsFile::Directory(""), runtime);
    ::chmod(runtime.c_str(), 0755);
    ::setenv("TMPDIR", m_dir.File("empty").c_str(), 1);
    EXPECT_EQ(CPppOptionsFile::Directory(""), m_dir.File("empty"));
    ::unsetenv("TMPDIR");
    ::chmod(runtime.c_str(), 0700);

    pid_t ended = 0;
    {
        FakePppd gone({});
        ended = gone.Pid();
    }
    const FakePppd running({});
    const std::string prefix = runtime + "/ringvale-ppp-";
    const std::vector<std::pair<std::string, bool>> files = {
        {prefix + std::to_string(ended) + "-abc123", false},        // its program crashed
        {prefix + std::to_string(::getpid()) + "-def456", false},   // an earlier run with our pid
        {prefix + std::to_string(running.Pid()) + "-ghi789", true}, // a running copy's dial
        {runtime + "/ringvale-ppp-notes", true},                    // not one of ours
        {runtime + "/other", true},
    };
    for (const auto& [path, kept] : files) {
        WriteFileText(path, "password \"x\"\n");
    }
    const auto service = CreateDialUpService();
    for (const auto& [path, kept] : files) {
        EXPECT_EQ(Exists(path), kept) << path;
    }
    ::setenv("XDG_RUNTIME_DIR", oldRuntime.c_str(), 1);
}

TEST_F(PppDialUpTest, BlockedSignalsDoNotReachPppd) {
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    sigaddset(&block, SIGHUP);
    sigset_t old;
    ::pthread_sigmask(SIG_BLOCK, &block, &old);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction oldTerm {};
    ::sigaction(SIGTERM, &ignore, &oldTerm);

    CPppDialUpService service(m_config);
    DialUpHandle handle = 0;
    const int code = service.Dial(U("isdn"), "bob", "pw", handle);

    ::sigaction(SIGTERM, &oldTerm, nullptr);
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    ASSERT_EQ(code, 0);
    const Words signals = ReadLines(m_dir.File("record/signals"));
    ASSERT_EQ(signals.size(), 2u);
    for (const std::string& line : signals) {
        // Bit 15 (SIGTERM) and bit 1 (SIGHUP) must be clear in both masks.
        const unsigned long long mask = std::stoull(Trim(line.substr(line.find(':') + 1)), nullptr, 16);
        EXPECT_EQ(mask & ((1ull << (SIGTERM - 1)) | (1ull << (SIGHUP - 1))), 0u) << line;
    }
}

TEST_F(PppDialUpTest, ExitStatusIsTheErrorCode) {
    const struct {
        const char* exit;
        int code;
        const char* text;
    } rows[] = {
        {"6", 6, "could not be locked"},
        {"10", 10, "negotiation failed"},
        {"19", 19, "failed to authenticate ourselves"},
        {"42", 42, "exit status 42"},
        {"kill", kDialUpErrSignalBase + SIGKILL, "killed by signal 9"},
    };
    CPppDialUpService service(m_config);
    for (const auto& row : rows) {
        SetExit(row.exit);
        DialUpHandle handle = 77;
        const int code = service.Dial(U("isdn"), "u", "secret", handle);
        EXPECT_EQ(code, row.code) << row.exit;
        EXPECT_EQ(handle, 0u) << row.exit;
        EXPECT_NE(service.ErrorText(code).find(row.text), std::string::npos) << service.ErrorText(code);
        EXPECT_TRUE(std::filesystem::is_empty(m_dir.File("options"))) << "options file left behind: " << row.exit;
    }
}

// A dial that goes on (a peers file with persist, say) ends at once when it is cancelled; the
// next dial is not affected.
TEST_F(PppDialUpTest, CancelStopsADialThatGoesOn) {
    SetExit("hang");
    CPppDialUpService service(m_config);
    int code = 0;
    std::thread dialer([&] {
        DialUpHandle handle = 0;
        code = service.Dial(U("isdn"), "u", "p", handle);
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Exists(m_dir.File("record/optstate")) && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const auto cancelled = std::chrono::steady_clock::now();
    service.CancelDial();
    dialer.join();
    EXPECT_EQ(code, kDialUpErrCancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::seconds(5));
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.File("options")));

    SetExit("0");
    DialUpHandle handle = 0;
    EXPECT_EQ(service.Dial(U("isdn"), "", "", handle), 0);
}

TEST_F(PppDialUpTest, MissingPppdOrEntry) {
    ::setenv("PATH", m_dir.File("empty").c_str(), 1);
    CPppDialUpService service(m_config);
    EXPECT_EQ(service.FindPppd(), "");
    DialUpHandle handle = 5;
    int code = service.Dial(U("isdn"), "u", "p", handle);
    EXPECT_EQ(code, kDialUpErrNoPppd);
    EXPECT_EQ(handle, 0u);
    EXPECT_NE(service.ErrorText(code).find("pppd is not installed"), std::string::npos);

    // Found in one of the extra directories when the PATH lacks it (the sbin case).
    m_config.searchDirs = {m_dir.File("empty"), m_dir.File("bin")};
    EXPECT_EQ(CPppDialUpService(m_config).FindPppd(), m_dir.File("bin/pppd"));

    // A configured program that is not executable counts as missing.
    m_config.pppdPath = m_dir.File("peers/" + U("isdn"));
    EXPECT_EQ(CPppDialUpService(m_config).Dial(U("isdn"), "", "", handle), kDialUpErrNoPppd);

    // An unknown entry fails before pppd runs.
    ::setenv("PATH", m_dir.File("bin").c_str(), 1);
    m_config.pppdPath.clear();
    CPppDialUpService withPppd(m_config);
    for (const char* entry : {"nope", "../peers/isdn", ""}) {
        EXPECT_EQ(withPppd.Dial(entry, "u", "p", handle), kDialUpErrNoEntry) << entry;
    }
    EXPECT_FALSE(Exists(m_dir.File("record/argv")));
}

TEST_F(PppDialUpTest, EntriesAndDevices) {
    std::filesystem::create_directories(m_dir.File("peers/subdir"));
    for (const char* name : {".hidden", "backup~", "isdn.dpkg-old", "Zeta", "alpha"}) {
        WriteFileText(m_dir.File(std::string("peers/") + name), "ttyS9\n");
    }
    CPppDialUpService service(m_config);
    EXPECT_EQ(service.Entries(), (Words{"Zeta", "alpha", U("isdn"), U("provider")}));
    EXPECT_EQ(service.EntryDeviceName(U("isdn")), "/dev/" + U("ttyS1"));
    EXPECT_EQ(service.EntryDeviceName(U("provider")), "/dev/" + U("ttyUSB0"));
    EXPECT_EQ(service.EntryDeviceName("missing"), "");
    EXPECT_EQ(service.EntryDeviceName("subdir"), "");

    m_config.peersDir = m_dir.File("no-such-dir");
    EXPECT_TRUE(CPppDialUpService(m_config).Entries().empty());
}

TEST_F(PppDialUpTest, HangUpSignalsOnlyTheOwnPppd) {
    // Who runs once pppd has reported the link up: our daemon (with or without the lock of
    // the entry's tty), someone else's pppd holding that lock, or a stale lock whose pid now
    // belongs to a program that is not pppd.
    enum class EHolder { OwnWithLock, OwnWithoutLock, Foreign, NotPppd };
    const struct {
        const char* label;
        EHolder holder;
    } rows[] = {
        {"own pppd holds the lock", EHolder::OwnWithLock},
        {"own pppd, no lock file", EHolder::OwnWithoutLock},
        {"another's pppd holds the lock", EHolder::Foreign},
        {"stale lock", EHolder::NotPppd},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        const bool own = row.holder == EHolder::OwnWithLock || row.holder == EHolder::OwnWithoutLock;
        FakePppd daemon(own ? Own(U("isdn")) : Words{"/dev/" + U("ttyS1"), "115200"});
        std::filesystem::remove(m_dir.File("lock/LCK.." + U("ttyS1")));
        if (row.holder == EHolder::OwnWithLock || row.holder == EHolder::Foreign) {
            HoldLock(U("ttyS1"), daemon.Pid());
        } else if (row.holder == EHolder::NotPppd) {
            HoldLock(U("ttyS1"), ::getpid());
        }
        CPppDialUpService service(m_config);
        DialUpHandle handle = 0;
        ASSERT_EQ(service.Dial(U("isdn"), "u", "p", handle), 0);
        EXPECT_NE(handle, 0u);
        EXPECT_EQ(service.Status(handle), own ? EDialUpStatus::Connected : EDialUpStatus::Disconnected);

        service.HangUp(handle);
        const std::string sent = "sent SIGTERM to pppd " + std::to_string(daemon.Pid());
        EXPECT_EQ(ReadFileText(m_dir.File("Ringvale.dbg")).find(sent) != std::string::npos, own);
        if (own) {
            const int status = daemon.Wait();
            ASSERT_TRUE(WIFSIGNALED(status));
            EXPECT_EQ(WTERMSIG(status), SIGTERM);
            EXPECT_EQ(service.Status(handle), EDialUpStatus::Disconnected);
            service.HangUp(handle); // a second hang-up of a gone connection is harmless
        }
    }
}

TEST_F(PppDialUpTest, PendingWhilePppdIsStillEnding) {
    FakePppd daemon(Own(U("isdn")), /*ignoreTerm=*/true);
    HoldLock(U("ttyS1"), daemon.Pid());
    CPppDialUpService service(m_config);
    DialUpHandle handle = 0;
    ASSERT_EQ(service.Dial(U("isdn"), "u", "p", handle), 0);
    service.HangUp(handle);
    EXPECT_EQ(service.Status(handle), EDialUpStatus::Pending);
    // A wait for the end sleeps on a descriptor that wakes it when pppd is gone.
    const int ended = service.EndFd(handle);
    ASSERT_GE(ended, 0);
    pollfd end{ended, POLLIN, 0};
    EXPECT_EQ(::poll(&end, 1, 0), 0);
    ::kill(daemon.Pid(), SIGKILL);
    EXPECT_EQ(::poll(&end, 1, 5000), 1);
    daemon.Wait();
    EXPECT_EQ(service.Status(handle), EDialUpStatus::Disconnected);
}

TEST_F(PppDialUpTest, ActiveConnectionsOwnAndForeign) {
    WriteFileText(m_dir.File("peers/isdn-extra"), "noauth\n");
    FakePppd own(Own(U("isdn")));
    HoldLock(U("ttyS1"), own.Pid());
    FakePppd foreignTty({"/dev/" + U("ttyRV9"), "115200", "logfile", "/dev/null"});
    FakePppd foreignCall({"call", U("provider"), "nodetach"});
    // A tty that only the lock names (e.g. from the system's options file).
    FakePppd foreignLock({"nodetach"});
    HoldLock(U("ttyACM7"), foreignLock.Pid());
    // Ours without a lock file (e.g. the lock directory was not writable).
    Words alphaArgs = Own(U("alpha"));
    alphaArgs.push_back("/dev/" + U("ttyS4"));
    FakePppd ownWithoutLock(alphaArgs);

    CPppDialUpService service(m_config);
    const auto find = [](const std::vector<DialUpConnectionInfo>& list, const std::string& device) {
        for (const DialUpConnectionInfo& c : list) {
            if (c.deviceName == device) {
                return c;
            }
        }
        return DialUpConnectionInfo{};
    };
    const std::vector<DialUpConnectionInfo> first = service.ActiveConnections();
    const DialUpConnectionInfo isdn = find(first, "/dev/" + U("ttyS1"));
    EXPECT_EQ(isdn.entryName, U("isdn"));
    const DialUpConnectionInfo tty = find(first, "/dev/" + U("ttyRV9"));
    EXPECT_EQ(tty.entryName, "");
    const DialUpConnectionInfo call = find(first, "/dev/" + U("ttyUSB0"));
    EXPECT_EQ(call.entryName, U("provider"));
    const DialUpConnectionInfo locked = find(first, "/dev/" + U("ttyACM7"));
    const DialUpConnectionInfo alpha = find(first, "/dev/" + U("ttyS4"));
    EXPECT_EQ(alpha.entryName, U("alpha"));
    for (const auto& c : {isdn, tty, call, locked, alpha}) {
        EXPECT_NE(c.handle, 0u) << c.deviceName;
        EXPECT_EQ(service.Status(c.handle), EDialUpStatus::Connected) << c.deviceName;
    }
    EXPECT_NE(isdn.handle, tty.handle);
    EXPECT_NE(tty.handle, call.handle);

    // The same processes keep their handles.
    const std::vector<DialUpConnectionInfo> second = service.ActiveConnections();
    EXPECT_EQ(find(second, "/dev/" + U("ttyRV9")).handle, tty.handle);
    EXPECT_EQ(find(second, "/dev/" + U("ttyS1")).handle, isdn.handle);

    // A foreign connection that ends disappears from the list.
    ::kill(foreignTty.Pid(), SIGTERM);
    foreignTty.Wait();
    EXPECT_EQ(find(service.ActiveConnections(), "/dev/" + U("ttyRV9")).handle, 0u);
    EXPECT_EQ(service.Status(tty.handle), EDialUpStatus::Disconnected);
}

// The real pppd, started as a normal user's copy of the program starts it: by a user in group
// dip, the group Debian's setuid pppd admits. The entry's device is a pseudo-terminal; without
// kernel PPP support (/dev/ppp) pppd stops right after it has read its options, which is far
// enough to show that it accepts every option the program gives it.
TEST(RealPppd, AcceptsTheDialOptionsOfAUserInGroupDip) {
    constexpr const char* kPppd = "/usr/sbin/pppd";
    if (::geteuid() != 0) {
        GTEST_SKIP() << "runs only as root: it writes a peers file to /etc/ppp/peers and dials as the user "
                        "nobody in group dip";
    }
    const passwd* nobody = ::getpwnam("nobody");
    const group* dip = ::getgrnam("dip");
    if (::access(kPppd, X_OK) != 0 || nobody == nullptr || dip == nullptr) {
        GTEST_SKIP() << "needs " << kPppd << " (package ppp), the user nobody and the group dip";
    }
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    const gid_t dipGid = dip->gr_gid;

    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const std::string tty = ::ttyname(slave);
    const std::string entry = U("rvtest");
    const std::string peers = "/etc/ppp/peers/" + entry;
    // Where the kernel has PPP, the dial fails soon: nobody answers on the pseudo-terminal.
    WriteFileText(peers, tty + "\n115200\nnoauth\nlcp-max-configure 1\nlcp-restart 1\n");
    struct Cleanup {
        std::string peers;
        int fds[2];
        ~Cleanup() {
            ::unlink(peers.c_str());
            ::close(fds[0]);
            ::close(fds[1]);
        }
    } cleanup{peers, {master, slave}};

    // The user's own runtime directory, and a folder for the trace.
    TempDir dir;
    const std::string runtime = dir.File("run");
    std::filesystem::create_directory(runtime);
    for (const std::string& path : {dir.Path(), runtime}) {
        ASSERT_EQ(::chown(path.c_str(), uid, gid), 0);
        ASSERT_EQ(::chmod(path.c_str(), 0700), 0);
    }

    int result[2];
    ASSERT_EQ(::pipe(result), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(result[0]);
        int code = -1;
        if (::setgroups(1, &dipGid) == 0 && ::setgid(gid) == 0 && ::setuid(uid) == 0) {
            ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
            SetTraceFilePath(dir.File("Ringvale.dbg"));
            CPppDialUpService service;
            DialUpHandle handle = 0;
            code = service.Dial(entry, "ann", "pass word", handle);
        }
        const bool sent = ::write(result[1], &code, sizeof code) == static_cast<ssize_t>(sizeof code);
        ::_exit(sent ? 0 : 1);
    }
    ::close(result[1]);
    int code = -1;
    const bool received = ::read(result[0], &code, sizeof code) == static_cast<ssize_t>(sizeof code);
    ::close(result[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(received) << "the dialing child ended without a result";

    const std::string trace = ReadFileText(dir.File("Ringvale.dbg"));
    EXPECT_NE(code, 2) << "pppd refused an option: " << trace;
    if (::access("/dev/ppp", F_OK) != 0) {
        EXPECT_EQ(code, 4) << DialUpErrorText(code) << "\n" << trace;
    }
    EXPECT_NE(trace.find("ipparam ringvale-" + entry), std::string::npos) << trace;
    EXPECT_NE(trace.find(" file " + runtime + "/ringvale-ppp-"), std::string::npos) << trace;
    EXPECT_TRUE(std::filesystem::is_empty(runtime)) << "the options file was left behind";
}

TEST(PppDialUpOptionsText, ReadsBackExactly) {
    // Every user name and password must reach pppd unchanged, however odd its characters.
    const char* values[] = {"plain",     "with space", "quote\"inside", "back\\slash", "hash#mark",
                            "tab\there", "new\nline",  "'single'",      "trailing\\"};
    for (const char* value : values) {
        const std::string text = CPppDialUpService::OptionsFileText(value, value);
        EXPECT_EQ(SplitPppOptionWords(text), (Words{"user", value, "password", value})) << value;
    }
    EXPECT_EQ(CPppDialUpService::OptionsFileText("", ""), "");
    EXPECT_EQ(CPppDialUpService::OptionsFileText("", "pw"), "password \"pw\"\n");
    EXPECT_EQ(CPppDialUpService::OptionsFileText("me", ""), "user \"me\"\n");
}

} // namespace
