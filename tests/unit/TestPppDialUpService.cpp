// The pppd dial-up service against a stub pppd: the command line and the options file, exit
// statuses, pid files, the hang-up's signal, and pppd processes that someone else started.
#include "core/Format.h"
#include "core/Trace.h"
#include "dialup/CPppDialUpService.h"
#include "dialup/DialUpErrors.h"
#include "dialup/PppOptions.h"
#include "support/TempDir.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
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
        for (const char* sub : {"peers", "run", "bin", "tmp", "empty", "record"}) {
            std::filesystem::create_directories(m_dir.File(sub));
        }
        WriteFileText(m_dir.File("peers/" + U("isdn")), U("ttyS1") + " 115200\nlock\n");
        WriteFileText(m_dir.File("peers/" + U("provider")), "/dev/" + U("ttyUSB0") + "\ncall isdn-extra\n");
        m_config.peersDir = m_dir.File("peers");
        m_config.runDir = m_dir.File("run");
        m_config.tempDir = m_dir.File("tmp");
        m_config.searchDirs = {};
        WriteStub();
        m_oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
        ::setenv("PATH", (m_dir.File("bin") + ":/usr/bin:/bin").c_str(), 1);
    }
    void TearDown() override {
        ::setenv("PATH", m_oldPath.c_str(), 1);
        SetTraceFilePath("Ringvale.dbg");
    }

    // The stub records its arguments, the options file (content, mode, path), its blocked and
    // ignored signals and exits with the status in record/exit ("kill" kills itself). On
    // success it writes record/daemon-pid into the link's pid file, as pppd would write its
    // daemon's pid.
    void WriteStub() {
        const std::string rec = m_dir.File("record");
        const std::string script = "#!/bin/bash\n"
                                   "R='" +
                                   rec +
                                   "'\n"
                                   "printf '%s\\n' \"$@\" > \"$R/argv\"\n"
                                   "while IFS= read -r l; do case $l in SigBlk:*|SigIgn:*) echo \"$l\";; esac; done "
                                   "< /proc/$$/status > \"$R/signals\"\n"
                                   "prev=; link=\n"
                                   "for a in \"$@\"; do\n"
                                   "  if [ \"$prev\" = file ]; then cp \"$a\" \"$R/options\"; "
                                   "stat -c %a \"$a\" > \"$R/mode\"; echo \"$a\" > \"$R/optpath\"; fi\n"
                                   "  if [ \"$prev\" = linkname ]; then link=$a; fi\n"
                                   "  prev=$a\n"
                                   "done\n"
                                   "echo 'Serial connection established.'\n"
                                   "echo 'stub complaint' >&2\n"
                                   "code=$(cat \"$R/exit\" 2>/dev/null || echo 0)\n"
                                   "if [ \"$code\" = kill ]; then kill -KILL $$; fi\n"
                                   "if [ \"$code\" = 0 ] && [ -f \"$R/daemon-pid\" ]; then\n"
                                   "  { cat \"$R/daemon-pid\"; echo ppp0; } > '" +
                                   m_dir.File("run") +
                                   "/ppp-'\"$link\"'.pid'\n"
                                   "fi\n"
                                   "exit \"$code\"\n";
        WriteFileText(m_dir.File("bin/pppd"), script);
        ::chmod(m_dir.File("bin/pppd").c_str(), 0755);
    }
    void SetExit(const std::string& code) { WriteFileText(m_dir.File("record/exit"), code); }
    void SetDaemon(pid_t pid) { WriteFileText(m_dir.File("record/daemon-pid"), std::to_string(pid) + "\n"); }
    Words RecordedArgs() const { return ReadLines(m_dir.File("record/argv")); }

    TempDir m_dir;
    PppDialUpConfig m_config;
    std::string m_oldPath;
};

TEST_F(PppDialUpTest, CommandLineAndOptionsFile) {
    FakePppd daemon({});
    SetDaemon(daemon.Pid());
    CPppDialUpService service(m_config);
    EXPECT_EQ(service.FindPppd(), m_dir.File("bin/pppd"));

    DialUpHandle handle = 0;
    ASSERT_EQ(service.Dial(U("isdn"), "alice", "s3cr\"et \\pw", handle), 0);
    EXPECT_NE(handle, 0u);

    const std::string optionsPath = Trim(ReadFileText(m_dir.File("record/optpath")));
    EXPECT_EQ(RecordedArgs(),
              (Words{"call", U("isdn"), "file", optionsPath, "updetach", "lock", "linkname", "ringvale-" + U("isdn")}));
    EXPECT_EQ(optionsPath.rfind(m_dir.File("tmp") + "/ringvale-ppp-", 0), 0u) << optionsPath;
    EXPECT_EQ(ReadFileText(m_dir.File("record/options")), "user \"alice\"\npassword \"s3cr\\\"et \\\\pw\"\n");
    EXPECT_EQ(Trim(ReadFileText(m_dir.File("record/mode"))), "600");
    EXPECT_FALSE(Exists(optionsPath)) << "the options file must be removed after the dial";
    for (const std::string& arg : RecordedArgs()) {
        EXPECT_EQ(arg.find("s3cr"), std::string::npos) << "password on the command line: " << arg;
    }
    EXPECT_EQ(service.Status(handle), EDialUpStatus::Connected);

    // pppd's output and the command line end up in the trace; the password does not.
    const std::string trace = ReadFileText(m_dir.File("Ringvale.dbg"));
    EXPECT_NE(trace.find("<dbg> pppd: Serial connection established."), std::string::npos) << trace;
    EXPECT_NE(trace.find("<dbg> pppd: stub complaint"), std::string::npos);
    EXPECT_NE(trace.find("call isdn"), std::string::npos);
    EXPECT_EQ(trace.find("s3cr"), std::string::npos);
}

