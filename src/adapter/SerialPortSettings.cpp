#include "adapter/SerialPortSettings.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace {

constexpr tcflag_t kRawInputOff = IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY;
constexpr tcflag_t kRawLocalOff = ECHO | ECHONL | ICANON | ISIG | IEXTEN;

// The B-constant of a standard rate (what older drivers and programs that read the port with
// cfgetospeed() understand), or BOTHER for any other rate.
tcflag_t RateCode(unsigned rate) {
    static const struct {
        unsigned rate;
        tcflag_t code;
    } kCodes[] = {{1200, B1200},     {2400, B2400},     {4800, B4800},    {9600, B9600},
                  {19200, B19200},   {38400, B38400},   {57600, B57600},  {115200, B115200},
                  {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto& c : kCodes) {
        if (c.rate == rate) {
            return c.code;
        }
    }
    return BOTHER;
}

int Get(int fd, termios2& t) {
    int rc = 0;
    do {
        rc = ::ioctl(fd, TCGETS2, &t);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
}

// A UART divides its clock, so the rate it runs at may differ a little from the one asked for;
// more than 2 % off means the driver did not take it.
bool CloseEnough(unsigned actual, unsigned wanted) {
    const unsigned long long diff = actual > wanted ? actual - wanted : wanted - actual;
    return diff * 50 <= wanted;
}

} // namespace

int ReadSerialSettings(int fd, SSerialSettings& out) {
    termios2 t{};
    if (const int err = Get(fd, t); err != 0) {
        return err;
    }
    out.inputRate = t.c_ispeed;
    out.outputRate = t.c_ospeed;
    out.raw = (t.c_iflag & kRawInputOff) == 0 && (t.c_lflag & kRawLocalOff) == 0 && (t.c_oflag & OPOST) == 0;
    out.rtsCts = (t.c_cflag & CRTSCTS) != 0;
    return 0;
}

int ApplySerialSettings(int fd, unsigned rate, SSerialSettings& actual) {
    termios2 t{};
    if (const int err = Get(fd, t); err != 0) {
        return err;
    }
    t.c_iflag &= ~kRawInputOff;
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~kRawLocalOff;
    t.c_cflag |= CREAD | CLOCAL | CRTSCTS; // Linux has no DTR/DSR flow control
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= RateCode(rate) | (RateCode(rate) << IBSHIFT);
    t.c_ispeed = rate;
    t.c_ospeed = rate;
    int rc = 0;
    do {
        rc = ::ioctl(fd, TCSETS2, &t);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        return errno;
    }
    if (const int err = ReadSerialSettings(fd, actual); err != 0) {
        return err;
    }
    // RTS/CTS is not checked: a port without handshaking lines still works, as on a driver
    // that offers no flow control at all.
    const bool taken = actual.raw && CloseEnough(actual.outputRate, rate) && CloseEnough(actual.inputRate, rate);
    return taken ? 0 : EINVAL;
}
