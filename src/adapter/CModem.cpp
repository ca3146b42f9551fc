#include "adapter/CModem.h"

#include "adapter/CHandshake.h"
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
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

// The longest reply line WaitForReply keeps: 98 characters, then the CR.
constexpr std::size_t kMaxReplyChars = 98;

speed_t SpeedForRate(int rate) {
    switch (rate) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    default:
        return B0;
    }
}

std::string ErrnoText(int err) {
    return std::error_code(err, std::generic_category()).message();
}

} // namespace

std::string DefaultAdapterAddress() {
    const char* env = std::getenv("RINGVALE_ADAPTER_ADDRESS");
    return (env != nullptr && *env != '\0') ? std::string(env) : std::string("127.0.0.1");
}

CModem::CModem(CModemHooks hooks) : m_hooks(std::move(hooks)), m_serial(m_hooks.lockDir) {
    TruncateTrace();
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
    bool up = false;
    for (int attempt = 0; attempt < 2 && !up; ++attempt) {
        const bool useSerial = (attempt == 0) == serialFirst;
        up = useSerial ? TrySerial(SerialPathFromPortName(portName)) : TrySocket(address, port);
    }
    if (!up) {
        Trace("<dbg> CModem::Open() UNABLE TO OPEN MODEM CONNECTION");
        return false;
    }
    if (m_socketOpen.load()) {
        return StartSession();
    }
    ResumeReader();
    ConfigurePort(baudRate);
    if (!CHandshake(*this).RateCheck(baudRate)) {
        PauseReader();
        std::lock_guard<std::mutex> lock(m_transportMutex);
        m_serial.Close();
        m_serialOpen.store(false);
        return false;
    }
    return StartSession();
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
            Trace("<dbg> CModem::Open() on serial");
            return true;
        }
        Trace(
            StrFormat("<dbg> CModem::Open() cannot open %s: %s (errno %d)", path.c_str(), ErrnoText(err).c_str(), err));
        Trace("<dbg> CModem::Open() serial failed, waiting...");
        std::this_thread::sleep_for(m_hooks.serialRetryDelay);
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
                Trace("<dbg> recv() (peek) returned 0");
                return -1;
            }
            return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 0 : -1;
        }
        const ssize_t n = ::recv(m_socket, buffer, static_cast<std::size_t>(std::max(length, 0)), 0);
        if (n > 0) {
            return static_cast<int>(n);
        }
        if (n == 0) {
            Trace("<dbg> recv() (read) returned 0");
            return -1;
        }
        return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 0 : -1;
    }
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
        return n < 0 ? -1 : static_cast<int>(n);
    }
    return -1;
}

int CModem::WriteCommand(const std::string& text) {
    Trace("TX: " + text);
    return Write(text.data(), static_cast<int>(text.size()));
}

void CModem::ConfigurePort(int baudRate) {
    std::lock_guard<std::mutex> lock(m_transportMutex);
    if (!m_serial.IsOpen()) {
        return;
    }
    const int fd = m_serial.Fd();
    termios old{};
    const speed_t speed = SpeedForRate(baudRate);
    if (::tcgetattr(fd, &old) != 0 || speed == B0) {
        return; // no tty, or a rate the port does not have: leave everything as it is
    }
    termios t = old;
    ::cfmakeraw(&t);
    // Byte size, parity and stop bits stay as the port had them.
    constexpr tcflag_t kKept = CSIZE | PARENB | PARODD | CSTOPB;
    t.c_cflag = (t.c_cflag & ~kKept) | (old.c_cflag & kKept);
    t.c_cflag |= CREAD | CLOCAL | CRTSCTS; // RTS/CTS handshaking; Linux has no DTR/DSR flow control
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    int rc = 0;
    do {
        rc = ::tcsetattr(fd, TCSANOW, &t);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        return;
    }
    termios back{};
    if (::tcgetattr(fd, &back) == 0 &&
        (::cfgetospeed(&back) != speed || ::cfgetispeed(&back) != speed || (back.c_lflag & (ICANON | ECHO)) != 0)) {
        Trace(StrFormat("<dbg> CModem::ConfigurePort() settings mismatch after setting %d baud", baudRate));
    }
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
    if (delay.count() > 0) {
        // The adapter's echo and any rate-change garbage arrive during this time; all of it goes.
        std::this_thread::sleep_for(delay);
    }
    std::lock_guard<std::mutex> lock(m_queueMutex);
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
    while (std::chrono::steady_clock::now() < deadline) {
        if (m_queue.empty() && !m_queueCv.wait_until(lock, deadline, [&] { return !m_queue.empty(); })) {
            break;
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

bool CModem::StartSession() {
    CHandshake handshake(*this);
    return m_socketOpen.load() ? handshake.StartSocketSession() : handshake.StartSerialSession();
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
