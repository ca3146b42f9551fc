#include "support/PtyScriptedPeer.h"

#include "core/Format.h"
#include "support/TempDir.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {} // namespace

CScriptedPeer::CScriptedPeer(bool udp, Responder responder) : m_udp(udp), m_responder(std::move(responder)) {
    m_stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

std::unique_ptr<CScriptedPeer> CScriptedPeer::OnPty(const std::string& linkPath, Responder responder) {
    std::unique_ptr<CScriptedPeer> peer(new CScriptedPeer(false, std::move(responder)));
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        return peer;
    }
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    ::tcsetattr(slave, TCSANOW, &t);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::unlink(linkPath.c_str());
    if (::symlink(name, linkPath.c_str()) != 0) {
        ::close(master);
        ::close(slave);
        return peer;
    }
    peer->m_fd = master;
    peer->m_slaveFd = slave;
    peer->m_slavePath = name;
    peer->m_linkPath = linkPath;
    peer->Start();
    return peer;
}

std::unique_ptr<CScriptedPeer> CScriptedPeer::OnUdp(const std::string& address, int port, Responder responder) {
    std::unique_ptr<CScriptedPeer> peer(new CScriptedPeer(true, std::move(responder)));
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    if (fd < 0 || ::inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return peer;
    }
    peer->m_fd = fd;
    peer->Start();
    return peer;
}

CScriptedPeer::~CScriptedPeer() {
    const std::uint64_t one = 1;
    if (m_thread.joinable()) {
        [[maybe_unused]] const ssize_t n = ::write(m_stopFd, &one, sizeof(one));
        m_thread.join();
    }
    for (int fd : {m_fd, m_slaveFd, m_stopFd}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    if (!m_linkPath.empty()) {
        ::unlink(m_linkPath.c_str());
    }
}

void CScriptedPeer::Start() {
    m_thread = std::thread([this] { Run(); });
}

bool CScriptedPeer::Send(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fd < 0) {
        return false;
    }
    if (m_udp) {
        if (m_lastSender.empty()) {
            return false;
        }
        return ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(m_lastSender.data()),
                        static_cast<socklen_t>(m_lastSender.size())) == static_cast<ssize_t>(bytes.size());
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            if (n < 0 && errno == EAGAIN) {
                pollfd p{m_fd, POLLOUT, 0};
                ::poll(&p, 1, 1000);
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void CScriptedPeer::Run() {
    char buf[4096];
    for (;;) {
        pollfd p[2] = {{m_stopFd, POLLIN, 0}, {m_fd, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            continue;
        }
        if (p[0].revents != 0) {
            return;
        }
        std::string replies;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_fd < 0) {
                return; // hung up
            }
            ssize_t n = 0;
            if (m_udp) {
                sockaddr_storage from{};
                socklen_t len = sizeof(from);
                n = ::recvfrom(m_fd, buf, sizeof(buf), 0, reinterpret_cast<sockaddr*>(&from), &len);
                if (n >= 0) {
                    m_lastSender.assign(reinterpret_cast<unsigned char*>(&from),
                                        reinterpret_cast<unsigned char*>(&from) + len);
                }
            } else {
                n = ::read(m_fd, buf, sizeof(buf));
            }
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    continue;
                }
                return;
            }
            SSerialSettings settings;
            const int rate =
                !m_udp && ReadSerialSettings(m_slaveFd, settings) == 0 ? static_cast<int>(settings.outputRate) : 0;
            for (ssize_t i = 0; i < n; ++i) {
                m_partial += buf[i];
                if (buf[i] == '\r') {
                    m_commands.push_back({m_partial, rate});
                    replies += m_responder ? m_responder(m_partial, rate) : std::string();
                    m_partial.clear();
                }
            }
        }
        m_changed.notify_all();
        if (!replies.empty()) {
            Send(replies);
        }
    }
}

std::vector<CPeerCommand> CScriptedPeer::Commands() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

std::vector<std::string> CScriptedPeer::CommandTexts() const {
    std::vector<std::string> out;
    for (const auto& c : Commands()) {
        out.push_back(c.text);
    }
    return out;
}

bool CScriptedPeer::WaitForCommandCount(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_commands.size() >= count; });
}

bool CScriptedPeer::WaitForCommand(const std::string& text, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] {
        for (const auto& c : m_commands) {
            if (c.text == text) {
                return true;
            }
        }
        return false;
    });
}

