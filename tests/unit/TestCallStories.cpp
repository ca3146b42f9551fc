// Whole call stories through call control, with the real phone book and call log stores:
// adapter lines in, commands, log lines, tiles, records and files out.
#include "core/Format.h"
#include "support/CallTestRig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace calltest;

// The only record in a fresh store loaded from the rig's call log file.
struct SStoredRecord {
    std::string name, number;
    bool outgoing = false, connected = false;
    std::int64_t start = 0;
    int duration = 0, port = -1;
    std::size_t count = 0;
};
SStoredRecord ReloadNewestRecord(const CCallTestRig& rig) {
    CCallLog reloaded(rig.settings.m_strCallLogName, "408");
    SStoredRecord out;
    out.count = reloaded.GetCount();
    if (const CCallLogRecord* r = reloaded.GetAt(0)) {
        out = {r->m_strName,   r->m_strNumber,    r->m_bOutgoing, r->m_bConnected,
               r->m_timeStart, r->m_spanDuration, r->m_nPort,     out.count};
    }
    return out;
}

TEST(CallStories, IncomingCallAnsweredByLiftingTheHandsetIsRecordedEverywhere) {
    CCallTestRig rig;
    const std::uint64_t entryId = rig.AddEntry("4085551212", "Smith", "John");

    rig.Line(Offer(1, 17, "4085551212"));
    EXPECT_TRUE(rig.Logged("Call offering: 4085551212"));
    ASSERT_TRUE(rig.host.Tile(0).call);
    EXPECT_EQ(rig.host.Tile(0).name, "John Smith");
    EXPECT_EQ(rig.host.Tile(0).number, "4085551212");
    EXPECT_EQ(rig.host.Tile(0).port, 1);
    ASSERT_EQ(rig.host.CallerIdPopups().size(), 1u);
    EXPECT_EQ(rig.host.CallerIdPopups()[0].name, "John Smith");
    CCall* call = rig.control->Calls().FindCallById(17);
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->m_strLocalNumber, "4085551212"); // the 7-digit local number completed

    rig.clock.AdvanceSeconds(4);
    rig.Line(Audio(1, 2));
    EXPECT_TRUE(rig.Logged("Local off-hook"));
    EXPECT_EQ(rig.Commands(), std::vector<std::string>{"AT*1A/17\r"});

    rig.clock.AdvanceSeconds(1);
    const std::int64_t connectedAt = rig.clock.Now();
    rig.Line(Report(5, 1, 17));
    EXPECT_EQ(call->m_nState, CS_Connected);
    EXPECT_TRUE(call->m_bConnected);
    EXPECT_EQ(call->m_timeStart, connectedAt);

    rig.clock.AdvanceSeconds(65);
    rig.control->OnRefreshTiles();
    EXPECT_EQ(rig.host.Tile(0).runningTime, "1:05");

    rig.Line(Audio(1, 1));
    EXPECT_EQ(rig.Commands().back(), "AT*1H/17\r");
    EXPECT_TRUE(call->m_bHangUpPending);
    rig.Line(Report(0, 1, 17));

    EXPECT_EQ(rig.control->Calls().Size(), 0u);
    EXPECT_FALSE(rig.host.Tile(0).call);
    // The record: in the store, in its window, in the file.
    const SStoredRecord stored = ReloadNewestRecord(rig);
    EXPECT_EQ(stored.count, 1u);
    EXPECT_EQ(stored.name, "John Smith");
    EXPECT_EQ(stored.number, "4085551212");
    EXPECT_FALSE(stored.outgoing);
    EXPECT_TRUE(stored.connected);
    EXPECT_EQ(stored.start, connectedAt);
    EXPECT_EQ(stored.duration, 65);
    EXPECT_EQ(stored.port, 0);
    const auto sent = rig.host.SentMessages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].first, EWindow::CallLog);
    EXPECT_EQ(sent[0].second.id, WM_RV_LOG_ADD_RECORD);
    EXPECT_EQ(sent[0].second.key, rig.callLog->GetAt(0)->m_id);
    // The caller's statistics.
    const CPhoneBookEntry* entry = rig.phoneBook->FindById(entryId);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->m_nIncomingCalls, 1);
    EXPECT_EQ(entry->m_spanTotalIncoming, 65);
    EXPECT_EQ(entry->m_timeLastIncoming, connectedAt);
    EXPECT_EQ(rig.refreshedEntries, std::vector<std::uint64_t>{entryId});
    EXPECT_TRUE(rig.Logged("Phone book updated"));
    EXPECT_TRUE(rig.Logged("Call log updated"));
    // The announcement.
    EXPECT_EQ(rig.newCalls, 1);
}

