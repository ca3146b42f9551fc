// Decoding of the adapter's unsolicited reports. "CALL:" lines announce call events on the
// ISDN side, "AUD:" lines events of the local telephones (hook, flash, digits).
//
// A report is the prefix and fields "tag,value"; the first field follows the colon, every
// further one a semicolon, in any order:
//   CALL:0,1;2,1;3,17;4,5551212;5,4085551212   offering on port 1, call 17, from 4085551212
//   AUD:2,2;40,2                               the phone on port 2 went off-hook
//   AUD:2,1;42,#                               digit # on port 1
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Event types of call reports (field 0).
enum ECallEvent : int {
    CE_Disconnected = 0,
    CE_Offering = 1,
    CE_LocalInitiating = 2,
    CE_OutgoingConnecting = 3,
    CE_OutgoingForwarding = 4,
    CE_Connected = 5,
    CE_OnHold = 7,
    CE_Recalled = 10,
    CE_Existing = 99,
};

// Codes of audio reports (field 40).
enum EAudioEvent : int {
    AE_OnHook = 1,
    AE_OffHook = 2,
    AE_Flash = 3,
};

class CModemReport {
public:
    static constexpr char kNoDigit = '\xFF';

    bool m_bAudio = false;          // an "AUD:" report; otherwise a "CALL:" report
    int m_nPort = -1;               // port index 0 or 1 (the adapter numbers its ports 1 and 2)
    int m_nCallId = -1;             // the adapter's id of the call
    int m_nEventType = -1;          // call reports: ECallEvent
    int m_nAudioCode = -1;          // audio reports: EAudioEvent
    bool m_bAudioCodeFound = false; // field 40 was in the line (its code then decides alone)
    char m_cDigit = kNoDigit;
    std::string m_strRemoteNumber; // digits only
    std::string m_strLocalNumber;  // digits only

    bool HasDigit() const { return m_cDigit != kNoDigit; }
    // Only ports 1 and 2 exist; a report for any other port must not reach per-port state.
    bool HasValidPort() const { return m_nPort == 0 || m_nPort == 1; }
    bool operator==(const CModemReport&) const = default;
};

// Decodes one adapter line; nothing when it begins with neither "CALL:" nor "AUD:".
std::optional<CModemReport> ParseModemReport(std::string_view line);

// The text logged for a call report ("Call offering: 4085551212", "Call connected", ...);
// empty for event types that are ignored.
std::string CallReportText(const CModemReport& report);

// The text logged for an audio report ("Local off-hook", "DTMF: #", ...); empty for reports
// that are ignored.
std::string AudioReportText(const CModemReport& report);

// What a line from the adapter asks of call control.
class IModemReportSink {
public:
    virtual ~IModemReportSink() = default;
    virtual void OnCallReport(const CModemReport& report) = 0;
    virtual void OnAudioReport(const CModemReport& report) = 0;
};

// Handles one line posted by the line monitor: "OK" replies and lines that are not reports
// are dropped; reports for a port other than 1 or 2 are dropped; every other report goes to
// the sink by kind.
void OnModemLine(std::string_view line, IModemReportSink& sink);
