// What the line monitor and the link's recovery need of the adapter link.
#pragma once

#include "adapter/CSerialDevice.h"

#include <string>

class IMonitoredLink {
public:
    virtual ~IMonitoredLink() = default;
    // Polls readable while input waits for ReadInput (or the link just broke); the same
    // descriptor for the link's lifetime.
    virtual int InputFd() const = 0;
    // Takes up to length bytes of input without waiting: the count, 0 when nothing is there,
    // -1 when the link is closed or broken. Called with the link lock held.
    virtual int ReadInput(char* buffer, int length) = 0;
    // True while the link runs over the serial port or the socket, also once it broke.
    virtual bool IsOpen() const = 0;
    virtual bool OnSocket() const = 0;
    virtual void Close() = 0;
    // Opens the link again as at start-up (serial port first); true when it is up.
    virtual bool Reopen() = 0;
    // Opens the link on its serial device alone, with the whole handshake; true when it is up.
    virtual bool ReopenSerial() = 0;
    // How many opens of the link have ended so far, whoever made them.
    virtual unsigned Opens() const = 0;
    // The serial device the link is for (the ComPort setting as a path; "" for none).
    virtual std::string DevicePath() const = 0;
    // The device node the serial link holds, also once it broke (none without one).
    virtual SDeviceNode HeldNode() const = 0;
};
