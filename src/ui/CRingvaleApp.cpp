#include "ui/CRingvaleApp.h"

#include "controller/CMainDialog.h"
#include "core/Clock.h"
#include "core/Trace.h"
#include "dialup/DialUpServiceFactory.h"
#include "ui/CQtWindowHost.h"
#include "ui/CSingleInstance.h"

#include <QApplication>
#include <QMessageBox>
#include <QSessionManager>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// How long a second start waits for the first copy to answer (it may be busy starting up).
constexpr int kFirstCopyAnswerMs = 30000;

// The write end of the signal pipe, for the handler (async-signal-safe use only); -1 when a
// signal is to be dropped.
volatile std::sig_atomic_t g_signalWriteFd = -1;

// The signals that end the program through its shut-down: termination, interrupt, and the
// terminal or session going away.
constexpr int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};
// Signals whose default action would end the program without its shut-down, although the
// failed write that raised them is handled as a failed write: a pipe without reader (EPIPE),
// a file size limit (EFBIG).
constexpr int kIgnoredSignals[] = {SIGPIPE, SIGXFSZ};

void OnQuitSignal(int signal) {
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    const int fd = g_signalWriteFd;
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = saved;
}

// Caught rather than set to SIG_IGN: a caught signal is back to its default in the programs
// this one starts (pppd), an ignored one would stay ignored there.
void OnIgnoredSignal(int /*signal*/) {}

void Catch(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

} // namespace

CRingvaleApp::CRingvaleApp(const SProgramArguments& arguments)
    : m_arguments(arguments), m_folders(ChooseDataFolders(ProcessDataFolderInputs(arguments.dataDir))) {}

CRingvaleApp::~CRingvaleApp() {
    RemoveSignalPipe();
}

void CRingvaleApp::InstallSignalHandlers() {
    for (const int signal : kIgnoredSignals) {
        Catch(signal, OnIgnoredSignal);
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_signalFds) != 0) {
        m_signalFds[0] = m_signalFds[1] = -1;
        return;
    }
    ::fcntl(m_signalFds[0], F_SETFL, O_NONBLOCK);
    ::fcntl(m_signalFds[1], F_SETFL, O_NONBLOCK);
    g_signalWriteFd = m_signalFds[0];
    for (const int signal : kQuitSignals) {
        Catch(signal, OnQuitSignal);
    }
}

void CRingvaleApp::RemoveSignalPipe() {
    if (m_signalFds[0] < 0) {
        return;
    }
    // A signal from now on finds nothing to do: the program is already on its way out.
    g_signalWriteFd = -1;
    delete m_signalNotifier;
    m_signalNotifier = nullptr;
    ::close(m_signalFds[0]);
    ::close(m_signalFds[1]);
    m_signalFds[0] = m_signalFds[1] = -1;
}

void CRingvaleApp::ReportUnusableFolders(const std::string& problem) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    // Without a screen nobody could close the box.
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal")) {
        QMessageBox::critical(nullptr, QStringLiteral("Ringvale"), QString::fromStdString(problem));
    }
}

int CRingvaleApp::Run() {
    // A signal from here on waits in the pipe until the window thread can act on it.
    InstallSignalHandlers();
    // Hidden in the tray, the program has no window open but keeps running.
    QApplication::setQuitOnLastWindowClosed(false);

    // Nothing is read or written before the folders are known to be usable: a folder that
    // cannot be made or written in ends the program at once, with nothing lost.
    std::string problem;
    if (!PrepareDataFolders(m_folders, problem)) {
        ReportUnusableFolders(problem);
        return 1;
    }
    const QString configFolder = QString::fromStdString(m_folders.config);
    // One copy per configuration, decided before anything touches its files: a second start
    // brings the first copy's main window forward and ends.
    CSingleInstance single(configFolder);
    CMainDialog* running = nullptr;
    if (!single.BecomeTheFirst([&running] {
            Trace("<dbg> Started again in this folder: the running copy comes forward");
            if (running != nullptr && running->Initialized()) {
                running->OnSysCommand(CMainDialog::SC_RESTORE);
                running->Host().BringMainToForeground();
            }
        })) {
        if (single.AskTheFirstToComeForward(kFirstCopyAnswerMs)) {
            return 0;
        }
        std::fprintf(stderr, "Ringvale already runs in %s but does not answer\n", qPrintable(configFolder));
        return 1;
    }
    // The trace covers this run: emptied before anything (the dial-up service, the settings)
    // can write to it, and only by the copy that runs.
    SetTraceFilePath(m_folders.state + "/Ringvale.dbg");
    TruncateTrace();

    // The simulated dial-up service's connections must hold their devices before the adapter
    // link is opened, so the service comes first.
    const std::unique_ptr<IDialUpService> dialUp = CreateDialUpService();
    const IClock& clock = CSystemClock::Instance();
    CQtWindowHost host(*dialUp);
    // The copy started at login uses the same files: a one-folder configuration is named.
    const bool oneFolder = m_folders.config == m_folders.data && m_folders.data == m_folders.state;
    host.SetAutostart({AutostartEntryPath(ProcessDataFolderInputs("").env),
                       QCoreApplication::applicationFilePath().toStdString(), oneFolder ? m_folders.config : ""});
    CMainDialog::SOptions options;
    options.settingsPath = m_folders.config + "/" + CSettings::kFileName;
    options.dataFolder = m_folders.data;
    CMainDialog dialog(host, clock, *dialUp, std::move(options));
    host.Attach(dialog);
    running = &dialog;

    if (m_signalFds[1] >= 0) {
        // Heard in every event loop of the window thread: the main one, a message box's, and
        // the one that runs while the adapter opens.
        m_signalNotifier = new QSocketNotifier(m_signalFds[1], QSocketNotifier::Read, this);
        connect(m_signalNotifier, &QSocketNotifier::activated, this, [this, &host] {
            char buffer[16];
            while (::read(m_signalFds[1], buffer, sizeof buffer) > 0) {
            }
            host.RequestQuit();
        });
    }
    connect(qApp, &QGuiApplication::commitDataRequest, this, [&host](QSessionManager&) { host.RequestQuit(); });

    if (!dialog.OnInitDialog()) {
        return 0; // the settings file was missing and the configuration was cancelled
    }
    host.ShowMainAfterStartUp();
    // A signal that came during start-up is handled as soon as the loop runs.
    host.RequestQuitIfPending();
    if (!host.Ended()) {
        QApplication::exec();
    }
    // Every way out of the loop ends with the shut-down (it runs only once).
    dialog.ShutDown();
    running = nullptr;
    RemoveSignalPipe();
    return 0;
}
