#include "calls/CRemoteControl.h"

#include "calls/CCallList.h"
#include "core/IDialUpToggle.h"

CRemoteControl::CRemoteControl(CCallContext& context, CCallRecorder& recorder) : m_ctx(context), m_recorder(recorder) {}

bool CRemoteControl::MatchesWatchNumbers(const CCall& call) const {
    const CSettings& settings = m_ctx.Settings();
    return settings.m_bRCWatchNumbers && !call.m_bOutgoing && call.m_strLocalNumber == settings.m_strRCLocalNumber &&
           call.m_strRemoteNumber == settings.m_strRCRemoteNumber;
}

void CRemoteControl::TriggerOnWatchNumbers(const CCall& call) {
    m_ctx.Log("Matched the RemoteControl watch numbers");
    m_ctx.Commands().HangUp(call.m_nPort, call.m_nCallId);
    m_ctx.WaitInPlace(2000);
    ToggleDialUp();
}

void CRemoteControl::WatchRemoteControlDigit(int port, char digit, const CCall& call) {
    if (!CCallList::ValidPort(port)) {
        return;
    }
    std::string& history = m_history[port];
    if (history.size() >= kHistoryDigits) {
        history.erase(0, history.size() - kHistoryDigits + 1);
    }
    history.push_back(digit);

    const CSettings& settings = m_ctx.Settings();
    const std::string& sequence = settings.m_strRCDTMF;
    const bool endsWithSequence = sequence.size() <= history.size() &&
                                  history.compare(history.size() - sequence.size(), sequence.size(), sequence) == 0;
    const bool directionWatched = call.m_bOutgoing ? settings.m_bRCOutgoing : settings.m_bRCIncoming;
    if (!endsWithSequence || !settings.m_bRCWatchDTMF || !directionWatched) {
        return;
    }
    m_ctx.Log("Matched the RemoteControl DTMF sequence");
    const std::uint64_t id = call.m_id;
    m_ctx.Commands().HangUp(call.m_nPort, call.m_nCallId);
    m_ctx.WaitInPlace(2000);
    // Ends (and deletes) the call: only its id is used from here on.
    m_recorder.EndCall(id);
    ToggleDialUp();
}

const std::string& CRemoteControl::DigitHistory(int port) const {
    static const std::string kNone;
    return CCallList::ValidPort(port) ? m_history[port] : kNone;
}

void CRemoteControl::ToggleDialUp() {
    if (IDialUpToggle* dialUp = m_ctx.DialUp()) {
        dialUp->ToggleDialUpConnection();
    }
}
