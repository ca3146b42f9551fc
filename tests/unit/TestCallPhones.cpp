// The local telephones: lifting, hanging up and flashing the handset, digits, the keypad and
// typed keys.
#include "core/Format.h"
#include "support/CallTestRig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace calltest;

// One hook event on port 1 after some calls were set up: what goes to the adapter.
struct SHookCase {
    const char* label;
    std::vector<std::string> setup;
    std::string event;
    std::vector<std::string> expected;
};

TEST(CallPhones, HookEvents) {
    const SHookCase cases[] = {
        {"lift with nothing going on starts a call", {}, Audio(1, 2), {"AT*1D\r"}},
        {"lift answers the offered call", {Offer(1, 3)}, Audio(1, 2), {"AT*1A/3\r"}},
        {"lift answers even when a held call of the port is selected",
         {Report(7, 1, 2), Offer(1, 3)},
         Audio(1, 2),
         {"AT*1A/3\r"}},
        {"lift takes back the held call in the selected tile", {Report(7, 1, 2)}, Audio(1, 2), {"AT*1R/2\r"}},
        {"lift ignores a held call of the other port", {Report(7, 2, 2)}, Audio(1, 2), {"AT*1D\r"}},
        {"lift with a call on the line does nothing", {Report(5, 1, 2)}, Audio(1, 2), {}},
        {"lift answers on its own port only", {Offer(2, 3)}, Audio(1, 2), {"AT*1D\r"}},
        {"hang up drops the connected call", {Report(5, 1, 2)}, Audio(1, 1), {"AT*1H/2\r"}},
        {"hang up drops the call being dialed", {Report(2, 1, 2)}, Audio(1, 1), {"AT*1H/2\r"}},
        {"hang up drops an existing call", {"CALL:0,99;2,1;3,2"}, Audio(1, 1), {"AT*1H/2\r"}},
        {"hang up leaves an offered call", {Offer(1, 3)}, Audio(1, 1), {}},
        {"hang up leaves a held call", {Report(5, 1, 2), Report(7, 1, 2)}, Audio(1, 1), {}},
        {"hang up with nothing going on", {}, Audio(1, 1), {}},
        {"flash with nothing going on starts a call", {}, Audio(1, 3), {"AT*1D\r"}},
        {"flash holds the call and answers the waiting one",
         {Report(5, 1, 2), Offer(1, 3)},
         Audio(1, 3),
         {"AT*1W/2\r", "AT*1A/3\r"}},
        {"flash holds the call and takes back the one held first",
         {Report(5, 1, 21), Report(7, 1, 21), Report(5, 1, 22), Report(7, 1, 22), Report(5, 1, 23)},
         Audio(1, 3),
         {"AT*1W/23\r", "AT*1R/21\r"}},
        {"flash holds the only call and starts a new one", {Report(5, 1, 2)}, Audio(1, 3), {"AT*1W/2\r", "AT*1D\r"}},
    };
    for (const SHookCase& c : cases) {
        SCOPED_TRACE(c.label);
        CCallTestRig rig;
        for (const std::string& line : c.setup) {
            rig.Line(line);
        }
        rig.ClearEvents();
        rig.Line(c.event);
        EXPECT_EQ(rig.Commands(), c.expected);
    }
}

TEST(CallPhones, FlashWaitsHalfASecondBetweenHoldAndAnswer) {
    CCallTestRig rig;
    rig.Line(Report(5, 1, 2));
    rig.Line(Offer(1, 3));
    rig.ClearEvents();
    rig.Line(Audio(1, 3));
    EXPECT_EQ(rig.logs.front().text, "Local flash");
    EXPECT_EQ(rig.TickOf("AT*1A/3\r") - rig.TickOf("AT*1W/2\r"), 500);
    EXPECT_TRUE(rig.control->Calls().FindCallById(2)->m_bHoldPending);
    EXPECT_TRUE(rig.control->Calls().OffHook(0));
    // The adapter follows: 2 on hold, 3 connected.
    rig.Line(Report(7, 1, 2));
    rig.Line(Report(5, 1, 3));
    EXPECT_EQ(rig.control->Calls().CurrentCall(0)->m_nCallId, 3);
    EXPECT_FALSE(rig.control->Calls().FindCallById(2)->m_bHoldPending);
    ASSERT_EQ(rig.control->Calls().Held(0).size(), 1u);
}

TEST(CallPhones, DigitsGoToTheCallBeingDialedOnly) {
    CCallTestRig rig;
    rig.Line(Report(2, 1, 4));
    rig.Line(Report(5, 2, 5));
    rig.ClearEvents();
    rig.Line(Digit(1, '1'));
    rig.Line(Digit(1, '2'));
    rig.Line(Digit(1, '1')); // only a leading 1 stays out of the number
    rig.Line(Digit(2, '7')); // port 2's call is connected: nothing is sent
    rig.Line(Digit(1, '#'));
    EXPECT_EQ(rig.Commands(), (std::vector<std::string>{"AT*1D1/4\r", "AT*1D2/4\r", "AT*1D1/4\r", "AT*1D#/4\r"}));
    EXPECT_EQ(rig.control->Calls().FindCallById(4)->m_strRemoteNumber, "21#");
    EXPECT_EQ(rig.logs.size(), 5u);
    EXPECT_EQ(rig.logs[3].text, "DTMF: 7");
}

TEST(CallPhones, KeypadSendsToTheSelectedCallWhateverItsState) {
    CCallTestRig rig;
    auto& phones = rig.control->Phones();
    phones.SendKeypadDigit('5'); // empty tile: nothing
    EXPECT_TRUE(rig.Commands().empty());

    rig.Line(Report(2, 2, 9)); // dialing, in tile 0
    for (char c : std::string("1212")) {
        phones.SendKeypadDigit(c);
    }
    EXPECT_EQ(rig.control->Calls().FindCallById(9)->m_strRemoteNumber, "212");
    rig.Line(Report(5, 2, 9));
    phones.SendKeypadDigit('*');
    EXPECT_EQ(rig.Commands().back(), "AT*2D*/9\r");
    EXPECT_EQ(rig.control->Calls().FindCallById(9)->m_strRemoteNumber, "212"); // connected: unchanged
    EXPECT_EQ(rig.Commands().size(), 5u);
}

TEST(CallPhones, KeypadButtonsAndTypedKeys) {
    const std::string layout = "123456789*0#";
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(CLocalPhones::KeypadCharacter(1002 + i), layout[i]);
    }
    EXPECT_EQ(CLocalPhones::KeypadCharacter(1001), 0);
    EXPECT_EQ(CLocalPhones::KeypadCharacter(1014), 0);

    CCallTestRig rig;
    rig.Line(Report(5, 1, 3));
    auto& phones = rig.control->Phones();
    // Typing 5 acts as button 1006.
    EXPECT_TRUE(phones.OnTypedChar('5'));
    EXPECT_EQ(CLocalPhones::KeypadCharacter(1006), '5');
    for (char c : std::string("aA+ \r")) {
        EXPECT_FALSE(phones.OnTypedChar(c));
    }
    EXPECT_TRUE(phones.OnTypedChar('#'));
    EXPECT_EQ(rig.Commands(), (std::vector<std::string>{"AT*1D5/3\r", "AT*1D#/3\r"}));
}

} // namespace
