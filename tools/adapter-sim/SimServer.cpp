#include "SimServer.h"

#include "core/Format.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace {

// What the program reads when the rates differ: bytes that are no text at all.
const std::string kGarbage = "\xF8\x80\xFE\x86\x9C";

} // namespace

CSimServer::CSimServer(CSimOptions options, CSimLog& log)
    : m_options(std::move(options)), m_log(log), m_adapter(m_options.adapter, log, &CSimServer::NowMs),
      m_ptySession("pty", log, [this](const std::string& bytes) { WritePty(bytes); }),
      m_udpSession("udp", log, [this](const std::string& bytes) {
          if (!m_udp.Send(bytes)) {
              m_log.Write("DROP", "udp", "no peer to send to");
          }
      }) {
    m_stopFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_adapter.SetReportTarget(&m_ptySession);
}

CSimServer::~CSimServer() {
    m_control.Close();
    m_pty.Close();
    if (m_stopFd >= 0) {
        ::close(m_stopFd);
    }
}

std::int64_t CSimServer::NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void CSimServer::Stop() {
    m_stop = true;
    std::uint64_t one = 1;
    (void)!::write(m_stopFd, &one, sizeof one);
}

std::unique_ptr<CSimScriptRunner> CSimServer::MakeRunner(const std::string& source, bool stopOnError,
                                                         CSimScriptRunner::ReplyFn reply) {
    auto exec = [this](const CControlCommand& cmd) { return Execute(cmd); };
    auto logged = [this, source, reply = std::move(reply)](const std::string& line, const std::string& answer) {
        m_log.Write("CTL " + source, line);
        m_log.Write("CTL " + source, "-> " + answer);
        reply(line, answer);
    };
    return std::make_unique<CSimScriptRunner>(exec, logged, &CSimServer::NowMs, m_history, m_options.expectTimeoutMs,
                                              stopOnError);
}

bool CSimServer::Start(std::string& error) {
    if (m_stopFd < 0) {
        error = "eventfd failed";
        return false;
    }
    if (!m_pty.Open(m_options.link, m_adapter.Rate(), error) ||
        !m_udp.Open(m_options.address, m_options.udpPort, error)) {
        return false;
    }
    if (!m_options.control.empty() && !m_control.Open(m_options.control, error)) {
        return false;
    }
    if (!m_options.scenario.empty()) {
        std::FILE* f = std::fopen(m_options.scenario.c_str(), "rb");
        if (f == nullptr) {
            error = "cannot read the scenario " + m_options.scenario;
            return false;
        }
        std::string text;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) {
            text.append(buffer, n);
        }
        std::fclose(f);
        m_scenario = MakeRunner("scenario", true, [](const std::string&, const std::string&) {});
        for (auto line : SplitLines(text)) {
            m_scenario->Add(std::string(line));
        }
    }
    if (m_options.stdinControl) {
        m_stdinOpen = true;
        m_stdinRunner = MakeRunner("stdin", false, [](const std::string& line, const std::string& answer) {
            if (TrimView(line) == "help") {
                std::printf("%s\n", SimUsageText());
            }
            std::printf("%s\n", answer.c_str());
            std::fflush(stdout);
        });
    }
    m_log.Write("INFO", StrFormat("READY link=%s pty=%s udp=%s:%d control=%s", m_options.link.c_str(),
                                  m_pty.SlaveName().c_str(), m_options.address.c_str(), m_options.udpPort,
                                  m_options.control.c_str()));
    return true;
}

void CSimServer::WritePty(const std::string& bytes) {
    if (m_unplugged) {
        m_log.Write("DROP", "pty", "unplugged: " + bytes);
        return;
    }
    CheckWatch();
    if (m_options.rateCheck && m_pty.TtyRate() != m_adapter.Rate()) {
        // The program listens at another rate: what it gets is noise, or nothing.
        m_log.Write("DROP", "pty", "rate mismatch, output garbled");
        if (m_options.garbage) {
            m_pty.Write(kGarbage);
        }
        return;
    }
    if (!m_pty.Write(bytes)) {
        m_log.Write("DROP", "pty", m_pty.OtherUsers() == 0 ? "nobody has the terminal open" : "terminal buffer full");
    }
}

void CSimServer::Received(CSimSession& session, const std::string& line) {
    if (!TrimView(line).empty()) {
        m_history.Add(line);
    }
    m_adapter.Execute(session, line);
}

