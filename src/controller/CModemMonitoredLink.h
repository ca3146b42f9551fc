// The line monitor's view of CModem: the link's input and the reopen with the start-up open's
// arguments.
#pragma once

#include "adapter/CLineMonitor.h"

#include <functional>

class CModem;

class CModemMonitoredLink final : public IMonitoredLink {
public:
    CModemMonitoredLink(CModem& modem, std::function<bool()> reopen);
    int InputFd() const override;
    int ReadInput(char* buffer, int length) override;
    bool OnSocket() const override;
    void Close() override;
    bool Reopen() override;

private:
    CModem& m_modem;
    std::function<bool()> m_reopen;
};
