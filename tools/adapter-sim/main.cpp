// ringvale-adapter-sim: a stand-in for the ISDN telephone adapter, on a pseudo-terminal and
// UDP, driven from its terminal, a scenario file or a control socket.
#include "SimLog.h"
#include "SimOptions.h"
#include "SimServer.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/signalfd.h>
#include <vector>

int main(int argc, char** argv) {
    CSimOptions options;
    bool help = false;
    std::string error;
    if (!ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), options, help, error)) {
        std::fprintf(stderr, "%s\n%s", error.c_str(), SimUsageText());
        return 2;
    }
    if (help) {
        std::printf("%s", SimUsageText());
        return 0;
    }
    CSimLog log(stderr);
    log.SetMicroseconds(options.logMicros);
    if (!options.logPath.empty() && !log.OpenFile(options.logPath, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    // Started in the background of a shell, reading the terminal must fail rather than stop
    // the process; the simulator then simply stops reading commands from it.
    std::signal(SIGTTIN, SIG_IGN);
    // SIGTERM and SIGINT arrive as a readable descriptor in the server's poll rather than
    // through a handler, so no signal can slip in between a handler and the poll (a test may
    // signal as soon as it sees the ready line). Blocked before anything else is set up.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    ::sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    const int stopSignalFd = ::signalfd(-1, &stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (stopSignalFd < 0) {
        std::fprintf(stderr, "ringvale-adapter-sim: signalfd failed\n");
        return 1;
    }
    CSimServer server(options, log);
    server.SetStopSignalFd(stopSignalFd);
    if (!server.Start(error)) {
        std::fprintf(stderr, "ringvale-adapter-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("ringvale-adapter-sim: link %s -> %s, UDP %s:%d\n", options.link.c_str(), server.SlaveName().c_str(),
                options.address.c_str(), options.udpPort);
    std::fflush(stdout);
    return server.Run();
}