SSerialSettings CScriptedPeer::SlaveSettings() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    SSerialSettings settings;
    if (!m_udp && m_fd >= 0) {
        ReadSerialSettings(m_fd, settings); // the master reads the slave's settings
    }
    return settings;
}

int CScriptedPeer::SlaveRate() const {
    return static_cast<int>(SlaveSettings().outputRate);
}

void CScriptedPeer::HangUp() {
    if (m_udp) {
        return;
    }
    // The thread's poll() holds a reference to the master: end the thread before closing, or
    // the pty would not hang up until that poll returned.
    if (m_thread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_stopFd, &one, sizeof(one));
        m_thread.join();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int* fd : {&m_fd, &m_slaveFd}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

std::string CAdapterScript::Respond(const std::string& command, int rate) {
    if (silent || (lockedRate != 0 && rate != 0 && rate != lockedRate)) {
        return {};
    }
    std::string out = echo ? command : std::string();
    const auto line = [&out](const std::string& text) { out += "\r\n" + text + "\r\n"; };
    const std::string cmd = command.substr(0, command.size() - 1); // without the CR
    if (cmd == "ATI") {
        line(modelLine);
    } else if (cmd == "AT%V") {
        line(versionLine);
    } else if (cmd == "ATS63?") {
        line(s63Line);
    } else if (cmd == "ATE0") {
        echo = false;
    } else if (cmd == "ATE1") {
        echo = true;
    }
    line("OK");
    if (cmd == "AT$B230400") {
        lockedRate = 230400;
    } else if (cmd == "AT$B0") {
        lockedRate = 0;
    }
    return out;
}

CScriptedPeer::Responder CAdapterScript::Bind(std::shared_ptr<CAdapterScript> script) {
    return [script](const std::string& command, int rate) { return script->Respond(command, rate); };
}

CModemHooks FastModemHooks(const std::string& lockDir, std::chrono::milliseconds replyTimeout,
                           std::shared_ptr<std::vector<std::string>> boxes) {
    CModemHooks hooks;
    hooks.serialRetryDelay = std::chrono::milliseconds(5);
    hooks.replyTimeout = replyTimeout;
    hooks.discardDelay = std::chrono::milliseconds(50);
    hooks.finalPause = std::chrono::milliseconds(1);
    hooks.lockDir = lockDir;
    if (boxes) {
        hooks.messageBox = [boxes](const std::string& text) { boxes->push_back(text); };
    }
    return hooks;
}

namespace {

// Takes input until done holds, at most limit bytes in all.
std::string TakeLinkInput(CModem& modem, const std::function<bool(const std::string&)>& done, std::size_t limit,
                          std::chrono::milliseconds timeout) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[4096];
    while (!done(got) && got.size() < limit) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !modem.WaitForInput(left)) {
            break;
        }
        const int n = modem.ReadInput(buffer, static_cast<int>(std::min(sizeof buffer, limit - got.size())));
        if (n < 0) {
            break;
        }
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

} // namespace

std::string ReadLinkInput(CModem& modem, const std::function<bool(const std::string&)>& done,
                          std::chrono::milliseconds timeout) {
    return TakeLinkInput(modem, done, std::string::npos, timeout);
}

std::string ReadLinkInput(CModem& modem, std::size_t n, std::chrono::milliseconds timeout) {
    return TakeLinkInput(
        modem, [](const std::string&) { return false; }, n, timeout);
}

std::vector<std::string> TraceTexts(const std::string& tracePath) {
    std::vector<std::string> out;
    const std::string text = ReadFileText(tracePath);
    for (const auto line : SplitLines(text)) {
        // "YYYY-MM-DD HH:MM:SS " is 20 characters.
        out.emplace_back(line.size() >= 20 ? line.substr(20) : line);
    }
    return out;
}

std::vector<std::string> TraceTexts(const std::string& tracePath, const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& line : TraceTexts(tracePath)) {
        if (line.rfind(prefix, 0) == 0) {
            out.push_back(line.substr(prefix.size()));
        }
    }
    return out;
}

bool WaitForTraceLine(const std::string& tracePath, const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (const auto& line : TraceTexts(tracePath)) {
            if (line == text) {
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        // The trace is a file written by other threads: look again shortly.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
