#include "controller/CModemMonitoredLink.h"

#include "adapter/CModem.h"

#include <utility>

CModemMonitoredLink::CModemMonitoredLink(CModem& modem, SHooks hooks) : m_modem(modem), m_hooks(std::move(hooks)) {}

int CModemMonitoredLink::InputFd() const {
    return m_modem.InputFd();
}

int CModemMonitoredLink::ReadInput(char* buffer, int length) {
    return m_modem.ReadInput(buffer, length);
}

bool CModemMonitoredLink::IsOpen() const {
    return m_modem.IsOpen();
}

bool CModemMonitoredLink::OnSocket() const {
    return m_modem.OnSocket();
}

void CModemMonitoredLink::Close() {
    m_modem.Close();
}

bool CModemMonitoredLink::Reopen() {
    return m_hooks.reopen ? m_hooks.reopen(false) : false;
}

bool CModemMonitoredLink::ReopenSerial() {
    return m_hooks.reopen ? m_hooks.reopen(true) : false;
}

unsigned CModemMonitoredLink::Opens() const {
    return m_modem.Opens();
}

std::string CModemMonitoredLink::DevicePath() const {
    return m_hooks.comPort ? SerialPathFromPortName(m_hooks.comPort()) : std::string();
}

SDeviceNode CModemMonitoredLink::HeldNode() const {
    return m_modem.SerialNode();
}
