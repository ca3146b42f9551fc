#include "SimPty.h"

#include "core/WriteAll.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct RateEntry {
    speed_t speed;
    int rate;
};

constexpr RateEntry kRates[] = {
    {B1200, 1200},   {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},
    {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
};

} // namespace

int SpeedToRate(unsigned speed) {
    for (const auto& r : kRates) {
        if (r.speed == speed) {
            return r.rate;
        }
    }
    return 0;
}

unsigned RateToSpeed(int rate) {
    for (const auto& r : kRates) {
        if (r.rate == rate) {
            return r.speed;
        }
    }
    return B0;
}

CSimPty::~CSimPty() {
    Close();
}

bool CSimPty::Open(const std::string& link, int rate, std::string& error) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[128];
    if (::ptsname_r(m_master, name, sizeof name) != 0) {
        error = "ptsname failed";
        return false;
    }
    m_slaveName = name;
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slave < 0) {
        error = "cannot open " + m_slaveName + ": " + std::strerror(errno);
        return false;
    }
    termios tio{};
    if (::tcgetattr(m_slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, RateToSpeed(rate));
        ::cfsetospeed(&tio, RateToSpeed(rate));
        ::tcsetattr(m_slave, TCSANOW, &tio);
    }
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify >= 0) {
        ::inotify_add_watch(m_inotify, name, IN_OPEN | IN_CLOSE);
    }

    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = link + " exists and is not a symbolic link";
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(name, link.c_str()) != 0) {
        error = "cannot create the link " + link + ": " + std::strerror(errno);
        return false;
    }
    m_link = link;
    return true;
}

void CSimPty::Close() {
    if (!m_link.empty()) {
        // Remove the link only while it still points at this terminal.
        char target[256];
        ssize_t n = ::readlink(m_link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == m_slaveName) {
            ::unlink(m_link.c_str());
        }
        m_link.clear();
    }
    for (int* fd : {&m_inotify, &m_slave, &m_master}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
    m_users = 0;
    m_slaveName.clear();
}

bool CSimPty::Read(std::string& out) {
    char buffer[1024];
    for (;;) {
        ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

bool CSimPty::Write(const std::string& bytes) {
    if (m_master < 0 || (m_inotify >= 0 && m_users == 0)) {
        return false;
    }
    return WriteAll(m_master, bytes);
}

int CSimPty::TtyRate() const {
    termios tio{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &tio) != 0) {
        return 0;
    }
    return SpeedToRate(::cfgetospeed(&tio));
}

void CSimPty::WaitUntilRead(int timeoutMs) {
    if (m_slave < 0 || m_inotify < 0) {
        return;
    }
    // Every read of the terminal by another user is an access event; the watch is made before
    // the first look at the input queue, so a read in between still wakes the wait.
    const int reads = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (reads < 0) {
        return;
    }
    ::inotify_add_watch(reads, m_slaveName.c_str(), IN_ACCESS);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int unread = 0;
        if (m_users == 0 || ::ioctl(m_slave, FIONREAD, &unread) != 0 || unread == 0) {
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        pollfd fds[] = {{reads, POLLIN, 0}, {m_inotify, POLLIN, 0}};
        if (left <= 0 || ::poll(fds, 2, static_cast<int>(left)) < 0) {
            break;
        }
        alignas(inotify_event) char events[1024];
        while (::read(reads, events, sizeof events) > 0) {
        }
        HandleWatch();
    }
    ::close(reads);
}

bool CSimPty::HandleWatch() {
    alignas(inotify_event) char buffer[4096];
    bool lastClosed = false;
    for (;;) {
        ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        for (ssize_t off = 0; off < n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buffer + off);
            if ((ev->mask & IN_OPEN) != 0) {
                ++m_users;
            }
            if ((ev->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) != 0 && m_users > 0) {
                if (--m_users == 0) {
                    lastClosed = true;
                }
            }
            off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        }
    }
    if (lastClosed && m_users == 0) {
        // Nobody has the line open: clear the exclusive mode the last user set and forget
        // what was still buffered in either direction, as on a real port.
        ::ioctl(m_slave, TIOCNXCL);
        ::tcflush(m_slave, TCIOFLUSH);
    }
    return lastClosed && m_users == 0;
}
