#include "adapter/CModem.h"

#include "adapter/CHandshake.h"
#include "adapter/SerialPortSettings.h"
#include "core/Format.h"
#include "core/Trace.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

// The longest reply line WaitForReply keeps: 98 characters, then the CR.
constexpr std::size_t kMaxReplyChars = 98;

// The rate a port is given when the Baud setting names none (empty or 0): the setting's default.
constexpr int kDefaultRate = 115200;

std::string ErrnoText(int err) {
    return std::error_code(err, std::generic_category()).message();
}

} // namespace

std::string DefaultAdapterAddress() {
    const char* env = std::getenv("RINGVALE_ADAPTER_ADDRESS");
    return (env != nullptr && *env != '\0') ? std::string(env) : std::string("127.0.0.1");
}

CModem::CModem(CModemHooks hooks) : m_hooks(std::move(hooks)), m_serial(m_hooks.lockDir) {
    m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_socket >= 0) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_ANY);
        local.sin_port = 0;
        if (::bind(m_socket, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
            const int err = errno;
            ::close(m_socket);
            m_socket = -1;
            errno = err;
        }
    }
    if (m_socket < 0) {
        Trace(StrFormat("<dbg> CModem::CModem() failed on socket Create(): 0x%8.8X", static_cast<unsigned>(errno)));
    }
    // The input set is what a reader waits on. It holds the transport's descriptor without
    // holding the device open, so a close from another thread takes effect at once.
    m_inputFd = ::epoll_create1(EPOLL_CLOEXEC);
    m_bufferedFd = m_inputFd < 0 ? -1 : ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_abortFd = m_bufferedFd < 0 ? -1 : ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event buffered{};
    buffered.events = EPOLLIN;
    buffered.data.fd = m_bufferedFd;
    if (m_abortFd < 0 || ::epoll_ctl(m_inputFd, EPOLL_CTL_ADD, m_bufferedFd, &buffered) != 0) {
        // Without them nobody could wait for the adapter: every Open fails with this reason.
        m_waitError = errno;
        Trace(StrFormat("<dbg> CModem::CModem() failed on epoll/eventfd: %s", ErrnoText(m_waitError).c_str()));
        for (int* fd : {&m_abortFd, &m_bufferedFd, &m_inputFd}) {
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
            }
        }
        return;
    }
    m_buffer.resize(65536);
}

