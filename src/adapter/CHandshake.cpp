#include "adapter/CHandshake.h"

#include "adapter/CModem.h"
#include "core/Format.h"

namespace {
constexpr int kHighRate = 230400;
constexpr int kLowRate = 115200;
} // namespace

bool CHandshake::WaitOk() {
    return m_modem.WaitForReply("OK\r", m_modem.Hooks().replyTimeout);
}

bool CHandshake::CommandOk(const char* command) {
    m_modem.WriteCommand(command);
    return WaitOk();
}

void CHandshake::Fail(const std::string& message) {
    // A program that is ending shows no more boxes.
    if (m_modem.Hooks().messageBox && !message.empty() && !m_modem.Aborted()) {
        m_modem.Hooks().messageBox(message);
    }
    m_modem.Close();
}

bool CHandshake::RateCheck(int baudRate) {
    const auto discard = m_modem.Hooks().discardDelay;
    m_modem.DrainInput(0);
    if (CommandOk("ATV1\r")) {
        return true;
    }
    // Configured for the high rate: the adapter may still run at the lower one, so talk to it
    // there and move it up. Configured for any other rate: the adapter may be locked at the
    // high rate, so talk to it there and unlock it.
    const bool moveUp = baudRate == kHighRate;
    m_modem.ConfigurePort(moveUp ? kLowRate : kHighRate);
    m_modem.WriteCommand(moveUp ? "AT\r" : "ATV1\r");
    m_modem.DrainInput(discard);
    if (!CommandOk("ATV1\r")) {
        return false;
    }
    m_modem.WriteCommand(moveUp ? "AT$B230400\r" : "AT$B0\r");
    m_modem.DrainInput(discard);
    m_modem.ConfigurePort(baudRate);
    return CommandOk("ATV1\r");
}

bool CHandshake::StartSerialSession() {
    const auto timeout = m_modem.Hooks().replyTimeout;
    m_modem.DrainInput(m_modem.Hooks().discardDelay);

    m_modem.WriteCommand("ATI\r");
    if (!m_modem.WaitForReply("3C882\r", timeout)) {
        Fail(kModelMessage);
        return false;
    }
    WaitOk();

    m_modem.WriteCommand("AT%V\r");
    if (!m_modem.WaitForReply("Version 3.2", timeout)) {
        Fail(kFirmwareMessage);
        return false;
    }
    WaitOk();

    CommandOk("AT$V0\r");
    CommandOk("ATE0\r");

    // Read S63 back; the adapter's own nonzero value wins over the setting.
    m_modem.SetS63Expected(true);
    CommandOk("ATS63?\r");
    if (!m_modem.S63Expected() && m_modem.S63Value() != 0) {
        m_modem.SetSReg63(m_modem.S63Value());
    }
    m_modem.SetS63Expected(false);

    CommandOk(StrFormat("ATS63=%d\r", m_modem.SReg63()).c_str());
    CommandOk("AT&W\r");
    CommandOk("AT$V1\r");
    CommandOk("ATS86=3\r");
    m_modem.WriteCommand("AT*SC\r");
    m_modem.Pause(m_modem.Hooks().finalPause);
    return true;
}

bool CHandshake::StartSocketSession(bool failureBox) {
    const auto discard = m_modem.Hooks().discardDelay;
    m_modem.DrainInput(discard);
    CommandOk("AT$V0\r");
    m_modem.WriteCommand(StrFormat("ATS63=%d\r", m_modem.SReg63()));
    m_modem.WriteCommand("ATS86=3\r");
    m_modem.DrainInput(discard);
    if (!CommandOk("AT$V1\r")) {
        const std::string& contact = m_modem.Hooks().supportContact;
        Fail(failureBox ? std::string(kSocketMessagePrefix) + (contact.empty() ? std::string() : ": " + contact) + "."
                        : std::string());
        return false;
    }
    m_modem.WriteCommand("AT*SC\r");
    m_modem.Pause(m_modem.Hooks().finalPause);
    return true;
}
