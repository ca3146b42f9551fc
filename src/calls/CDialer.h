// Dialing a whole number on the user's behalf (a number picked in the call log or phone book
// window): the area-code and leading-1 rules, the choice of a free phone port, and the
// command to the adapter.
#pragma once

#include "calls/CCallContext.h"
#include "calls/CCallList.h"
#include "core/CSettings.h"

#include <string>

class CDialer {
public:
    CDialer(CCallContext& context, CCallList& calls);

    // Dials on Phone 1, or on Phone 2 when Phone 1 is off-hook. Returns 0 when the command
    // was sent, -1 when both phones are off-hook (nothing is sent or logged). The number
    // dialed becomes the last dialed number, for the outgoing call the adapter reports next.
    int DialNumber(const std::string& number);

    // The number as it is dialed:
    //  - it begins with a NoDial1AreaCodes entry: unchanged;
    //  - it begins with DefaultAreaCode: without the area code when AlwaysDialAreaCode is
    //    off; with a 1 in front when AlwaysDialAreaCode is on and Dial1OnlyIfDifferent off;
    //    unchanged when both are on;
    //  - any other number: a 1 in front.
    static std::string NumberToDial(const std::string& number, const CSettings& settings);

private:
    CCallContext& m_ctx;
    CCallList& m_calls;
};