CModem::~CModem() {
    if (!m_socketOpen.load()) {
        Close();
    }
    {
        std::lock_guard<std::mutex> lock(m_transportMutex);
        m_serial.Close();
    }
    for (const int fd : {m_abortFd, m_bufferedFd, m_inputFd, m_socket}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

bool CModem::Open(const std::string& portName, int baudRate, const std::string& address, int port, bool serialFirst) {
    const bool up = OpenTransports(portName, baudRate, address, port, serialFirst, true);
    ++m_opens;
    return up;
}

bool CModem::OpenSerial(const std::string& portName, int baudRate) {
    const bool up = OpenTransports(portName, baudRate, {}, 0, true, false);
    ++m_opens;
    return up;
}

bool CModem::OpenTransports(const std::string& portName, int baudRate, const std::string& address, int port,
                            bool serialFirst, bool socketToo) {
    Close();
    SetProblem({});
    if (m_aborted.load()) {
        Trace("<dbg> CModem::Open() not tried: the program is ending");
        SetProblem({ECANCELED, "the program is ending"});
        return false;
    }
    if (m_inputFd < 0) {
        const std::string text = "its wait descriptors could not be created: " + ErrnoText(m_waitError);
        Trace("<dbg> CModem::Open() cannot run the link: " + text);
        SetProblem({m_waitError, text});
        return false;
    }
    bool up = false;
    for (int attempt = 0; attempt < (socketToo ? 2 : 1) && !up && !m_aborted.load(); ++attempt) {
        const bool useSerial = (attempt == 0) == serialFirst;
        up = useSerial ? TrySerial(SerialPathFromPortName(portName)) : TrySocket(address, port);
    }
    if (!up) {
        Trace("<dbg> CModem::Open() UNABLE TO OPEN MODEM CONNECTION");
        return false;
    }
    if (m_socketOpen.load()) {
        // Over the socket right after the program's own dial-up connection came up, a silent
        // adapter is worth a message box; as the fallback for a serial port that failed, the
        // caller reports the serial port's reason instead.
        if (StartSession(!serialFirst)) {
            SetProblem({});
            return true;
        }
        if (LastOpenProblem().text.empty()) {
            SetProblem({0, "the adapter does not answer over the network"});
        }
        return false;
    }
    if (!ConfigurePort(baudRate) || !CHandshake(*this).RateCheck(baudRate)) {
        if (LastOpenProblem().text.empty()) {
            SetProblem({0, "the adapter does not answer on this port"});
        }
        UnwatchTransport();
        DiscardInput();
        std::lock_guard<std::mutex> lock(m_transportMutex);
        m_serial.Close();
        m_serialOpen.store(false);
        return false;
    }
    if (StartSession(true)) {
        SetProblem({}); // a rate the rate check tried and the port refused is no problem now
        return true;
    }
    SetProblem({0, "the device on this port is not a 3Com ImpactIQ with firmware 3.2x"});
    return false;
}

bool CModem::TrySerial(const std::string& path) {
    Trace("<dbg> CModem::Open() trying serial");
    for (int i = 0; i < m_hooks.serialTries; ++i) {
        int err = 0;
        bool opened = false;
        {
            std::lock_guard<std::mutex> lock(m_transportMutex);
            opened = m_serial.Open(path, err);
            m_serialOpen.store(opened);
        }
        if (opened) {
            SetProblem({});
            Trace("<dbg> CModem::Open() on serial");
            WatchTransport(m_serial.Fd());
            return true;
        }
        SetProblem({err, ErrnoText(err)});
        Trace(
            StrFormat("<dbg> CModem::Open() cannot open %s: %s (errno %d)", path.c_str(), ErrnoText(err).c_str(), err));
        Trace("<dbg> CModem::Open() serial failed, waiting...");
        if (!Pause(m_hooks.serialRetryDelay)) {
            break;
        }
    }
    return false;
}

bool CModem::TrySocket(const std::string& address, int port) {
    Trace("<dbg> CModem::Open() trying socket");
    if (m_socket < 0 || port <= 0 || port > 65535) {
        return false;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) {
        return false;
    }
    if (::connect(m_socket, reinterpret_cast<sockaddr*>(&peer), sizeof(peer)) != 0) {
        return false;
    }
    // Forget an error left over from an earlier session (e.g. port unreachable), so the first
    // read does not take it for a broken link.
    int pending = 0;
    socklen_t len = sizeof(pending);
    ::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &pending, &len);
    Trace("<dbg> CModem::Open() on socket");
    m_socketOpen.store(true);
    WatchTransport(m_socket);
    return true;
}

void CModem::Close() {
    WriteCommand("AT$V0\r");
    WriteCommand("ATE1\r");
    UnwatchTransport();
    {
        std::lock_guard<std::mutex> lock(m_transportMutex);
        m_serial.Close();
        m_serialOpen.store(false);
        m_socketOpen.store(false);
    }
    DiscardInput();
}

void CModem::AbortOpens() {
    m_aborted.store(true);
    if (m_abortFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_abortFd, &one, sizeof(one));
    }
}

bool CModem::Pause(std::chrono::milliseconds delay) {
    const auto deadline = std::chrono::steady_clock::now() + delay;
    while (!m_aborted.load()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{m_abortFd, POLLIN, 0}; // without it (no link can open then) poll only waits
        ::poll(&p, 1, static_cast<int>(std::min<std::int64_t>(left.count(), INT32_MAX)));
    }
    return !m_aborted.load();
}

CModem::SOpenProblem CModem::LastOpenProblem() const {
    std::lock_guard<std::mutex> lock(m_problemMutex);
    return m_problem;
}

void CModem::SetProblem(SOpenProblem problem) {
    std::lock_guard<std::mutex> lock(m_problemMutex);
    m_problem = std::move(problem);
}

bool CModem::IsOpen() const {
    return m_serialOpen.load() || m_socketOpen.load();
}

bool CModem::OnSocket() const {
    return m_socketOpen.load();
}

bool CModem::OnSerial() const {
    return m_serialOpen.load();
}

SDeviceNode CModem::SerialNode() const {
    std::lock_guard<std::mutex> lock(m_transportMutex);
    return m_serial.Node();
}

// ---------------------------------------------------------------------------------------------
// Transport reads and writes

