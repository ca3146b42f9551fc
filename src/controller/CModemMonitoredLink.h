// The line monitor's view of CModem: the link's input, its state, and the reopens with the
// start-up open's arguments.
#pragma once

#include "adapter/IMonitoredLink.h"

#include <functional>
#include <string>

class CModem;

class CModemMonitoredLink final : public IMonitoredLink {
public:
    struct SHooks {
        // Opens the link as at start-up: serial port first, or (serialOnly) the serial port alone.
        std::function<bool(bool serialOnly)> reopen;
        // The ComPort setting.
        std::function<std::string()> comPort;
    };

    CModemMonitoredLink(CModem& modem, SHooks hooks);
    int InputFd() const override;
    int ReadInput(char* buffer, int length) override;
    bool IsOpen() const override;
    bool OnSocket() const override;
    void Close() override;
    bool Reopen() override;
    bool ReopenSerial() override;
    unsigned Opens() const override;
    std::string DevicePath() const override;
    SDeviceNode HeldNode() const override;

private:
    CModem& m_modem;
    SHooks m_hooks;
};