// A call that ends before it was answered: logged as not connected, counted as new; the
// caller's statistics change only with IncompleteCallsToPhoneBook.
struct SMissedCase {
    const char* label;
    bool incompleteToPhoneBook;
    bool known;
    const char* phoneBookLog; // "" when neither phone book line is logged
    int incomingCalls;        // of the known entry afterwards
};
const SMissedCase kMissed[] = {
    {"plain, unknown caller", false, false, "", 0},
    {"plain, known caller", false, true, "", 0},
    {"incomplete calls recorded, known caller", true, true, "Phone book updated", 1},
    {"incomplete calls recorded, unknown caller", true, false, "Number not in phone book, not updated", 0},
};

TEST(CallStories, MissedCall) {
    for (const SMissedCase& c : kMissed) {
        SCOPED_TRACE(c.label);
        CCallTestRig rig([&](CSettings& s) { s.m_bIncompleteCallsToPhoneBook = c.incompleteToPhoneBook; });
        const std::uint64_t id = rig.AddEntry(c.known ? "2125550000" : "3125550000", "Doe", "Jane");
        rig.Line(Offer(2, 40, "2125550000"));
        rig.clock.AdvanceSeconds(12);
        rig.Line(Report(0, 2, 40));

        const SStoredRecord stored = ReloadNewestRecord(rig);
        ASSERT_EQ(stored.count, 1u);
        EXPECT_EQ(stored.name, c.known ? "Jane Doe" : "Unknown caller");
        EXPECT_FALSE(stored.connected);
        EXPECT_FALSE(stored.outgoing);
        EXPECT_EQ(stored.duration, 12);
        EXPECT_EQ(stored.port, 1);
        EXPECT_EQ(rig.newCalls, 1);
        const bool anyPhoneBookLine =
            rig.Logged("Phone book updated") || rig.Logged("Number not in phone book, not updated");
        EXPECT_EQ(anyPhoneBookLine, *c.phoneBookLog != '\0');
        if (*c.phoneBookLog != '\0') {
            EXPECT_TRUE(rig.Logged(c.phoneBookLog));
        }
        EXPECT_EQ(rig.phoneBook->FindById(id)->m_nIncomingCalls, c.incomingCalls);
    }
}

TEST(CallStories, EveryLoggedIncomingCallIsAnnouncedOutgoingOnesAreNot) {
    CCallTestRig rig;
    for (int i = 0; i < 3; ++i) {
        rig.Line(Offer(1, 50 + i, "2125550001"));
        rig.Line(Report(0, 1, 50 + i));
        EXPECT_EQ(rig.newCalls, i + 1);
    }
    ASSERT_EQ(rig.control->DialNumber("2125550002"), 0);
    rig.Line(Report(3, 1, 60));
    rig.Line(Report(0, 1, 60));
    EXPECT_EQ(rig.callLog->GetCount(), 4u);
    EXPECT_EQ(rig.newCalls, 3);
}

TEST(CallStories, CallsRunWithoutStores) {
    CCallTestRig rig({}, false);
    rig.Line(Offer(1, 17, "4085551212"));
    EXPECT_EQ(rig.control->Calls().FindCallById(17)->m_strName, "Unknown caller");
    rig.Line(Report(5, 1, 17));
    rig.Line(Report(0, 1, 17));
    EXPECT_TRUE(rig.Logged("Number not in phone book, not updated"));
    EXPECT_TRUE(rig.Logged("Call log updated"));
    EXPECT_TRUE(rig.host.SentMessages().empty()); // no record to show
    EXPECT_EQ(rig.newCalls, 1);
}

TEST(CallStories, OutgoingCallDialedFromTheCallLogTakesTheDialedNumber) {
    CCallTestRig rig;
    ASSERT_EQ(rig.control->DialNumber("2125550002"), 0);
    EXPECT_EQ(rig.Commands(), std::vector<std::string>{"AT*1D12125550002\r"});
    rig.Line(Report(3, 1, 70));
    CCall* call = rig.control->Calls().FindCallById(70);
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->m_strRemoteNumber, "12125550002");
    EXPECT_EQ(call->m_strName, "Unknown callee");
    EXPECT_TRUE(rig.control->Calls().LastDialedNumber().empty());
    EXPECT_EQ(rig.control->Calls().CurrentCall(0), call);

    // The callee turns out to be in the phone book (looked up without the leading 1).
    rig.AddEntry("2125550002", "Ltd", "Acme");
    rig.Line(Report(5, 1, 70));
    EXPECT_EQ(call->m_strName, "Acme Ltd");
    rig.clock.AdvanceSeconds(30);
    rig.Line(Report(0, 1, 70));
    const SStoredRecord stored = ReloadNewestRecord(rig);
    EXPECT_TRUE(stored.outgoing);
    EXPECT_TRUE(stored.connected);
    EXPECT_EQ(stored.duration, 30);
    EXPECT_EQ(rig.newCalls, 0);
}

