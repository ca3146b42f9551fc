#include "calls/CModemReport.h"

#include "core/Format.h"

#include <cctype>
#include <limits>

namespace {

constexpr std::string_view kCallPrefix = "CALL:";
constexpr std::string_view kAudioPrefix = "AUD:";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Finds a field by its tag: the colon form (first field) first, then the semicolon form; the
// first occurrence in the whole line wins. Returns the position right after the tag's comma.
std::optional<std::size_t> FindField(std::string_view line, int tag) {
    const std::string body = StrFormat("%d,", tag);
    for (const char lead : {':', ';'}) {
        const std::string key = lead + body;
        const auto pos = line.find(key);
        if (pos != std::string_view::npos) {
            return pos + key.size();
        }
    }
    return std::nullopt;
}

// Decimal integer after the comma: blanks skipped, optional sign, up to the first non-digit;
// no digits reads as 0.
void ReadIntField(std::string_view line, int tag, int& out) {
    if (const auto pos = FindField(line, tag)) {
        int value = 0;
        if (!ScanInt(line.substr(*pos), value)) {
            value = 0;
        }
        out = value;
    }
}

// Every decimal digit up to the next semicolon or the end of the line; anything else
// (quotes, plus signs, blanks, brackets) is skipped.
void ReadNumberField(std::string_view line, int tag, std::string& out) {
    if (const auto pos = FindField(line, tag)) {
        std::string digits;
        for (std::size_t i = *pos; i < line.size() && line[i] != ';'; ++i) {
            if (IsDigit(line[i])) {
                digits += line[i];
            }
        }
        out = digits;
    }
}

} // namespace

std::optional<CModemReport> ParseModemReport(std::string_view line) {
    CModemReport report;
    if (line.starts_with(kCallPrefix)) {
        report.m_bAudio = false;
    } else if (line.starts_with(kAudioPrefix)) {
        report.m_bAudio = true;
    } else {
        return std::nullopt;
    }
    ReadIntField(line, 0, report.m_nEventType);
    int port = 0;
    if (FindField(line, 2)) {
        ReadIntField(line, 2, port);
        // The adapter numbers its ports from 1; the lowest int has no index below it.
        report.m_nPort = port == std::numeric_limits<int>::min() ? -1 : port - 1;
    }
    ReadIntField(line, 3, report.m_nCallId);
    ReadNumberField(line, 4, report.m_strLocalNumber);
    ReadNumberField(line, 5, report.m_strRemoteNumber);
    report.m_bAudioCodeFound = FindField(line, 40).has_value();
    ReadIntField(line, 40, report.m_nAudioCode);
    // A digit tag at the very end of the line carries no digit: it counts as absent.
    if (const auto pos = FindField(line, 42); pos && *pos < line.size()) {
        report.m_cDigit = line[*pos];
    }
    return report;
}

std::string CallReportText(const CModemReport& report) {
    switch (report.m_nEventType) {
    case CE_Disconnected:
        return "Call disconnected";
    case CE_Offering:
        return "Call offering: " + report.m_strRemoteNumber;
    case CE_LocalInitiating:
        return "Local initiating call";
    case CE_OutgoingConnecting:
        return "Outgoing call connecting";
    case CE_OutgoingForwarding:
        return "Outgoing call forwarding(?)";
    case CE_Connected:
        return "Call connected";
    case CE_OnHold:
        return "Call on hold";
    case CE_Recalled:
        return "Call recalled from hold";
    case CE_Existing:
        return "Existing call (before app started)";
    default:
        return {};
    }
}

std::string AudioReportText(const CModemReport& report) {
    if (report.m_bAudioCodeFound) {
        // The code decides; a digit in the same line is not looked at.
        switch (report.m_nAudioCode) {
        case AE_OnHook:
            return "Local on-hook";
        case AE_OffHook:
            return "Local off-hook";
        case AE_Flash:
            return "Local flash";
        default:
            return {};
        }
    }
    if (report.HasDigit()) {
        return StrFormat("DTMF: %c", report.m_cDigit);
    }
    return {};
}

void OnModemLine(std::string_view line, IModemReportSink& sink) {
    if (line.starts_with("OK")) {
        return;
    }
    const auto report = ParseModemReport(line);
    if (!report || !report->HasValidPort()) {
        return;
    }
    if (report->m_bAudio) {
        sink.OnAudioReport(*report);
    } else {
        sink.OnCallReport(*report);
    }
}
