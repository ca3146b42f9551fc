// The AT commands of call control. Each ends in CR only; none is acknowledged: the effect
// shows in the adapter's next report. Ports are given as port index 0 or 1 and sent as 1 or
// 2; a command for any other port index is never formatted or sent.
#pragma once

#include <functional>
#include <string>

namespace callcmd {
// "AT*%dA/%d\r": answer an offered call.
std::string Answer(int portIndex, int callId);
// "AT*%dH/%d\r": hang up or reject a call.
std::string HangUp(int portIndex, int callId);
// "AT*%dW/%d\r": put a call on hold.
std::string Hold(int portIndex, int callId);
// "AT*%dR/%d\r": retrieve a held call.
std::string Retrieve(int portIndex, int callId);
// "AT*%dD\r": start a new call on the port (dial tone).
std::string NewCall(int portIndex);
// "AT*%dD%c/%d\r": dial or send one digit on a call.
std::string Digit(int portIndex, char digit, int callId);
// "AT*%dD%s\r": dial a whole number.
std::string Dial(int portIndex, const std::string& number);
// "ATS76=%d\r": the call-waiting register (bit 0 Phone 1, bit 1 Phone 2).
std::string CallWaiting(int value);
} // namespace callcmd

// Sends the call-control commands through the controller's command sink.
class CCallCommands {
public:
    using SendFn = std::function<void(const std::string& command)>;

    explicit CCallCommands(SendFn send);

    // Each returns false (and sends nothing) when the port index is not 0 or 1.
    bool Answer(int portIndex, int callId) const;
    bool HangUp(int portIndex, int callId) const;
    bool Hold(int portIndex, int callId) const;
    bool Retrieve(int portIndex, int callId) const;
    bool NewCall(int portIndex) const;
    bool Digit(int portIndex, char digit, int callId) const;
    bool Dial(int portIndex, const std::string& number) const;
    void CallWaiting(int value) const;

private:
    bool SendIfValid(const std::string& command) const;
    SendFn m_send;
};
