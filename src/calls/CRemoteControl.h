// The remote-control triggers that start or end the dial-up connection from afar:
//  - a call from the watched remote number to the watched local number (RCWatchNumbers);
//  - a secret digit sequence (RCDTMF) keyed during a connected call (RCWatchDTMF), for the
//    directions chosen with RCIncoming / RCOutgoing.
// A trigger hangs up the call, waits 2000 ms and toggles the dial-up connection.
//
// The digit watch keeps, per port, the last 99 digits received during connected calls; it
// runs on across calls, so a sequence may be split over two calls on the same port.
#pragma once

#include "calls/CCall.h"
#include "calls/CCallContext.h"
#include "calls/CCallRecorder.h"

#include <array>
#include <string>

class CRemoteControl {
public:
    static constexpr std::size_t kHistoryDigits = 99;

    CRemoteControl(CCallContext& context, CCallRecorder& recorder);

    // True when the offered call comes from RCRemoteNumber to RCLocalNumber (whole strings)
    // and RCWatchNumbers is on.
    bool MatchesWatchNumbers(const CCall& call) const;
    // The number-pair trigger: hang up the call (not marked as hang-up pending), wait,
    // toggle the dial-up connection.
    void TriggerOnWatchNumbers(const CCall& call);

    // A digit received while the port's call is connected: adds it to the port's history and
    // triggers when the history ends with RCDTMF and the call's direction is watched. The
    // triggered call is ended at once, as if the adapter had reported its disconnection.
    void WatchRemoteControlDigit(int port, char digit, const CCall& call);

    const std::string& DigitHistory(int port) const;

private:
    void ToggleDialUp();

    CCallContext& m_ctx;
    CCallRecorder& m_recorder;
    std::array<std::string, 2> m_history;
};
