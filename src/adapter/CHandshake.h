// The command dialogue that follows a transport coming up in CModem::Open: the rate check on
// the serial port and the identification and set-up sequence (serial and socket variants).
// Every command goes through CModem::WriteCommand ("TX: " trace) and every reply through
// CModem::WaitForReply ("RX: " trace). Waits and time-outs come from the modem's hooks.
#pragma once

#include <string>

class CModem;

class CHandshake {
public:
    explicit CHandshake(CModem& modem) : m_modem(modem) {}

    // Finds the adapter at the configured rate, moving it there with "AT$B230400\r" or
    // "AT$B0\r" when it answers only at the other rate. Returns false when no "OK\r" comes at
    // either rate (the caller then closes the port; no message box).
    bool RateCheck(int baudRate);

    // Identifies the adapter ("3C882", firmware "Version 3.2"), reads back and sets S63 and
    // stores the profile. On a wrong model or firmware: message box, Close(), false.
    bool StartSerialSession();

    // The shorter sequence over UDP: no identification, no S63 read-back, no store. When
    // "AT$V1\r" gets no "OK\r": message box (only with failureBox), Close(), false.
    bool StartSocketSession(bool failureBox);

    static constexpr const char* kModelMessage = "Ringvale is for use with the\n3Com ImpactIQ only.";
    static constexpr const char* kFirmwareMessage = "Ringvale requires Version 3.2x\nof the 3Com ImpactIQ firmware.";
    static constexpr const char* kSocketMessagePrefix =
        "Error opening modem after RAS connection.\nPlease contact support";

private:
    // Sends a command and waits for "OK\r" within the reply time-out.
    bool CommandOk(const char* command);
    bool WaitOk();
    // Shows the message (none when empty, or when the program is ending), then Close().
    void Fail(const std::string& message);

    CModem& m_modem;
};
