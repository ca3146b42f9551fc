#include "calls/CCall.h"

#include <atomic>

namespace {
std::uint64_t NextCallSerial() {
    static std::atomic<std::uint64_t> next{1};
    return next.fetch_add(1);
}
} // namespace

const char* CallStateName(int state) {
    switch (state) {
    case CS_Offering:
        return "CS_Offering";
    case CS_Initiating:
        return "CS_Initiating";
    case CS_Connecting:
        return "CS_Connecting";
    case CS_Forwarding:
        return "CS_Forwarding";
    case CS_Connected:
        return "CS_Connected";
    case CS_Hold:
        return "CS_Hold";
    case CS_Existing:
        return "CS_Existing";
    default:
        return "CS_?";
    }
}

CCall::CCall(int state, int port, int callId, bool outgoing, std::int64_t now)
    : m_nState(state), m_nPort(port), m_nCallId(callId), m_bOutgoing(outgoing), m_timeStart(now), m_timeEnd(now),
      m_id(NextCallSerial()) {}
