// Whole-number dialing: the area-code and leading-1 rules and the port chosen.
#include "calls/CDialer.h"
#include "support/CallTestRig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SRuleCase {
    const char* label;
    const char* areaCode;
    bool alwaysDialAreaCode;
    bool dial1OnlyIfDifferent;
    std::vector<std::string> noDial1;
    const char* number;
    const char* dialed;
};

const SRuleCase kRules[] = {
    {"own area, local number only", "408", false, true, {}, "4085551212", "5551212"},
    {"other area gets a 1", "408", false, true, {}, "2125551212", "12125551212"},
    {"own area, always area code, 1 for every number", "408", true, false, {}, "4085551212", "14085551212"},
    {"own area, always area code, 1 only if different", "408", true, true, {}, "4085551212", "4085551212"},
    {"other area, always area code, 1 only if different", "408", true, true, {}, "2125551212", "12125551212"},
    {"no-dial-1 area code is sent unchanged", "408", false, true, {"212"}, "2125551212", "2125551212"},
    {"no-dial-1 wins over every other setting", "408", true, false, {"212"}, "2125551212", "2125551212"},
    {"no-dial-1 entries tried in order", "408", false, true, {"310", "408"}, "4085551212", "4085551212"},
    {"no-dial-1 entry must match whole", "408", false, true, {"2129"}, "2125551212", "12125551212"},
    {"empty own area code: every number is local", "", false, true, {}, "2125551212", "2125551212"},
    {"empty own area code, always area code, 1 for every number", "", true, false, {}, "5551212", "15551212"},
    {"number shorter than the area code is another area", "408", false, true, {}, "40", "140"},
    {"seven-digit number is another area", "408", false, true, {}, "5551212", "15551212"},
};

TEST(Dialing, NumberToDialRules) {
    for (const SRuleCase& c : kRules) {
        SCOPED_TRACE(c.label);
        CSettings s;
        s.SetDefaults();
        s.m_strDefaultAreaCode = c.areaCode;
        s.m_bAlwaysDialAreaCode = c.alwaysDialAreaCode;
        s.m_bDial1OnlyIfDifferent = c.dial1OnlyIfDifferent;
        s.m_NoDial1AreaCodes = c.noDial1;
        EXPECT_EQ(CDialer::NumberToDial(c.number, s), c.dialed);
    }
}

TEST(Dialing, ChoosesTheFirstPhoneThatIsOnHook) {
    struct SCase {
        bool offHook1, offHook2;
        int result;
        const char* command; // "" when nothing is sent
    };
    const SCase cases[] = {
        {false, false, 0, "AT*1D5551212\r"},
        {true, false, 0, "AT*2D5551212\r"},
        {false, true, 0, "AT*1D5551212\r"},
        {true, true, -1, ""},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::string(c.offHook1 ? "1 off" : "1 on") + (c.offHook2 ? ", 2 off" : ", 2 on"));
        CCallTestRig rig;
        std::vector<std::string> writes;
        SCallHooks hooks;
        hooks.sendCommand = [&](const std::string& cmd) { writes.push_back("send " + cmd); };
        hooks.writeCommand = [&](const std::string& cmd) { writes.push_back("write " + cmd); };
        CCallControl control(rig.host, rig.clock, rig.settings, hooks);
        control.Calls().SetOffHook(0, c.offHook1);
        control.Calls().SetOffHook(1, c.offHook2);
        EXPECT_EQ(control.DialNumber("4085551212"), c.result);
        if (*c.command == '\0') {
            EXPECT_TRUE(writes.empty());
            EXPECT_TRUE(control.Calls().LastDialedNumber().empty());
        } else {
            // The whole-number dial goes straight to the link.
            EXPECT_EQ(writes, std::vector<std::string>{std::string("write ") + c.command});
            EXPECT_EQ(control.Calls().LastDialedNumber(), "5551212");
        }
        EXPECT_EQ(rig.host.Calls().size(), 0u); // nothing logged, nothing shown
    }
}

TEST(Dialing, OnlyDialableCharactersReachTheAdapter) {
    CCallTestRig rig;
    EXPECT_EQ(rig.control->DialNumber("212555\r\nATZ\r1212"), 0);
    EXPECT_EQ(rig.Commands(), std::vector<std::string>{"AT*1D12125551212\r"});
    EXPECT_EQ(rig.control->DialNumber("*67#"), 0);
    EXPECT_EQ(rig.Commands().back(), "AT*1D1*67#\r");
}

TEST(Dialing, DialedNumberReachesTheCallWhicheverReportCreatesIt) {
    struct SCase {
        const char* label;
        std::vector<std::string> reports;
    };
    const SCase cases[] = {
        {"the connecting report creates the call", {"CALL:0,3;2,1;3,4", "CALL:0,5;2,1;3,4"}},
        {"an initiating report comes first", {"CALL:0,2;2,1;3,4", "CALL:0,3;2,1;3,4", "CALL:0,5;2,1;3,4"}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.label);
        CCallTestRig rig;
        rig.AddEntry("2125550001", "Lee", "Ann");
        rig.control->DialNumber("2125550001");
        for (const std::string& report : c.reports) {
            rig.Line(report);
        }
        const CCall* call = rig.control->Calls().FindCallById(4);
        ASSERT_NE(call, nullptr);
        EXPECT_EQ(call->m_strRemoteNumber, "12125550001");
        EXPECT_EQ(call->m_strName, "Ann Lee");
        rig.Line("CALL:0,0;2,1;3,4");
        EXPECT_NE(rig.CallLogFile().find("\"Ann Lee\",\"12125550001\",\"1\",\"1\""), std::string::npos);
        EXPECT_EQ(rig.phoneBook->Find("2125550001")->m_nOutgoingCalls, 1);
    }
}

TEST(Dialing, LaterDialReplacesTheNumberNotYetTaken) {
    CCallTestRig rig;
    rig.control->DialNumber("2125550001");
    rig.control->DialNumber("3125550002");
    rig.Line("CALL:0,3;2,1;3,4");
    EXPECT_EQ(rig.control->Calls().FindCallById(4)->m_strRemoteNumber, "13125550002");
    // Taken: the next outgoing call reported has no number.
    rig.Line("CALL:0,3;2,2;3,5");
    EXPECT_EQ(rig.control->Calls().FindCallById(5)->m_strRemoteNumber, "");
    EXPECT_EQ(rig.control->Calls().FindCallById(5)->m_strName, "Unknown callee");
}

} // namespace
