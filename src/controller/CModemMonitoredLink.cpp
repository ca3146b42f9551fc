#include "controller/CModemMonitoredLink.h"

#include "adapter/CModem.h"

#include <utility>

CModemMonitoredLink::CModemMonitoredLink(CModem& modem, std::function<bool()> reopen)
    : m_modem(modem), m_reopen(std::move(reopen)) {}

int CModemMonitoredLink::ReadQueued(char* buffer, int length) {
    return m_modem.ReadQueued(buffer, length);
}

bool CModemMonitoredLink::WaitForData(std::chrono::milliseconds timeout, std::uint64_t generation) {
    return m_modem.WaitForData(timeout, generation);
}

std::uint64_t CModemMonitoredLink::InterruptGeneration() {
    return m_modem.InterruptGeneration();
}

void CModemMonitoredLink::InterruptWait() {
    m_modem.InterruptWait();
}

bool CModemMonitoredLink::OnSocket() const {
    return m_modem.OnSocket();
}

void CModemMonitoredLink::Close() {
    m_modem.Close();
}

bool CModemMonitoredLink::Reopen() {
    return m_reopen ? m_reopen() : false;
}
