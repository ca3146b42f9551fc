// ringvale-adapter-sim: a stand-in for the ISDN telephone adapter, on a pseudo-terminal and
// UDP, driven from its terminal, a scenario file or a control socket.
#include "SimLog.h"
#include "SimOptions.h"
#include "SimServer.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

CSimServer* g_server = nullptr;

void OnSignal(int) {
    if (g_server != nullptr) {
        g_server->Stop();
    }
}

} // namespace

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
    CSimServer server(options, log);
    // Handlers first: a test may signal as soon as it sees the ready line.
    g_server = &server;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    if (!server.Start(error)) {
        std::fprintf(stderr, "ringvale-adapter-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("ringvale-adapter-sim: link %s -> %s, UDP %s:%d\n", options.link.c_str(), server.SlaveName().c_str(),
                options.address.c_str(), options.udpPort);
    std::fflush(stdout);
    int code = server.Run();
    g_server = nullptr;
    return code;
}
