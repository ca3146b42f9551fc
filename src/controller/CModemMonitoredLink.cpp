#include "controller/CModemMonitoredLink.h"

#include "adapter/CModem.h"

#include <utility>

CModemMonitoredLink::CModemMonitoredLink(CModem& modem, std::function<bool()> reopen)
    : m_modem(modem), m_reopen(std::move(reopen)) {}

int CModemMonitoredLink::InputFd() const {
    return m_modem.InputFd();
}

int CModemMonitoredLink::ReadInput(char* buffer, int length) {
    return m_modem.ReadInput(buffer, length);
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
