// The application: builds the real program — the dial-up service, the controller, the window
// host and its windows — runs the start-up, the event loop and the shut-down. A termination
// signal (SIGTERM, SIGINT, SIGHUP) at any moment, or the end of the desktop session, runs the
// same shut-down as "&Quit" as soon as the window thread can; the signal handler only writes
// to a pipe that the window thread's event loops watch. SIGPIPE and SIGXFSZ are caught and
// dropped, so a write they would interrupt fails as a write.
// Only one copy runs per data folder: a second start brings the first one's main window
// forward and ends.
#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

class CRingvaleApp : public QObject {
    Q_OBJECT
public:
    CRingvaleApp();
    ~CRingvaleApp() override;
    CRingvaleApp(const CRingvaleApp&) = delete;
    CRingvaleApp& operator=(const CRingvaleApp&) = delete;

    // Needs a QApplication. Returns the process's exit code.
    int Run();

    // The folder that holds the program's files.
    static QString DataFolder();

private:
    void InstallSignalHandlers();
    void RemoveSignalPipe();

    int m_signalFds[2] = {-1, -1};
    QSocketNotifier* m_signalNotifier = nullptr;
};
