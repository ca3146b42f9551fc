#include "adapter/CModem.h"

#include "adapter/CHandshake.h"
#include "adapter/SerialPortSettings.h"
#include "core/Format.h"
#include "core/Trace.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
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
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0) {
        // Without it the reader could never be paused or stopped: run without a reader, and
        // let every Open fail with this reason.
        m_wakeError = errno;
        Trace(StrFormat("<dbg> CModem::CModem() failed on eventfd(): %s", ErrnoText(m_wakeError).c_str()));
        return;
    }
    m_reader = std::thread([this] { ReaderLoop(); });
}

CModem::~CModem() {
    if (!m_socketOpen.load()) {
        Close();
    }
    m_stop.store(true);
    WakeReader();
    if (m_reader.joinable()) {
        m_reader.join();
    }
    {
        std::lock_guard<std::mutex> lock(m_transportMutex);
        m_serial.Close();
    }
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
    }
    if (m_socket >= 0) {
        ::close(m_socket);
    }
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

bool CModem::Open(const std::string& portName, int baudRate, const std::string& address, int port, bool serialFirst) {
    Close();
    SetProblem({});
    if (m_aborted.load()) {
        Trace("<dbg> CModem::Open() not tried: the program is ending");
        SetProblem({ECANCELED, "the program is ending"});
        return false;
    }
    if (m_wakeFd < 0) {
        const std::string text = "its wake-up event could not be created: " + ErrnoText(m_wakeError);
        Trace("<dbg> CModem::Open() cannot run the link: " + text);
        SetProblem({m_wakeError, text});
        return false;
    }
    bool up = false;
    for (int attempt = 0; attempt < 2 && !up && !m_aborted.load(); ++attempt) {
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
    ResumeReader();
    if (!ConfigurePort(baudRate) || !CHandshake(*this).RateCheck(baudRate)) {
        if (LastOpenProblem().text.empty()) {
            SetProblem({0, "the adapter does not answer on this port"});
        }
        PauseReader();
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
    // Forget an error left over from an earlier session (e.g. port unreachable), so the reader
    // does not take it for a broken link at once.
    int pending = 0;
    socklen_t len = sizeof(pending);
    ::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &pending, &len);
    Trace("<dbg> CModem::Open() on socket");
    m_socketOpen.store(true);
    ResumeReader();
    return true;
}

void CModem::Close() {
    WriteCommand("AT$V0\r");
    WriteCommand("ATE1\r");
    PauseReader();
    {
        std::lock_guard<std::mutex> lock(m_transportMutex);
        m_serial.Close();
        m_serialOpen.store(false);
        m_socketOpen.store(false);
    }
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_queue.clear();
    m_queue.shrink_to_fit();
}

void CModem::AbortOpens() {
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_aborted.store(true);
    }
    m_queueCv.notify_all();
}

bool CModem::Pause(std::chrono::milliseconds delay) {
    std::unique_lock<std::mutex> lock(m_queueMutex);
    m_queueCv.wait_for(lock, delay, [this] { return m_aborted.load(); });
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

// ---------------------------------------------------------------------------------------------
// Transport reads and writes

int CModem::SerialLookAhead(int fd) {
    int waiting = 0;
    if (::ioctl(fd, TIOCINQ, &waiting) != 0) {
        return -1;
    }
    if (waiting > 0) {
        return waiting;
    }
    // Nothing waiting: a hung-up device (pty master closed, USB adapter unplugged) shows here.
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        return -1;
    }
    return 0;
}

