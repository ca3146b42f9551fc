#include "calls/CCallCommands.h"

#include "core/Format.h"

#include <utility>

namespace {
bool ValidPort(int portIndex) {
    return portIndex == 0 || portIndex == 1;
}
} // namespace

namespace callcmd {
std::string Answer(int portIndex, int callId) {
    return ValidPort(portIndex) ? StrFormat("AT*%dA/%d\r", portIndex + 1, callId) : std::string();
}
std::string HangUp(int portIndex, int callId) {
    return ValidPort(portIndex) ? StrFormat("AT*%dH/%d\r", portIndex + 1, callId) : std::string();
}
std::string Hold(int portIndex, int callId) {
    return ValidPort(portIndex) ? StrFormat("AT*%dW/%d\r", portIndex + 1, callId) : std::string();
}
std::string Retrieve(int portIndex, int callId) {
    return ValidPort(portIndex) ? StrFormat("AT*%dR/%d\r", portIndex + 1, callId) : std::string();
}
std::string NewCall(int portIndex) {
    return ValidPort(portIndex) ? StrFormat("AT*%dD\r", portIndex + 1) : std::string();
}
std::string Digit(int portIndex, char digit, int callId) {
    return ValidPort(portIndex) ? StrFormat("AT*%dD%c/%d\r", portIndex + 1, digit, callId) : std::string();
}
std::string Dial(int portIndex, const std::string& number) {
    return ValidPort(portIndex) ? StrFormat("AT*%dD%s\r", portIndex + 1, number.c_str()) : std::string();
}
std::string CallWaiting(int value) {
    return StrFormat("ATS76=%d\r", value);
}
} // namespace callcmd

CCallCommands::CCallCommands(SendFn send) : m_send(std::move(send)) {}

bool CCallCommands::SendIfValid(const std::string& command) const {
    if (command.empty()) {
        return false;
    }
    m_send(command);
    return true;
}

bool CCallCommands::Answer(int portIndex, int callId) const {
    return SendIfValid(callcmd::Answer(portIndex, callId));
}
bool CCallCommands::HangUp(int portIndex, int callId) const {
    return SendIfValid(callcmd::HangUp(portIndex, callId));
}
bool CCallCommands::Hold(int portIndex, int callId) const {
    return SendIfValid(callcmd::Hold(portIndex, callId));
}
bool CCallCommands::Retrieve(int portIndex, int callId) const {
    return SendIfValid(callcmd::Retrieve(portIndex, callId));
}
bool CCallCommands::NewCall(int portIndex) const {
    return SendIfValid(callcmd::NewCall(portIndex));
}
bool CCallCommands::Digit(int portIndex, char digit, int callId) const {
    return SendIfValid(callcmd::Digit(portIndex, digit, callId));
}
bool CCallCommands::Dial(int portIndex, const std::string& number) const {
    return SendIfValid(callcmd::Dial(portIndex, number));
}
void CCallCommands::CallWaiting(int value) const {
    m_send(callcmd::CallWaiting(value));
}