TEST(CallStories, CallDialedOnTheTelephoneCollectsItsDigitsButIsNotLoggedWhileDialing) {
    CCallTestRig rig;
    rig.Line(Offer(1, 80, "2125550003")); // takes tile 0
    rig.control->Tiles().SelectTile(2);   // leaving tile 0 rejects the offer; tile 2 is empty
    rig.ClearEvents();
    rig.Line(Report(2, 2, 81));
    EXPECT_TRUE(rig.Logged("Local initiating call"));
    CCall* dialing = rig.control->Calls().FindCallById(81);
    ASSERT_NE(dialing, nullptr);
    EXPECT_EQ(dialing->m_nTile, 2); // the selected tile, though tile 1 is empty too
    for (char d : std::string("1408")) {
        rig.Line(StrFormat("AUD:2,2;42,%c", d));
    }
    EXPECT_EQ(rig.Commands(), (std::vector<std::string>{"AT*2D1/81\r", "AT*2D4/81\r", "AT*2D0/81\r", "AT*2D8/81\r"}));
    EXPECT_EQ(dialing->m_strRemoteNumber, "408");
    EXPECT_EQ(rig.host.Tile(2).number, "408");
    rig.Line(Report(0, 2, 81));
    EXPECT_EQ(rig.callLog->GetCount(), 0u);
    EXPECT_FALSE(rig.Logged("Call log updated"));
}

TEST(CallStories, ExistingCallIsTrackedOnceAndMarksThePhoneOffHook) {
    CCallTestRig rig;
    rig.Line("CALL:0,99;2,1;3,5;4,;5,4085550009");
    CCall* call = rig.control->Calls().FindCallById(5);
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->m_nState, CS_Existing);
    EXPECT_EQ(call->m_strName, "<Existing Call>");
    EXPECT_TRUE(call->m_bConnected);
    EXPECT_TRUE(rig.control->Calls().OffHook(0));
    // A second report for the port (another id) or for the id is ignored without a log line.
    rig.Line("CALL:0,99;2,1;3,6");
    rig.Line("CALL:0,99;2,2;3,5");
    EXPECT_EQ(rig.control->Calls().Size(), 1u);
    EXPECT_EQ(rig.CountLogged("Existing call (before app started)"), 1);
    // Phone 1 is busy, so a dial request goes out on Phone 2.
    ASSERT_EQ(rig.control->DialNumber("4085550010"), 0);
    EXPECT_EQ(rig.Commands().back(), "AT*2D5550010\r");
}

TEST(CallStories, ReportsForUntrackedCallsCreateThemInTheReportedState) {
    struct SCase {
        int type;
        int state;
        bool connected;
        bool current; // becomes the port's current call
        bool held;
    };
    const SCase cases[] = {
        {3, CS_Connecting, false, true, false}, {4, CS_Forwarding, false, true, false},
        {5, CS_Connected, true, true, false},   {7, CS_Hold, false, false, true},
        {10, CS_Connected, false, true, false},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.type);
        CCallTestRig rig;
        rig.Line(Report(c.type, 2, 33));
        CCall* call = rig.control->Calls().FindCallById(33);
        ASSERT_NE(call, nullptr);
        EXPECT_EQ(call->m_nState, c.state);
        EXPECT_EQ(call->m_bConnected, c.connected);
        EXPECT_TRUE(call->m_bOutgoing);
        EXPECT_EQ(call->m_nPort, 1);
        EXPECT_EQ(call->m_nTile, 0);
        EXPECT_EQ(rig.control->Calls().CurrentCall(1) == call, c.current);
        EXPECT_EQ(rig.control->Calls().Held(1).size(), c.held ? 1u : 0u);
    }
}

TEST(CallStories, DisconnectOfAnUnknownCallOnlyLogs) {
    CCallTestRig rig;
    rig.Line(Offer(1, 17, "2125550004"));
    rig.ClearEvents();
    rig.Line(Report(0, 1, 99));
    EXPECT_TRUE(rig.Logged("Call disconnected"));
    EXPECT_EQ(rig.logs.size(), 1u);
    EXPECT_TRUE(rig.Commands().empty());
    EXPECT_EQ(rig.callLog->GetCount(), 0u);
    EXPECT_EQ(rig.control->Calls().Size(), 1u);
    EXPECT_EQ(rig.host.CountCalls("SetTile"), 0);
}

TEST(CallStories, ShutDownDeletesEveryCall) {
    CCallTestRig rig;
    rig.Line(Offer(1, 1, "2125550005"));
    rig.Line(Report(7, 2, 2));
    rig.control->ShutDown();
    EXPECT_EQ(rig.control->Calls().Size(), 0u);
    EXPECT_TRUE(rig.control->Calls().Held(1).empty());
    EXPECT_EQ(rig.control->Tiles().SelectedCall(), nullptr);
    // A disconnect after shut-down finds nothing.
    rig.Line(Report(0, 1, 1));
    EXPECT_EQ(rig.callLog->GetCount(), 0u);
}

} // namespace
