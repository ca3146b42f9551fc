// The simulator's event loop: one thread blocking in poll() on the pseudo-terminal, its
// watch, the UDP socket, the control socket and its clients, the terminal's standard input
// and a stop descriptor, with a time-out up to the next timer (a far end answering, a dialed
// number completing, a scenario wait).
#pragma once

#include "SimAdapter.h"
#include "SimControlSocket.h"
#include "SimLog.h"
#include "SimOptions.h"
#include "SimPty.h"
#include "SimScriptRunner.h"
#include "SimSession.h"
#include "SimUdp.h"

#include <atomic>
#include <map>
#include <memory>
#include <string>

class CSimServer {
public:
    CSimServer(CSimOptions options, CSimLog& log);
    ~CSimServer();
    CSimServer(const CSimServer&) = delete;
    CSimServer& operator=(const CSimServer&) = delete;

    // Creates the link, the sockets and reads the scenario; logs "INFO READY ..." at the end.
    bool Start(std::string& error);
    // Serves until Stop(), "quit" or the end of a scenario run with --exit-after-scenario.
    // Returns the exit code (1 when such a scenario failed, else 0). Removes link and socket.
    int Run();
    // Safe to call from a signal handler or another thread.
    void Stop();
    // A descriptor that becomes readable when the simulator should stop (a signalfd for the
    // termination signals); Run watches it beside Stop(). Stays the caller's.
    void SetStopSignalFd(int fd) { m_stopSignalFd = fd; }

    // Runs one control command as if typed; for tests and the interactive terminal.
    std::string Execute(const CControlCommand& cmd);

    CSimAdapter& Adapter() { return m_adapter; }
    const std::string& SlaveName() const { return m_pty.SlaveName(); }

private:
    static std::int64_t NowMs();
    std::unique_ptr<CSimScriptRunner> MakeRunner(const std::string& source, bool stopOnError,
                                                 CSimScriptRunner::ReplyFn reply);
    void CheckWatch();
    void HandlePty();
    void HandleUdp();
    void HandleStdin();
    void Received(CSimSession& session, const std::string& line);
    void RunRunners();
    std::string Status();
    void WritePty(const std::string& bytes);
    // The serial cable pulled and put back: the pseudo-terminal and its link go and come back.
    // The calls go on meanwhile (the adapter keeps its line); what it reports is lost.
    std::string Unplug();
    std::string Replug();

    CSimOptions m_options;
    CSimLog& m_log;
    CSimAdapter m_adapter;
    CSimPty m_pty;
    CSimUdp m_udp;
    CSimControlSocket m_control;
    CSimSession m_ptySession;
    CSimSession m_udpSession;
    CSimCommandHistory m_history;
    std::unique_ptr<CSimScriptRunner> m_scenario;
    std::unique_ptr<CSimScriptRunner> m_stdinRunner;
    std::map<int, std::unique_ptr<CSimScriptRunner>> m_clientRunners;
    std::string m_stdinPartial;
    bool m_stdinOpen = false;
    int m_stopFd = -1;
    int m_stopSignalFd = -1;
    std::atomic<bool> m_stop{false};
    int m_exitCode = 0;
    bool m_rateMismatchLogged = false;
    bool m_unplugged = false;
};
