// Who follows the calls from outside call control (the network publisher): the events of each
// call, the call log records as they are written, and every change of the calls in progress.
// Call control tells it after the command a report led to was written, so that nothing it
// does delays the adapter. Window thread only.
#pragma once

class CCall;
class CCallLogRecord;

enum class ECallChange {
    Offered,   // an incoming call the screening let through
    Connected, // answered, or taken back from hold
    OnHold,
    Disconnected, // the call has ended (it is no longer among the calls)
    Rejected,     // screened out: no number sent, or marked "Ignore Caller"
};

class ICallObserver {
public:
    virtual ~ICallObserver() = default;
    virtual void OnCallEvent(ECallChange event, const CCall& call) = 0;
    virtual void OnCallLogged(const CCallLogRecord& record) = 0;
    // After every call report that was handled.
    virtual void OnCallsChanged() = 0;
};
