#include "calls/CDialer.h"

#include "calls/CCallCommands.h"

#include <algorithm>
#include <iterator>

namespace {
// Only what a telephone can dial goes into the command: a number that came from a file
// must not be able to end the command early (CR) or add commands of its own.
std::string DialableCharacters(const std::string& number) {
    std::string out;
    std::copy_if(number.begin(), number.end(), std::back_inserter(out),
                 [](char c) { return (c >= '0' && c <= '9') || c == '*' || c == '#'; });
    return out;
}
} // namespace

CDialer::CDialer(CCallContext& context, CCallList& calls) : m_ctx(context), m_calls(calls) {}

std::string CDialer::NumberToDial(const std::string& number, const CSettings& settings) {
    for (const std::string& areaCode : settings.m_NoDial1AreaCodes) {
        if (number.starts_with(areaCode)) {
            return number;
        }
    }
    const std::string& own = settings.m_strDefaultAreaCode;
    if (number.starts_with(own)) {
        if (!settings.m_bAlwaysDialAreaCode) {
            return number.substr(own.size());
        }
        return settings.m_bDial1OnlyIfDifferent ? number : "1" + number;
    }
    return "1" + number;
}

int CDialer::DialNumber(const std::string& number) {
    int port = -1;
    if (!m_calls.OffHook(0)) {
        port = 0;
    } else if (!m_calls.OffHook(1)) {
        port = 1;
    } else {
        return -1;
    }
    const std::string dialed = NumberToDial(DialableCharacters(number), m_ctx.Settings());
    m_calls.LastDialedNumber() = dialed;
    m_ctx.WriteCommand(callcmd::Dial(port, dialed));
    return 0;
}
