// The remote-control triggers: the watched number pair on offered calls and the DTMF
// sequence during connected calls. A trigger hangs up, waits 2000 ms, toggles dial-up.
#include "core/Format.h"
#include "support/CallTestRig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace calltest;

void Dtmf(CCallTestRig& rig, int port, const std::string& digits) {
    for (char d : digits) {
        rig.Line(StrFormat("AUD:2,%d;42,%c", port, d));
    }
}
// An incoming call on the port, answered.
void ConnectIncoming(CCallTestRig& rig, int port, int id) {
    rig.Line(StrFormat("CALL:0,1;2,%d;3,%d;4,5551212;5,2125550000", port, id));
    rig.Line(Report(5, port, id));
}
void WatchNumbers(CSettings& s) {
    s.m_bRCWatchNumbers = true;
    s.m_strRCLocalNumber = "4085551212";
    s.m_strRCRemoteNumber = "2125550100";
}

TEST(RemoteControl, WatchedNumberPairTriggersAfterTheLocalNumberIsCompleted) {
    CCallTestRig rig(WatchNumbers);
    rig.Line("CALL:0,1;2,2;3,8;4,5551212;5,2125550100");
    EXPECT_TRUE(rig.Logged("Matched the RemoteControl watch numbers"));
    EXPECT_EQ(rig.Commands(), std::vector<std::string>{"AT*2H/8\r"});
    EXPECT_EQ(rig.Toggles(), 1);
    EXPECT_EQ(rig.TickOf("TOGGLE") - rig.TickOf("AT*2H/8\r"), 2000);
    EXPECT_TRUE(rig.host.CallerIdPopups().empty());
    const CCall* call = rig.control->Calls().FindCallById(8);
    ASSERT_NE(call, nullptr);
    EXPECT_FALSE(call->m_bHangUpPending);
    // Ended by the adapter later, it is logged like any unanswered incoming call.
    rig.Line(Report(0, 2, 8));
    ASSERT_EQ(rig.callLog->GetCount(), 1u);
    EXPECT_FALSE(rig.callLog->GetAt(0)->m_bConnected);
    EXPECT_EQ(rig.newCalls, 1);
}

TEST(RemoteControl, WatchedNumbersCompareWholeStrings) {
    struct SCase {
        const char* label;
        const char* local;
        const char* remote;
        bool watch;
        bool triggers;
    };
    const SCase cases[] = {
        {"exact pair, ten-digit local number", "4085551212", "2125550100", true, true},
        {"remote number with a leading 1", "5551212", "12125550100", true, false},
        {"other local number", "5551213", "2125550100", true, false},
        {"remote number is longer", "5551212", "21255501001", true, false},
        {"watching off", "5551212", "2125550100", false, false},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.label);
        CCallTestRig rig([&](CSettings& s) {
            WatchNumbers(s);
            s.m_bRCWatchNumbers = c.watch;
        });
        rig.Line(StrFormat("CALL:0,1;2,1;3,8;4,%s;5,%s", c.local, c.remote));
        EXPECT_EQ(rig.Toggles(), c.triggers ? 1 : 0);
        EXPECT_EQ(rig.host.CallerIdPopups().size(), c.triggers ? 0u : 1u);
        EXPECT_EQ(rig.Commands().size(), c.triggers ? 1u : 0u);
    }
}

TEST(RemoteControl, DtmfSequenceEndsTheCallAtOnceThenToggles) {
    CCallTestRig rig([](CSettings& s) {
        s.m_bRCWatchDTMF = true;
        s.m_strRCDTMF = "*73#";
    });
    const std::uint64_t entry = rig.AddEntry("2125550100", "Self", "Remote");
    rig.Line("CALL:0,1;2,1;3,9;4,5551212;5,2125550100");
    rig.Line(Report(5, 1, 9));
    rig.clock.AdvanceSeconds(20);
    rig.ClearEvents();
    Dtmf(rig, 1, "5*73");
    EXPECT_EQ(rig.Toggles(), 0);
    Dtmf(rig, 1, "#"); // the fourth digit of the sequence
    EXPECT_TRUE(rig.Logged("Matched the RemoteControl DTMF sequence"));
    EXPECT_EQ(rig.Commands(), std::vector<std::string>{"AT*1H/9\r"});
    EXPECT_EQ(rig.Toggles(), 1);
    EXPECT_EQ(rig.TickOf("TOGGLE") - rig.TickOf("AT*1H/9\r"), 2000);
    // The call ended before the toggle: statistics, record, tile.
    EXPECT_EQ(rig.control->Calls().Size(), 0u);
    EXPECT_EQ(rig.callsAtToggle, std::vector<std::size_t>{0});
    ASSERT_EQ(rig.callLog->GetCount(), 1u);
    EXPECT_EQ(rig.callLog->GetAt(0)->m_spanDuration, 22); // 20 s talk + the 2 s wait
    EXPECT_EQ(rig.phoneBook->FindById(entry)->m_nIncomingCalls, 1);
    EXPECT_FALSE(rig.host.Tile(0).call);
    // The adapter's own disconnect report later only logs.
    rig.Line(Report(0, 1, 9));
    EXPECT_EQ(rig.callLog->GetCount(), 1u);
    EXPECT_EQ(rig.CountLogged("Call disconnected"), 1);
}