TEST_F(PppDialUpTest, NoOptionsFileWithoutCredentials) {
    CPppDialUpService service(m_config);
    DialUpHandle handle = 0;
    ASSERT_EQ(service.Dial(U("isdn"), "", "", handle), 0);
    EXPECT_EQ(RecordedArgs(), (Words{"call", U("isdn"), "updetach", "lock", "linkname", "ringvale-" + U("isdn")}));
    EXPECT_FALSE(Exists(m_dir.File("record/options")));
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.File("tmp")));
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
        EXPECT_TRUE(std::filesystem::is_empty(m_dir.File("tmp"))) << "options file left behind: " << row.exit;
    }
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

TEST_F(PppDialUpTest, HangUpSendsSigtermToThePidInThePidFile) {
    FakePppd daemon({});
    SetDaemon(daemon.Pid());
    CPppDialUpService service(m_config);
    DialUpHandle handle = 0;
    ASSERT_EQ(service.Dial(U("isdn"), "u", "p", handle), 0);
    EXPECT_EQ(ReadLines(m_dir.File("run/ppp-ringvale-" + U("isdn") + ".pid")).at(0), std::to_string(daemon.Pid()));
    ASSERT_EQ(service.Status(handle), EDialUpStatus::Connected);

    service.HangUp(handle);
    const int status = daemon.Wait();
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_EQ(service.Status(handle), EDialUpStatus::Disconnected);
    EXPECT_EQ(service.Status(handle + 100), EDialUpStatus::Disconnected);
    service.HangUp(handle); // a second hang-up of a gone connection is harmless
}

TEST_F(PppDialUpTest, PendingWhilePppdIsStillEnding) {
    FakePppd daemon({}, /*ignoreTerm=*/true);
    SetDaemon(daemon.Pid());
    CPppDialUpService service(m_config);
    DialUpHandle handle = 0;
    ASSERT_EQ(service.Dial(U("isdn"), "u", "p", handle), 0);
    service.HangUp(handle);
    EXPECT_EQ(service.Status(handle), EDialUpStatus::Pending);
    ::kill(daemon.Pid(), SIGKILL);
    daemon.Wait();
    EXPECT_EQ(service.Status(handle), EDialUpStatus::Disconnected);
}

TEST_F(PppDialUpTest, StalePidFileIsNoConnection) {
    // The pid of a process that is not pppd (this test program), as after a crash and pid reuse.
    WriteFileText(m_dir.File("run/ppp-ringvale-" + U("isdn") + ".pid"), std::to_string(::getpid()) + "\nppp0\n");
    CPppDialUpService service(m_config);
    for (const DialUpConnectionInfo& c : service.ActiveConnections()) {
        EXPECT_NE(c.entryName, U("isdn"));
    }
    // A dial that pppd reports as up but whose daemon is not there is not connected, and its
    // hang-up signals nobody.
    DialUpHandle handle = 0;
    ASSERT_EQ(service.Dial(U("isdn"), "", "", handle), 0);
    service.HangUp(handle);
    EXPECT_EQ(service.Status(handle), EDialUpStatus::Disconnected);
}

TEST_F(PppDialUpTest, ActiveConnectionsOwnAndForeign) {
    WriteFileText(m_dir.File("peers/isdn-extra"), "noauth\n");
    FakePppd own({"call", U("isdn"), "linkname", "ringvale-" + U("isdn")});
    WriteFileText(m_dir.File("run/ppp-ringvale-" + U("isdn") + ".pid"), std::to_string(own.Pid()) + "\nppp0\n");
    FakePppd foreignTty({"/dev/" + U("ttyRV9"), "115200", "logfile", "/dev/null"});
    FakePppd foreignCall({"call", U("provider"), "nodetach"});
    // Our link name without a pid file (e.g. the run directory was not writable).
    FakePppd ownWithoutPidFile({"call", U("alpha"), "linkname", "ringvale-" + U("alpha"), "/dev/" + U("ttyS4")});

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
    const DialUpConnectionInfo alpha = find(first, "/dev/" + U("ttyS4"));
    EXPECT_EQ(alpha.entryName, U("alpha"));
    for (const auto& c : {isdn, tty, call, alpha}) {
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