int CModem::ReadD(char* buffer, int length) {
    std::lock_guard<std::mutex> lock(m_transportMutex);
    if (m_serial.IsOpen()) {
        const int fd = m_serial.Fd();
        if (buffer == nullptr) {
            return SerialLookAhead(fd);
        }
        const int waiting = SerialLookAhead(fd);
        if (waiting <= 0) {
            return waiting;
        }
        const ssize_t n = ::read(fd, buffer, static_cast<std::size_t>(std::max(length, 0)));
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return 0;
        }
        if (n <= 0 && length > 0) {
            Trace("<dbg> readfile() (read) returned 0");
            return -1;
        }
        return static_cast<int>(n);
    }
    if (m_socketOpen.load()) {
        if (buffer == nullptr) {
            // MSG_TRUNC makes the peek report the datagram's whole length, so a datagram longer
            // than any scratch buffer is read whole afterwards instead of being cut short.
            char scratch[1];
            const ssize_t n = ::recv(m_socket, scratch, sizeof(scratch), MSG_PEEK | MSG_TRUNC);
            if (n > 0) {
                return static_cast<int>(std::min<ssize_t>(n, 65536));
            }
            if (n == 0) {
                // An empty datagram carries nothing; it is taken out of the socket, or it would
                // hide every datagram behind it.
                Trace("<dbg> recv() (peek) returned 0: empty datagram dropped");
                [[maybe_unused]] const ssize_t dropped = ::recv(m_socket, scratch, sizeof(scratch), 0);
                return 0;
            }
            return SocketReceiveError();
        }
        const ssize_t n = ::recv(m_socket, buffer, static_cast<std::size_t>(std::max(length, 0)), 0);
        if (n > 0) {
            return static_cast<int>(n);
        }
        if (n == 0) {
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
    std::lock_guard<std::mutex> lock(m_transportMutex);
    if (m_serial.IsOpen()) {
        // Bounded like the port's write time-outs: 16 ms per byte plus 64 ms, so a stalled
        // line (flow control never released) cannot hang the caller.
        const int fd = m_serial.Fd();
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
    if (m_socketOpen.load()) {
        const ssize_t n = ::send(m_socket, bytes, static_cast<std::size_t>(length), 0);
        if (n < 0) {
            Trace(StrFormat("<dbg> send() failed: %s", ErrnoText(errno).c_str()));
            return -1;
        }
        return static_cast<int>(n);
    }
    return -1;
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
// The byte queue

void CModem::AppendToQueue(const char* bytes, int count) {
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_queue.insert(m_queue.end(), bytes, bytes + count);
    }
    m_queueCv.notify_all();
}

int CModem::ReadQueued(char* buffer, int length) {
    std::lock_guard<std::mutex> lock(m_queueMutex);
    if (buffer == nullptr) {
        return static_cast<int>(m_queue.size());
    }
    const auto n = std::min<std::size_t>(m_queue.size(), static_cast<std::size_t>(std::max(length, 0)));
    std::copy_n(m_queue.begin(), n, buffer);
    m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(n));
    if (m_queue.empty()) {
        m_queue.shrink_to_fit();
    }
    return static_cast<int>(n);
}

std::string CModem::ReadQueued(std::size_t maxBytes) {
    std::string out(std::min<std::size_t>(maxBytes, 1 << 20), '\0');
    out.resize(static_cast<std::size_t>(ReadQueued(out.data(), static_cast<int>(out.size()))));
    return out;
}

bool CModem::WaitForData(std::chrono::milliseconds timeout) {
    return WaitForData(timeout, InterruptGeneration());
}

bool CModem::WaitForData(std::chrono::milliseconds timeout, std::uint64_t generation) {
    std::unique_lock<std::mutex> lock(m_queueMutex);
    m_queueCv.wait_for(lock, timeout, [&] { return !m_queue.empty() || m_interruptCount != generation; });
    return !m_queue.empty();
}

std::uint64_t CModem::InterruptGeneration() {
    std::lock_guard<std::mutex> lock(m_queueMutex);
    return m_interruptCount;
}

void CModem::InterruptWait() {
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        ++m_interruptCount;
    }
    m_queueCv.notify_all();
}

void CModem::DrainInput(int milliseconds) {
    DrainInput(std::chrono::milliseconds(std::max(milliseconds, 0)));
}

