// The line settings of the adapter's serial port, through the kernel's termios2 interface:
// a rate without a B-constant (14400, 28800) is given in bit/s (BOTHER), a standard one by its
// B-constant, so every rate is set the same way. This lives in a file of its own because <asm/termbits.h>, which
// declares termios2, cannot be included together with <termios.h>.
#pragma once

// What the port is set to, as read back from the driver.
struct SSerialSettings {
    unsigned inputRate = 0;  // bit/s
    unsigned outputRate = 0; // bit/s
    bool raw = false;        // no canonical mode, echo, signal keys or character translation
    bool rtsCts = false;     // RTS/CTS hardware handshaking
};

// Reads the settings of the tty open on fd. Returns 0, or the errno of the failed read.
int ReadSerialSettings(int fd, SSerialSettings& out);

// Puts the tty open on fd in raw mode (reads return at once with what is there), with RTS/CTS
// handshaking and the given rate for both directions; byte size, parity and stop bits stay as
// they were. Reads the result back: 0 when the port now runs raw at that rate, otherwise the
// errno of the step that failed, or EINVAL when the driver did not take the rate or the mode.
// `actual` receives what was read back.
int ApplySerialSettings(int fd, unsigned rate, SSerialSettings& actual);