TEST(RemoteControl, SequenceMaySpanTwoCallsOnTheSamePort) {
    CCallTestRig rig([](CSettings& s) {
        s.m_bRCWatchDTMF = true;
        s.m_strRCDTMF = "2580";
    });
    ConnectIncoming(rig, 1, 1);
    Dtmf(rig, 1, "25");
    rig.Line(Report(0, 1, 1));
    // A call on the other port does not continue it.
    ConnectIncoming(rig, 2, 2);
    Dtmf(rig, 2, "80");
    EXPECT_EQ(rig.Toggles(), 0);
    ConnectIncoming(rig, 1, 3);
    Dtmf(rig, 1, "80");
    EXPECT_EQ(rig.Toggles(), 1);
    EXPECT_EQ(rig.Commands().back(), "AT*1H/3\r");
}

TEST(RemoteControl, DirectionFiltersAndEmptySequence) {
    struct SCase {
        const char* label;
        bool watch;
        const char* sequence;
        bool incoming, outgoing;
        bool callOutgoing;
        bool triggers;
    };
    const SCase cases[] = {
        {"incoming call, incoming watched", true, "4321", true, false, false, true},
        {"incoming call, only outgoing watched", true, "4321", false, true, false, false},
        {"outgoing call, outgoing watched", true, "4321", false, true, true, true},
        {"outgoing call, only incoming watched", true, "4321", true, false, true, false},
        {"watching off", false, "4321", true, true, false, false},
        {"empty sequence: every digit triggers", true, "", true, false, false, true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.label);
        CCallTestRig rig([&](CSettings& s) {
            s.m_bRCWatchDTMF = c.watch;
            s.m_strRCDTMF = c.sequence;
            s.m_bRCIncoming = c.incoming;
            s.m_bRCOutgoing = c.outgoing;
        });
        if (c.callOutgoing) {
            rig.Line(Report(3, 1, 4)); // created by a connecting report: outgoing
        } else {
            rig.Line("CALL:0,1;2,1;3,4;4,5551212;5,2125550000");
        }
        rig.Line(Report(5, 1, 4));
        const std::string digits = *c.sequence ? c.sequence : "9";
        Dtmf(rig, 1, std::string("7") + digits);
        EXPECT_EQ(rig.Toggles(), c.triggers ? 1 : 0);
        if (c.triggers && *c.sequence == '\0') {
            // The very first digit matched and ended the call; the next one finds no call.
            EXPECT_EQ(rig.Commands(), std::vector<std::string>{"AT*1H/4\r"});
            EXPECT_TRUE(rig.Logged("DTMF: 9"));
        }
    }
}

TEST(RemoteControl, HistoryKeepsTheLast99DigitsOfConnectedCallsOnly) {
    CCallTestRig rig([](CSettings& s) {
        s.m_bRCWatchDTMF = true;
        s.m_strRCDTMF = std::string(100, '1'); // longer than the history: never matches
        s.m_bRCOutgoing = true;                // the call below is one the phone dialed
    });
    rig.Line(Report(2, 1, 1)); // being dialed: its digits are not watched
    Dtmf(rig, 1, "123");
    EXPECT_EQ(rig.control->RemoteControl().DigitHistory(0), "");
    rig.Line(Report(5, 1, 1));
    Dtmf(rig, 1, "9" + std::string(120, '1'));
    EXPECT_EQ(rig.control->RemoteControl().DigitHistory(0), std::string(99, '1'));
    EXPECT_EQ(rig.Toggles(), 0);
    rig.settings.m_strRCDTMF = std::string(99, '1');
    Dtmf(rig, 1, "1");
    EXPECT_EQ(rig.Toggles(), 1);
}

} // namespace