void CModem::DrainInput(std::chrono::milliseconds delay) {
    std::unique_lock<std::mutex> lock(m_queueMutex);
    if (delay.count() > 0) {
        // The adapter's echo and any rate-change garbage arrive during this time; all of it goes.
        m_queueCv.wait_for(lock, delay, [this] { return m_aborted.load(); });
    }
    m_queue.clear();
    m_queue.shrink_to_fit();
}

bool CModem::WaitForReply(const std::string& expected, int timeoutMs) {
    return WaitForReply(expected, std::chrono::milliseconds(timeoutMs));
}

bool CModem::WaitForReply(const std::string& expected, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string line;
    std::unique_lock<std::mutex> lock(m_queueMutex);
    while (std::chrono::steady_clock::now() < deadline && !m_aborted.load()) {
        if (m_queue.empty() &&
            !m_queueCv.wait_until(lock, deadline, [&] { return !m_queue.empty() || m_aborted.load(); })) {
            break;
        }
        if (m_queue.empty()) {
            break; // the program is ending
        }
        const char c = m_queue.front();
        m_queue.pop_front();
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
        lock.unlock();
        Trace("RX: " + line);
        int value = 0;
        if (m_s63Expected.load() && line[0] >= '0' && line[0] <= '9' && ScanInt(line, value)) {
            m_s63Value.store(value);
            m_s63Expected.store(false);
        }
        const bool match = line.find(expected) != std::string::npos;
        lock.lock();
        if (match) {
            return true;
        }
        line.clear();
    }
    return false;
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

// ---------------------------------------------------------------------------------------------
// The reader thread

void CModem::WakeReader() {
    const std::uint64_t one = 1;
    if (m_wakeFd >= 0) {
        [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof(one));
    }
}

void CModem::PauseReader() {
    if (!m_reader.joinable()) {
        return; // no reader thread: nothing reads
    }
    {
        std::lock_guard<std::mutex> lock(m_ackMutex);
        m_pausedAck = false;
    }
    m_pause.store(true);
    WakeReader();
    std::unique_lock<std::mutex> lock(m_ackMutex);
    m_ackCv.wait(lock, [this] { return m_pausedAck; });
}

void CModem::ResumeReader() {
    m_pause.store(false);
    WakeReader();
}

void CModem::ReaderLoop() {
    std::vector<char> buffer;
    while (!m_stop.load()) {
        if (m_pause.load()) {
            {
                std::lock_guard<std::mutex> lock(m_ackMutex);
                m_pausedAck = true;
            }
            m_ackCv.notify_all();
            // Sleep until Open, Close or the destructor wakes us.
            pollfd p{m_wakeFd, POLLIN, 0};
            const int ready = ::poll(&p, 1, -1);
            m_wakeups.fetch_add(1);
            if (ready > 0) {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &count, sizeof(count));
            }
            continue;
        }
        int fd = -1;
        {
            std::lock_guard<std::mutex> lock(m_transportMutex);
            fd = m_serial.IsOpen() ? m_serial.Fd() : (m_socketOpen.load() ? m_socket : -1);
        }
        if (fd >= 0) {
            pollfd p[2] = {{m_wakeFd, POLLIN, 0}, {fd, POLLIN, 0}};
            const int ready = ::poll(p, 2, -1);
            m_wakeups.fetch_add(1);
            if (ready < 0) {
                continue; // EINTR
            }
            if (p[0].revents != 0) {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &count, sizeof(count));
                continue; // a request: look at the flags again
            }
        }
        const int waiting = ReadD(nullptr, 0);
        if (waiting < 0) {
            Trace("<dbg> ReadD() returned -1, pausing thread");
            m_pause.store(true);
            continue;
        }
        if (waiting == 0) {
            continue;
        }
        buffer.resize(static_cast<std::size_t>(waiting));
        const int got = ReadD(buffer.data(), waiting);
        if (got > 0) {
            AppendToQueue(buffer.data(), got);
        }
    }
}
