// The line monitor's view of CModem: the byte queue, the wait for bytes and the reopen with
// the start-up open's arguments.
#pragma once

#include "adapter/CLineMonitor.h"

#include <functional>

class CModem;

class CModemMonitoredLink final : public IMonitoredLink {
public:
    CModemMonitoredLink(CModem& modem, std::function<bool()> reopen);
    int ReadQueued(char* buffer, int length) override;
    bool WaitForData(std::chrono::milliseconds timeout, std::uint64_t generation) override;
    std::uint64_t InterruptGeneration() override;
    void InterruptWait() override;
    bool OnSocket() const override;
    void Close() override;
    bool Reopen() override;

private:
    CModem& m_modem;
    std::function<bool()> m_reopen;
};
