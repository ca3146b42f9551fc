#include "ui/CRingvaleApp.h"

#include "controller/CMainDialog.h"
#include "core/Clock.h"
#include "core/Trace.h"
#include "dialup/DialUpServiceFactory.h"
#include "ui/CQtWindowHost.h"
#include "ui/CSingleInstance.h"

#include <QApplication>
#include <QDir>
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

// The write end of the signal pipe, for the handler (async-signal-safe use only).
volatile int g_signalWriteFd = -1;

void OnTerminationSignal(int signal) {
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    if (g_signalWriteFd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(g_signalWriteFd, &byte, 1);
    }
    errno = saved;
}

} // namespace

CRingvaleApp::CRingvaleApp() = default;

CRingvaleApp::~CRingvaleApp() {
    RemoveSignalPipe();
}

bool CRingvaleApp::InstallSignalPipe() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_signalFds) != 0) {
        return false;
    }
    ::fcntl(m_signalFds[0], F_SETFL, O_NONBLOCK);
    ::fcntl(m_signalFds[1], F_SETFL, O_NONBLOCK);
    g_signalWriteFd = m_signalFds[0];
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    return true;
}

void CRingvaleApp::RemoveSignalPipe() {
    if (m_signalFds[0] < 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    g_signalWriteFd = -1;
    delete m_signalNotifier;
    m_signalNotifier = nullptr;
    ::close(m_signalFds[0]);
    ::close(m_signalFds[1]);
    m_signalFds[0] = m_signalFds[1] = -1;
}

// The folder of the program's files (settings, stores, trace): the working directory.
QString CRingvaleApp::DataFolder() {
    return QDir::currentPath();
}

int CRingvaleApp::Run() {
    // Hidden in the tray, the program has no window open but keeps running.
    QApplication::setQuitOnLastWindowClosed(false);

    // One copy per data folder, decided before anything touches its files: a second start
    // brings the first copy's main window forward and ends.
    CSingleInstance single(DataFolder());
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
        std::fprintf(stderr, "Ringvale already runs in %s but does not answer\n", qPrintable(DataFolder()));
        return 1;
    }

    // The simulated dial-up service's connections must hold their devices before the adapter
    // link is opened, so the service comes first.
    const std::unique_ptr<IDialUpService> dialUp = CreateDialUpService();
    const IClock& clock = CSystemClock::Instance();
    CQtWindowHost host(clock, *dialUp);
    CMainDialog dialog(host, clock, *dialUp, CMainDialog::SOptions{});
    host.Attach(dialog);
    running = &dialog;

    if (InstallSignalPipe()) {
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
