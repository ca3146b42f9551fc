// The program on a real X display of 1280x800 (Xvfb): the tray with a real tray host (the tint2
// panel) that starts after the program and stops again — the icon appears when the tray does,
// "Minimize to Tray" hides the windows only while the icon is there, and a window hidden in a
// tray that goes comes back to the taskbar — and the demo's windows, which fit the screen side
// by side. Exits with 77 (skipped) where Xvfb or tint2 is not installed.
#include "TestHostRig.h"
#include "ui/CCallLogDlg.h"
#include "ui/CPhoneBookModel.h"

#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QtTest>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// An Xvfb server on the first free display, ended with the test program.
class CXvfb {
public:
    ~CXvfb() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    // The display name (":N"), empty when the server did not start.
    std::string Start(const std::string& program) {
        int fds[2];
        if (::pipe(fds) != 0) {
            return {};
        }
        const std::string fd = std::to_string(fds[1]);
        // -noreset: the root window keeps its properties when a client leaves.
        const char* argv[] = {program.c_str(), "-displayfd", fd.c_str(), "-screen",  "0",
                              "1280x800x24",   "-nolisten",  "tcp",      "-noreset", nullptr};
        const int spawned = ::posix_spawn(&m_pid, program.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ);
        ::close(fds[1]);
        std::string number;
        pollfd ready{fds[0], POLLIN, 0};
        char buffer[16];
        // The server writes its display number once it accepts clients.
        while (spawned == 0 && ::poll(&ready, 1, 20000) == 1) {
            const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            number.append(buffer, static_cast<std::size_t>(n));
            if (number.find('\n') != std::string::npos) {
                ::close(fds[0]);
                return ":" + number.substr(0, number.find('\n'));
            }
        }
        ::close(fds[0]);
        return {};
    }

private:
    pid_t m_pid = -1;
};

// tint2 waits up to 15 s for a window manager to announce its desktops before it opens its
// tray; the bare display announces one itself.
void AnnounceOneDesktop() {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11->connection();
    const char* name = "_NET_NUMBER_OF_DESKTOPS";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const std::uint32_t one = 1;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, root, atom->atom, XCB_ATOM_CARDINAL, 32, 1, &one);
    xcb_flush(connection);
    std::free(atom);
}

} // namespace

class TestX11Desktop : public QObject {
    Q_OBJECT
private slots:
    void trayThatComesLateAndGoes() {
        AnnounceOneDesktop();
        HostRig rig([](CSettings& s) {
            s.m_bMinimizeToTray = true;
            s.m_bPhoneBookVisible = true;
        });
        CMainWindow& main = rig.Main();
        QWidget* book = rig.host->PhoneBookWindow();
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        // No tray: "Minimize to Tray" minimises to the taskbar.
        QVERIFY(rig.dialog->OnSysCommand(CMainDialog::SC_MINIMIZE));
        QVERIFY(main.isVisible() && main.isMinimized());
        QVERIFY(rig.dialog->OnSysCommand(CMainDialog::SC_RESTORE));

        // The panel starts: the icon appears in its tray, and minimising hides in the tray.
        const QString config = QString::fromStdString(rig.Dir().File("tint2rc"));
        WriteFileText(config.toStdString(), "panel_items = S\npanel_position = bottom center horizontal\n"
                                            "panel_size = 100% 30\nsystray_icon_size = 24\n");
        QProcess panel;
        panel.start(QStandardPaths::findExecutable(QStringLiteral("tint2")), {QStringLiteral("-c"), config});
        QVERIFY(panel.waitForStarted());
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         const QSystemTrayIcon* icon = rig.host->Tray().Icon();
                         return icon != nullptr && icon->geometry().top() >= 800 - 30;
                     },
                     10000),
                 "the icon is not in the panel's tray");
        QVERIFY(rig.dialog->OnSysCommand(CMainDialog::SC_MINIMIZE));
        QVERIFY(!main.isVisible() && !book->isVisible());

        // The panel stops: the hidden windows come back to the taskbar, minimised.
        panel.terminate();
        QVERIFY(panel.waitForFinished());
        QVERIFY(QTest::qWaitFor([&] { return main.isVisible(); }, 10000));
        QVERIFY(main.isMinimized());
        QVERIFY(rig.dialog->OnSysCommand(CMainDialog::SC_RESTORE));
        QVERIFY(main.isVisible() && book->isVisible());
        QVERIFY(rig.dialog->OnSysCommand(CMainDialog::SC_MINIMIZE));
        QVERIFY(main.isVisible() && main.isMinimized());
    }

    // The demo's saved windows fit the screen without overlapping, with room for the frames a
    // window manager adds (a title bar above, a border around).
    void demoWindowsFitTheScreenSideBySide() {
        const std::string demo = qEnvironmentVariable("RINGVALE_SOURCE_DIR").toStdString() + "/demo/";
        TempDir copies; // the program rewrites its files: it works on copies
        for (const char* file : {"RV.pbk", "RV.log"}) {
            WriteFileText(copies.File(file), ReadFileText(demo + file));
        }
        CSettings saved;
        saved.Parse(ReadFileText(demo + "RV.cfg.in"), {});
        HostRig rig([&](CSettings& s) {
            s.m_rcMainPos = saved.m_rcMainPos;
            s.m_rcPhoneBookPos = saved.m_rcPhoneBookPos;
            s.m_rcCallLogPos = saved.m_rcCallLogPos;
            s.m_bPhoneBookVisible = s.m_bCallLogVisible = true;
            s.m_dwPhoneBookColumnMask = saved.m_dwPhoneBookColumnMask;
            s.m_strPhoneBookName = copies.File("RV.pbk");
            s.m_strCallLogName = copies.File("RV.log");
        });
        QCOMPARE(rig.host->PhoneBookWindow()->Model()->rowCount(), 4);
        const std::vector<QWidget*> windows = {&rig.Main(), rig.host->PhoneBookWindow(), rig.host->CallLogWindow()};
        for (std::size_t i = 0; i < windows.size(); ++i) {
            const QRect framed = windows[i]->geometry().adjusted(-4, -30, 4, 4);
            QVERIFY2(QRect(0, 0, 1280, 800).contains(framed), qPrintable(windows[i]->windowTitle()));
            for (std::size_t j = i + 1; j < windows.size(); ++j) {
                QVERIFY2(!framed.intersects(windows[j]->geometry().adjusted(-4, -30, 4, 4)),
                         qPrintable(windows[i]->windowTitle() + QStringLiteral(" / ") + windows[j]->windowTitle()));
            }
        }
    }
};

int main(int argc, char** argv) {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("tint2")).isEmpty()) {
        std::puts("SKIP: the tray test needs Xvfb and tint2 (scripts/setup-deps.sh installs both)");
        return 77;
    }
    CXvfb server;
    const std::string display = server.Start(xvfb.toStdString());
    if (display.empty()) {
        std::puts("FAIL: Xvfb did not start");
        return 1;
    }
    qputenv("DISPLAY", display.c_str());
    qputenv("QT_QPA_PLATFORM", "xcb");
    // The tray of the X display, not a status-notifier host on some session bus.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    QApplication application(argc, argv);
    TestX11Desktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestX11Desktop.moc"
