// One call the adapter reported, tracked from its first report until the adapter reports its
// end. The controller's call list owns every CCall; everything else (tiles, held lists, the
// per-port current call) refers to a call by its stable m_id, never by its address.
#pragma once

#include <cstdint>
#include <string>

// Where a call stands. Each value is the report type that leads to the state; the recall
// report (type 10) leads back to CS_Connected.
enum ECallState : int {
    CS_Offering = 1,   // incoming call offered, not answered
    CS_Initiating = 2, // the local phone is dialing (dial tone, digits)
    CS_Connecting = 3, // outgoing call connecting
    CS_Forwarding = 4, // outgoing call forwarding
    CS_Connected = 5,
    CS_Hold = 7,
    CS_Existing = 99, // already in progress when the program started
};

// "CS_Offering", ... for traces and test output; "CS_?" for other values.
const char* CallStateName(int state);

class CCall {
public:
    // A call in the given state created now: flags false, strings empty, no tile, start and
    // end time both `now`.
    CCall(int state, int port, int callId, bool outgoing, std::int64_t now);
    virtual ~CCall() = default;
    CCall(const CCall&) = delete;
    CCall& operator=(const CCall&) = delete;

    int m_nState;
    int m_nPort;   // port index 0 or 1
    int m_nCallId; // the adapter's id, sent in every command for the call
    bool m_bOutgoing;
    bool m_bConnected = false;       // connected at least once
    int m_nTile = -1;                // tile that shows the call, -1 when none
    bool m_bRetrievePending = false; // a retrieve was sent, the recall report has not come
    bool m_bHoldPending = false;     // a hold was sent, the on-hold report has not come
    bool m_bHangUpPending = false;   // this program sent a hang-up; never cleared
    std::string m_strLocalNumber;    // the number of this line that was called (offered calls)
    std::string m_strRemoteNumber;   // the other party
    std::string m_strName;           // display text for the remote number
    std::int64_t m_timeStart;        // creation, then the moment the call connected
    std::int64_t m_timeEnd;          // creation, then the moment the call ended

    // Stable identity within the process; never reused.
    const std::uint64_t m_id;
};
