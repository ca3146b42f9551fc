// The end of a call: the caller's phone book statistics, the call log record (store and
// window) and, for an incoming call, the new-call announcement (count, status bar, tray).
#pragma once

#include "calls/CCall.h"
#include "calls/CCallContext.h"
#include "calls/CCallList.h"
#include "calls/CTileSet.h"

#include <cstdint>
#include <string>

class CCallRecorder {
public:
    CCallRecorder(CCallContext& context, CCallList& calls, CTileSet& tiles);

    // Ends the call with the adapter's id: takes it out of the lists and tiles, records it in
    // the phone book (connected or held calls, or every call when IncompleteCallsToPhoneBook
    // is on) and the call log, and deletes it. Does nothing for an id no call has.
    void OnCallDisconnected(int callId);
    // The same for one tracked call, named by its stable id (CCall::m_id).
    void EndCall(std::uint64_t id);

    // Stores the call log record of a finished call and announces an incoming one. A call
    // that was still being dialed is not logged.
    void LogFinishedCall(const CCall& call);

private:
    CCallContext& m_ctx;
    CCallList& m_calls;
    CTileSet& m_tiles;
};