namespace {

// A tty whose other end is gone (pty master closed, USB adapter unplugged) polls as hung up.
bool HungUp(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

} // namespace

int CModem::ReadD(char* buffer, int length) {
    std::lock_guard<std::mutex> lock(m_transportMutex);
    const auto size = static_cast<std::size_t>(std::max(length, 0));
    if (m_serial.IsOpen()) {
        const int fd = m_serial.Fd();
        const ssize_t n = ::read(fd, buffer, size);
        if (n > 0) {
            return static_cast<int>(n);
        }
        // Nothing read: nothing waiting (a raw tty reads 0 or fails with EAGAIN), or the
        // device is gone.
        const int err = n < 0 ? errno : 0;
        if (HungUp(fd)) {
            return -1;
        }
        if (n == 0 || err == EAGAIN || err == EINTR) {
            return 0;
        }
        Trace("<dbg> readfile() (read) returned 0");
        return -1;
    }
    if (m_socketOpen.load()) {
        const ssize_t n = ::recv(m_socket, buffer, size, 0);
        if (n > 0) {
            return static_cast<int>(n);
        }
        if (n == 0) {
            // An empty datagram carries nothing; the link keeps listening.
            Trace("<dbg> recv() (read) returned 0: empty datagram dropped");
            return 0;
        }
        return SocketReceiveError();
    }
    return -1;
}

int CModem::SocketReceiveError() {
    const int err = errno;
    if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR) {
        return 0;
    }
    if (err == ECONNREFUSED || err == EHOSTUNREACH || err == ENETUNREACH) {
        // The network answered an earlier datagram with an error (nobody on the adapter's
        // port yet, or no route for a moment). Reading it cleared it; the adapter may answer
        // the next one, so the link keeps listening.
        Trace(StrFormat("<dbg> recv() failed: %s; still listening", ErrnoText(err).c_str()));
        return 0;
    }
    Trace(StrFormat("<dbg> recv() failed: %s", ErrnoText(err).c_str()));
    return -1;
}

int CModem::Write(const char* bytes, int length) {
    if (bytes == nullptr || length < 0) {
        return -1;
    }
    int written = -1;
    {
        std::lock_guard<std::mutex> lock(m_transportMutex);
        if (!m_serial.IsOpen()) {
            return SendDatagram(bytes, length);
        }
        written = WriteSerial(m_serial.Fd(), bytes, length);
    }
    if (written > 0) {
        // On a pseudo-terminal (the simulator, a serial port served over the network) a kernel
        // worker woken by this write carries the bytes to the other end. It may be queued
        // behind this thread, which goes on with long work (the window thread repaints after
        // answering a call) and would hold it back for a whole scheduler slice. Nothing waits
        // when this CPU has nothing else to run.
        sched_yield();
    }
    return written;
}

int CModem::WriteSerial(int fd, const char* bytes, int length) {
    // Bounded like the port's write time-outs: 16 ms per byte plus 64 ms, so a stalled line
    // (flow control never released) cannot hang the caller.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(16LL * length + 64);
    int written = 0;
    while (written < length) {
        const ssize_t n = ::write(fd, bytes + written, static_cast<std::size_t>(length - written));
        if (n > 0) {
            written += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return written > 0 ? written : -1;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(left.count()));
    }
    return written;
}

int CModem::SendDatagram(const char* bytes, int length) {
    if (!m_socketOpen.load()) {
        return -1;
    }
    const ssize_t n = ::send(m_socket, bytes, static_cast<std::size_t>(length), 0);
    if (n < 0) {
        Trace(StrFormat("<dbg> send() failed: %s", ErrnoText(errno).c_str()));
        return -1;
    }
    return static_cast<int>(n);
}

int CModem::WriteCommand(const std::string& text) {
    Trace("TX: " + text);
    return Write(text.data(), static_cast<int>(text.size()));
}

bool CModem::ConfigurePort(int baudRate) {
    int rate = baudRate;
    if (rate <= 0) {
        Trace(StrFormat("<dbg> CModem::ConfigurePort() no rate configured (%d): using %d", baudRate, kDefaultRate));
        rate = kDefaultRate;
    }
    int err = 0;
    SSerialSettings actual;
    {
        std::lock_guard<std::mutex> lock(m_transportMutex);
        if (!m_serial.IsOpen()) {
            return false;
        }
        err = ApplySerialSettings(m_serial.Fd(), static_cast<unsigned>(rate), actual);
    }
    if (err == 0) {
        return true;
    }
    Trace(StrFormat("<dbg> CModem::ConfigurePort() %d baud refused: %s (the port reads back %u baud, %s)", rate,
                    ErrnoText(err).c_str(), actual.outputRate, actual.raw ? "raw" : "not raw"));
    SetProblem({err, StrFormat("the port does not take %d baud (%s)", rate, ErrnoText(err).c_str())});
    return false;
}

// ---------------------------------------------------------------------------------------------
// Input

void CModem::WatchTransport(int fd) {
    UnwatchTransport();
    m_broken = false;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = fd;
    if (::epoll_ctl(m_inputFd, EPOLL_CTL_ADD, fd, &ev) == 0) {
        m_watchedFd = fd;
    } else {
        Trace(StrFormat("<dbg> CModem: cannot wait for input: %s", ErrnoText(errno).c_str()));
    }
}

void CModem::UnwatchTransport() {
    if (m_watchedFd >= 0) {
        ::epoll_ctl(m_inputFd, EPOLL_CTL_DEL, m_watchedFd, nullptr);
        m_watchedFd = -1;
    }
}

