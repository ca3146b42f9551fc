// The real program against the adapter simulator, in a temporary working directory: it
// answers an incoming call when the phone is lifted, and a termination signal runs the
// shut-down of "&Quit" — the adapter is told "AT$V0" and "ATE1", the settings file is
// rewritten, and the program ends with status 0.
#include "support/SimProcess.h"
#include "support/TempDir.h"

#include "core/CSettings.h"

#include <QtTest>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::string BinDir() {
    const char* dir = std::getenv("RINGVALE_BIN_DIR");
    return dir != nullptr ? dir : "bin";
}

// Starts the program in dir with the environment the tests need; returns its pid.
pid_t StartProgram(const std::string& dir, const std::string& address) {
    const std::string program = BinDir() + "/ringvale";
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(dir.c_str()) != 0) {
            ::_exit(126);
        }
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("RINGVALE_ADAPTER_ADDRESS", address.c_str(), 1);
        ::setenv("RINGVALE_DIALUP", "sim", 1);
        ::setenv("RINGVALE_DIALUP_SIM_FILE", (dir + "/dialup-sim.txt").c_str(), 1);
        const int devNull = ::open("/dev/null", O_WRONLY);
        if (devNull >= 0) {
            ::dup2(devNull, STDOUT_FILENO);
            ::dup2(devNull, STDERR_FILENO);
        }
        char* const argv[] = {const_cast<char*>(program.c_str()), nullptr};
        ::execv(program.c_str(), argv);
        ::_exit(127);
    }
    return pid;
}

// Waits for the process to end (at most timeoutMs); its wait status, or -1.
int WaitForExit(pid_t pid, int timeoutMs) {
    auto ended = std::async(std::launch::async, [pid] {
        int status = 0;
        return ::waitpid(pid, &status, 0) == pid ? status : -1;
    });
    if (ended.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready) {
        ::kill(pid, SIGKILL);
    }
    return ended.get();
}

bool WaitForFileText(const std::string& path, const std::string& text, int timeoutMs) {
    return QTest::qWaitFor([&] { return ReadFileText(path).find(text) != std::string::npos; }, timeoutMs);
}

} // namespace

class TestHostSignals : public QObject {
    Q_OBJECT
private slots:
    void terminationSignalRunsTheQuitShutDown_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("address");
        QTest::newRow("SIGTERM") << int(SIGTERM) << QStringLiteral("127.61.9.21");
        QTest::newRow("SIGINT") << int(SIGINT) << QStringLiteral("127.61.9.22");
    }
    void terminationSignalRunsTheQuitShutDown() {
        QFETCH(int, signal);
        QFETCH(QString, address);
        TempDir dir;
        CSimProcess sim({dir.Path(), address.toStdString(), {}, false});
        QVERIFY(sim.Running());

        CSettings settings;
        settings.m_strComPort = sim.LinkPath();
        settings.m_nBaud = 115200;
        settings.m_rcMainPos = {0, 0, 0, 0};
        settings.m_bPhoneBookVisible = false;
        settings.m_bCallLogVisible = false;
        const std::string cfg = dir.File("RV.cfg");
        WriteFileText(cfg, settings.Serialize(false));
        WriteFileText(dir.File("dialup-sim.txt"), "");

        const pid_t pid = StartProgram(dir.Path(), address.toStdString());
        QVERIFY(pid > 0);
        // Start-up is over when the call-waiting register has been sent.
        const bool started = sim.WaitForLog("RX pty ATS76=3", 20000);
        if (!started) {
            ::kill(pid, SIGKILL);
            WaitForExit(pid, 5000);
            QFAIL(("the program did not open the adapter:\n" + sim.Log()).c_str());
        }

        // An incoming call, answered when the phone is lifted, connected in the program.
        QVERIFY(sim.Command("ring 1 4085551212 5551212"));
        QVERIFY(WaitForFileText(dir.File("Ringvale.dbg"), "Call offering: 4085551212", 10000));
        QVERIFY(sim.Command("offhook 1"));
        QVERIFY(sim.WaitForLog("RX pty AT*1A/", 10000));
        QVERIFY(WaitForFileText(dir.File("Ringvale.dbg"), "Call connected", 10000));

        const std::size_t before = sim.Log().size();
        QCOMPARE(::kill(pid, signal), 0);
        const int status = WaitForExit(pid, 15000);
        QVERIFY2(WIFEXITED(status), "the program did not end by itself");
        QCOMPARE(WEXITSTATUS(status), 0);
        QVERIFY(sim.WaitForLogAfter(before, "RX pty AT$V0", 5000));
        QVERIFY(sim.WaitForLogAfter(before, "RX pty ATE1", 5000));

        // The settings were saved: the window positions are the ones the program had.
        CSettings saved;
        saved.Parse(ReadFileText(cfg), {});
        QCOMPARE(saved.m_strComPort, sim.LinkPath());
        const CRect& main = saved.m_rcMainPos;
        QVERIFY2(main.right > main.left && main.bottom > main.top, ReadFileText(cfg).c_str());
    }
};

QTEST_MAIN(TestHostSignals)
#include "TestHostSignals.moc"
