// The tray on a real X display (Xvfb) with a real tray host (the tint2 panel) that starts after
// the program and stops again: the icon appears when the tray does, "Minimize to Tray" hides
// the windows only while the icon is there, and a window hidden in a tray that goes comes back
// to the taskbar. Exits with 77 (skipped) where Xvfb or tint2 is not installed.
#include "TestHostRig.h"

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

class TestTray : public QObject {
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
    TestTray test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestTray.moc"