void CSimServer::CheckWatch() {
    if (!m_pty.HandleWatch()) {
        return;
    }
    // What is still unread came from the user that has gone: a real line loses it.
    std::string stale;
    m_pty.Read(stale);
    if (!stale.empty()) {
        m_log.Write("DROP", "pty", "unread input of the closed terminal: " + stale);
    }
    m_log.Write("INFO", "pty closed by its last user");
    m_ptySession.DiscardPartial();
}

void CSimServer::HandlePty() {
    // Bytes from a new user arrive after its open, so the watch knows of it by now.
    CheckWatch();
    std::string bytes;
    if (!m_pty.Read(bytes)) {
        m_log.Write("INFO", "pty read error");
    }
    if (bytes.empty()) {
        return;
    }
    if (m_options.rateCheck) {
        int ttyRate = m_pty.TtyRate();
        if (ttyRate != m_adapter.Rate()) {
            if (!m_rateMismatchLogged) {
                m_log.Write("RATE", StrFormat("mismatch tty=%d adapter=%d", ttyRate, m_adapter.Rate()));
                m_rateMismatchLogged = true;
            }
            m_log.Write("DROP", "pty", "wrong rate: " + bytes);
            m_ptySession.DiscardPartial();
            if (m_options.garbage && bytes.find('\r') != std::string::npos) {
                m_log.Write("TX", "pty", kGarbage);
                m_pty.Write(kGarbage);
            }
            return;
        }
        if (m_rateMismatchLogged) {
            m_log.Write("RATE", StrFormat("match at %d", ttyRate));
            m_rateMismatchLogged = false;
        }
    }
    for (const auto& line : m_ptySession.Feed(bytes)) {
        Received(m_ptySession, line);
    }
}

void CSimServer::HandleUdp() {
    std::string data;
    sockaddr_in from{};
    while (m_udp.Receive(data, from)) {
        bool changed = false;
        if (m_unplugged) {
            // Its network side runs over the same cable.
            m_log.Write("DROP", "udp", "unplugged: " + data);
            continue;
        }
        if (data.empty()) {
            m_log.Write("DROP", "udp", "empty datagram from " + AddressText(from));
            continue;
        }
        if (!m_udp.Accept(from, data, changed)) {
            m_log.Write("DROP", "udp", "datagram from " + AddressText(from) + " (not the peer): " + data);
            continue;
        }
        if (changed) {
            m_log.Write("INFO", "udp peer is " + AddressText(from));
            m_udpSession.DiscardPartial();
        }
        for (const auto& line : m_udpSession.Feed(data)) {
            Received(m_udpSession, line);
        }
    }
}

void CSimServer::HandleStdin() {
    char buffer[1024];
    ssize_t n = ::read(0, buffer, sizeof buffer);
    if (n <= 0) {
        if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
            m_stdinOpen = false; // end of input: keep serving the other sources
            if (!m_stdinPartial.empty()) {
                m_stdinRunner->Add(m_stdinPartial);
                m_stdinPartial.clear();
            }
        }
        return;
    }
    for (ssize_t i = 0; i < n; ++i) {
        if (buffer[i] == '\n') {
            m_stdinRunner->Add(m_stdinPartial);
            m_stdinPartial.clear();
        } else if (m_stdinPartial.size() < CSimControlSocket::kMaxLine) {
            m_stdinPartial.push_back(buffer[i]);
        }
    }
}

std::string CSimServer::Status() {
    std::string text =
        StrFormat("OK rate=%d tty=%d s63=%d s76=%d hook=%s,%s users=%d", m_adapter.Rate(), m_pty.TtyRate(),
                  m_adapter.Register(63), m_adapter.Register(76), m_adapter.Calls().IsOffHook(1) ? "off" : "on",
                  m_adapter.Calls().IsOffHook(2) ? "off" : "on", m_pty.OtherUsers());
    if (m_unplugged) {
        text += " unplugged";
    }
    for (const auto& call : m_adapter.Calls().Calls()) {
        text += StrFormat(" call=%d/port%d/state%d/%s", call.id, call.port, call.state,
                          call.remote.empty() ? "-" : call.remote.c_str());
    }
    return text;
}

std::string CSimServer::Execute(const CControlCommand& cmd) {
    switch (cmd.verb) {
    case ECtlVerb::Status:
        return Status();
    case ECtlVerb::Help:
        return std::string("OK ") + ControlHelpText();
    case ECtlVerb::Quit:
        Stop();
        return "OK";
    case ECtlVerb::Unplug:
        return Unplug();
    case ECtlVerb::Replug:
        return Replug();
    default:
        return m_adapter.ApplyEvent(cmd);
    }
}

