// The application: builds the real program — the dial-up service, the controller, the window
// host and its windows — runs the start-up, the event loop and the shut-down. A termination
// signal (SIGTERM, SIGINT, SIGHUP) at any moment, or the end of the desktop session, runs the
// same shut-down as "&Quit" as soon as the window thread can; the signal handler only writes
// to a pipe that the window thread's event loops watch. SIGPIPE and SIGXFSZ are caught and
// dropped, so a write they would interrupt fails as a write.
// Only one copy runs per configuration (the folder of RV.cfg): a second start brings the
// first one's main window forward and ends.
#pragma once

#include "core/DataFolders.h"
#include "core/ProgramArguments.h"

#include <QObject>
#include <QString>

class QSocketNotifier;

class CRingvaleApp : public QObject {
    Q_OBJECT
public:
    explicit CRingvaleApp(const SProgramArguments& arguments);
    ~CRingvaleApp() override;
    CRingvaleApp(const CRingvaleApp&) = delete;
    CRingvaleApp& operator=(const CRingvaleApp&) = delete;

    // Needs a QApplication. Returns the process's exit code.
    int Run();

    // Tells the user that the folders cannot be used (standard error, and a box where there
    // is a screen to show it on).
    static void ReportUnusableFolders(const std::string& problem);

private:
    void InstallSignalHandlers();
    void RemoveSignalPipe();

    SProgramArguments m_arguments;
    SDataFolders m_folders;
    int m_signalFds[2] = {-1, -1};
    QSocketNotifier* m_signalNotifier = nullptr;
};