void CModem::SignalBuffered() {
    const bool buffered = m_bufferAt < m_bufferEnd;
    if (buffered == m_bufferedSignalled || m_bufferedFd < 0) {
        return;
    }
    std::uint64_t count = 1;
    if (buffered) {
        [[maybe_unused]] const ssize_t n = ::write(m_bufferedFd, &count, sizeof(count));
    } else {
        [[maybe_unused]] const ssize_t n = ::read(m_bufferedFd, &count, sizeof(count));
    }
    m_bufferedSignalled = buffered;
}

int CModem::Fill() {
    m_bufferAt = m_bufferEnd = 0;
    if (m_broken || m_buffer.empty()) {
        return -1;
    }
    const int n = ReadD(m_buffer.data(), static_cast<int>(m_buffer.size()));
    if (n < 0) {
        if (IsOpen()) {
            // The device went away or the socket failed: stop waiting for it until the next Open.
            Trace("<dbg> ReadD() returned -1, pausing thread");
            m_broken = true;
            UnwatchTransport();
        }
        return -1;
    }
    m_bufferEnd = static_cast<std::size_t>(n);
    return n;
}

int CModem::ReadInput(char* buffer, int length) {
    if (m_bufferAt == m_bufferEnd && Fill() < 0) {
        return -1;
    }
    const auto n = std::min(m_bufferEnd - m_bufferAt, static_cast<std::size_t>(std::max(length, 0)));
    std::copy_n(m_buffer.begin() + static_cast<std::ptrdiff_t>(m_bufferAt), n, buffer);
    m_bufferAt += n;
    SignalBuffered();
    return static_cast<int>(n);
}

bool CModem::WaitForInput(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (m_inputFd >= 0 && !m_aborted.load()) {
        pollfd p[2] = {{m_abortFd, POLLIN, 0}, {m_inputFd, POLLIN, 0}};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const int ready = ::poll(p, 2, static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, INT32_MAX)));
        if (ready > 0) {
            return p[1].revents != 0 && !m_aborted.load();
        }
        if (ready == 0 || errno != EINTR) {
            break;
        }
    }
    return false;
}

void CModem::DiscardInput() {
    m_bufferAt = m_bufferEnd = 0;
    SignalBuffered();
}

void CModem::DrainInput(int milliseconds) {
    DrainInput(std::chrono::milliseconds(std::max(milliseconds, 0)));
}

void CModem::DrainInput(std::chrono::milliseconds delay) {
    // The adapter's echo and any rate-change garbage arrive during this time; all of it goes.
    if (delay.count() > 0) {
        Pause(delay);
    }
    // What is there now, not what keeps coming: a device that never stops cannot hold us here.
    for (int i = 0; i < 64 && Fill() > 0; ++i) {
    }
    DiscardInput();
}

bool CModem::WaitForReply(const std::string& expected, int timeoutMs) {
    return WaitForReply(expected, std::chrono::milliseconds(timeoutMs));
}

bool CModem::WaitForReply(const std::string& expected, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string line;
    bool match = false;
    while (!match && !m_aborted.load()) {
        if (m_bufferAt == m_bufferEnd) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                break; // also when the device keeps sending: the time limit holds
            }
            const int n = Fill();
            if (n < 0) {
                break; // closed or broken: no reply can come
            }
            if (n == 0 && !WaitForInput(left)) {
                break;
            }
            continue;
        }
        const char c = m_buffer[m_bufferAt++];
        if (c == '\n') {
            continue;
        }
        if (c != '\r') {
            if (line.size() < kMaxReplyChars) {
                line += c; // characters beyond the 98th are dropped; the line still ends at CR
            }
            continue;
        }
        line += c;
        Trace("RX: " + line);
        int value = 0;
        if (m_s63Expected.load() && line[0] >= '0' && line[0] <= '9' && ScanInt(line, value)) {
            m_s63Value.store(value);
            m_s63Expected.store(false);
        }
        match = line.find(expected) != std::string::npos;
        line.clear();
    }
    SignalBuffered();
    return match;
}

// ---------------------------------------------------------------------------------------------
// The handshake's state

bool CModem::StartSession(bool socketFailureBox) {
    CHandshake handshake(*this);
    return m_socketOpen.load() ? handshake.StartSocketSession(socketFailureBox) : handshake.StartSerialSession();
}

void CModem::SetS63Expected(bool expected) {
    m_s63Expected.store(expected);
}

bool CModem::S63Expected() const {
    return m_s63Expected.load();
}

int CModem::S63Value() const {
    return m_s63Value.load();
}

int CModem::SReg63() const {
    return m_hooks.getSReg63 ? m_hooks.getSReg63() : m_ownSReg63.load();
}

void CModem::SetSReg63(int value) {
    if (m_hooks.setSReg63) {
        m_hooks.setSReg63(value);
    } else {
        m_ownSReg63.store(value);
    }
}