std::string CSimServer::Unplug() {
    if (m_unplugged) {
        return "ERR already unplugged";
    }
    // The link goes first, then the terminal: whoever has it open sees it hang up.
    m_pty.Close();
    m_ptySession.DiscardPartial();
    m_unplugged = true;
    m_log.Write("INFO", "unplugged: " + m_options.link + " removed");
    return "OK";
}

std::string CSimServer::Replug() {
    if (!m_unplugged) {
        return "ERR not unplugged";
    }
    std::string error;
    if (!m_pty.Open(m_options.link, m_adapter.Rate(), error)) {
        m_pty.Close();
        return "ERR " + error;
    }
    m_unplugged = false;
    m_log.Write("INFO", StrFormat("replugged: link=%s pty=%s", m_options.link.c_str(), m_pty.SlaveName().c_str()));
    return "OK";
}

void CSimServer::RunRunners() {
    if (m_scenario) {
        m_scenario->Run();
    }
    if (m_stdinRunner) {
        m_stdinRunner->Run();
    }
    for (auto& [fd, runner] : m_clientRunners) {
        runner->Run();
    }
}

int CSimServer::Run() {
    bool scenarioDone = false;
    while (!m_stop) {
        m_adapter.Calls().Tick();
        RunRunners();
        if (m_scenario && !scenarioDone && m_scenario->Idle()) {
            scenarioDone = true;
            m_log.Write("INFO", m_scenario->Failed() ? "scenario failed" : "scenario done");
            if (m_options.exitAfterScenario) {
                m_exitCode = m_scenario->Failed() ? 1 : 0;
                m_pty.WaitUntilRead(2000);
                break;
            }
        }
        if (m_stop) {
            break;
        }

        std::optional<std::int64_t> deadline = m_adapter.Calls().NextDeadline();
        auto consider = [&](const std::unique_ptr<CSimScriptRunner>& r) {
            if (r && r->Deadline() && (!deadline || *r->Deadline() < *deadline)) {
                deadline = r->Deadline();
            }
        };
        consider(m_scenario);
        consider(m_stdinRunner);
        for (auto& [fd, runner] : m_clientRunners) {
            consider(runner);
        }
        int timeout = -1;
        if (deadline) {
            timeout = static_cast<int>(std::clamp<std::int64_t>(*deadline - NowMs(), 0, 60000));
        }

        std::vector<pollfd> fds;
        fds.push_back({m_stopFd, POLLIN, 0});
        fds.push_back({m_pty.WatchFd(), POLLIN, 0});
        fds.push_back({m_pty.MasterFd(), POLLIN, 0});
        fds.push_back({m_udp.Fd(), POLLIN, 0});
        fds.push_back({m_control.ListenFd(), POLLIN, 0});
        fds.push_back({m_stdinOpen ? 0 : -1, POLLIN, 0});
        fds.push_back({m_stopSignalFd, POLLIN, 0});
        for (const auto& [fd, partial] : m_control.Clients()) {
            fds.push_back({fd, POLLIN, 0});
        }
        int r = ::poll(fds.data(), fds.size(), timeout);
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            m_log.Write("INFO", "poll failed");
            m_exitCode = 1;
            break;
        }
        if (fds[0].revents != 0 || fds[6].revents != 0 || m_stop) {
            break;
        }
        // The watch first: an open that happened before the bytes arrived is known by then.
        if (fds[1].revents != 0) {
            CheckWatch();
        }
        if (fds[2].revents != 0) {
            HandlePty();
        }
        if (fds[3].revents != 0) {
            HandleUdp();
        }
        if (fds[4].revents != 0) {
            m_control.AcceptClients([this](int fd) {
                m_clientRunners[fd] = MakeRunner(
                    StrFormat("client%d", fd), false,
                    [this, fd](const std::string&, const std::string& answer) { m_control.Reply(fd, answer); });
            });
        }
        if (fds[5].revents != 0) {
            HandleStdin();
        }
        for (std::size_t i = 7; i < fds.size(); ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            int fd = fds[i].fd;
            bool alive = m_control.ReadClient(fd, [&](const std::string& line) { m_clientRunners[fd]->Add(line); });
            if (!alive) {
                m_clientRunners.erase(fd);
            }
        }
    }
    m_log.Write("INFO", "stopping");
    m_control.Close();
    m_pty.Close();
    return m_exitCode;
}
