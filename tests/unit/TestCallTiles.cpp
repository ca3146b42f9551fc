// The four tiles: placing calls, selecting tiles (what happens to the call being left and
// to the one being entered), the hold and hang-up buttons, and the indicators.
#include "core/Format.h"
#include "support/CallTestRig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace calltest;

// Leaving the selected tile for an empty one: what is sent for the call left behind, then
// the new call started on the first port without an active call.
struct SLeaveCase {
    const char* label;
    std::vector<std::string> setup; // lines that put call 5 on port 1 into tile 0
    std::vector<std::string> expected;
    bool holdPending;
    bool hangUpPending;
};

TEST(CallTiles, LeavingATileHoldsRejectsOrLeavesItsCall) {
    const SLeaveCase cases[] = {
        {"connected call is held", {Report(5, 1, 5)}, {"AT*1W/5\r", "AT*1D\r"}, true, false},
        {"offered call is rejected", {Offer(1, 5)}, {"AT*1H/5\r", "AT*1D\r"}, false, true},
        {"call being dialed is dropped", {Report(2, 1, 5)}, {"AT*1H/5\r", "AT*1D\r"}, false, true},
        {"held call is left alone", {Report(7, 1, 5)}, {"AT*1D\r"}, false, false},
        {"forwarding call is dropped", {Report(4, 1, 5)}, {"AT*1H/5\r", "AT*1D\r"}, false, true},
    };
    for (const SLeaveCase& c : cases) {
        SCOPED_TRACE(c.label);
        CCallTestRig rig;
        for (const std::string& line : c.setup) {
            rig.Line(line);
        }
        rig.ClearEvents();
        rig.control->Tiles().SelectTile(1);
        EXPECT_EQ(rig.Commands(), c.expected);
        const CCall* call = rig.control->Calls().FindCallById(5);
        ASSERT_NE(call, nullptr);
        EXPECT_EQ(call->m_bHoldPending, c.holdPending);
        EXPECT_EQ(call->m_bHangUpPending, c.hangUpPending);
        EXPECT_EQ(rig.control->Tiles().SelectedTile(), 1);
        // The new call is started 500 ms after the request.
        EXPECT_EQ(rig.host.Waits(), std::vector<int>{500});
        EXPECT_EQ(rig.TickOf("AT*1D\r") - rig.TickOf("SelectTile(1)"), 500);
        EXPECT_TRUE(rig.Logged("  new tile(old=0)"));
    }
}

TEST(CallTiles, SelectingAHeldCallsTileRetrievesItAfterHalfASecond) {
    CCallTestRig rig;
    rig.Line(Report(5, 1, 5)); // tile 0, selected
    rig.Line(Report(7, 2, 6)); // tile 1
    rig.ClearEvents();
    rig.control->Tiles().SelectTile(1);
    EXPECT_EQ(rig.Commands(), (std::vector<std::string>{"AT*1W/5\r", "AT*2R/6\r"}));
    EXPECT_EQ(rig.TickOf("AT*2R/6\r") - rig.TickOf("AT*1W/5\r"), 500);
    EXPECT_TRUE(rig.control->Calls().FindCallById(6)->m_bRetrievePending);
    EXPECT_EQ(rig.logs.front().text, "SelectTile(1)");
    EXPECT_TRUE(rig.Logged("PutSelectedTileOnHold(0)"));
    EXPECT_TRUE(rig.Logged("   Call Not Null"));
    EXPECT_TRUE(rig.Logged("   Call CS_Connected - putting on hold"));
    // Adapter confirms: 5 held, 6 back.
    rig.Line(Report(7, 1, 5));
    rig.Line(Report(10, 2, 6));
    EXPECT_FALSE(rig.control->Calls().FindCallById(6)->m_bRetrievePending);
    EXPECT_EQ(rig.control->Calls().CurrentCall(1)->m_nCallId, 6);
    EXPECT_EQ(rig.control->Calls().Held(0).size(), 1u);
    EXPECT_TRUE(rig.control->Calls().Held(1).empty());
}

TEST(CallTiles, SelectingTheSelectedEmptyTileStartsACallOnTheFirstFreePort) {
    struct SCase {
        const char* label;
        std::vector<std::string> setup;
        std::vector<std::string> expected;
    };
    const SCase cases[] = {
        {"both ports free", {}, {"AT*1D\r"}},
        {"port 1 busy", {Report(5, 1, 5), Report(7, 2, 9)}, {"AT*2D\r"}},
        {"both ports busy", {Report(5, 1, 5), Report(5, 2, 6)}, {}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.label);
        CCallTestRig rig;
        // Tile 3 selected while empty; the calls then fill tiles 0 and 1.
        rig.control->Tiles().SelectTile(3);
        for (const std::string& line : c.setup) {
            rig.Line(line);
        }
        rig.ClearEvents();
        ASSERT_EQ(rig.control->Tiles().SelectedCall(), nullptr);
        rig.control->Tiles().SelectTile(3);
        EXPECT_EQ(rig.Commands(), c.expected);
        EXPECT_FALSE(rig.Logged("  new tile(old=3)"));
        EXPECT_EQ(rig.host.CountCalls("WaitInPlace"), static_cast<int>(c.expected.size()));
    }
}

TEST(CallTiles, HoldAndHangUpButtonsActOnceOnTheSelectedCall) {
    CCallTestRig rig;
    rig.Line(Report(5, 2, 12));
    auto& tiles = rig.control->Tiles();
    tiles.HoldSelectedTile();
    tiles.HoldSelectedTile(); // hold pending: not repeated
    tiles.HangUpSelectedTile();
    tiles.HangUpSelectedTile(); // hang-up pending: not repeated
    EXPECT_EQ(rig.Commands(), (std::vector<std::string>{"AT*2W/12\r", "AT*2H/12\r"}));
    EXPECT_FALSE(tiles.RetrieveSelectedTile()); // not held yet
    rig.Line(Report(7, 2, 12));
    tiles.HoldSelectedTile(); // already held
    EXPECT_TRUE(tiles.RetrieveSelectedTile());
    EXPECT_EQ(rig.Commands().back(), "AT*2R/12\r");
    EXPECT_EQ(rig.Commands().size(), 3u);
}

TEST(CallTiles, FifthCallIsTrackedButShownNowhere) {
    CCallTestRig rig;
    for (int id = 1; id <= 5; ++id) {
        rig.Line(Offer(1 + id % 2, id));
    }
    EXPECT_EQ(rig.control->Calls().Size(), 5u);
    const CCall* fifth = rig.control->Calls().FindCallById(5);
    ASSERT_NE(fifth, nullptr);
    EXPECT_EQ(fifth->m_nTile, -1);
    EXPECT_EQ(rig.host.CallerIdPopups().size(), 5u);
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(rig.control->Tiles().CallInTile(t)->m_nCallId, t + 1);
    }
    // Tile 1 frees up; the fifth call does not move into it.
    rig.Line(Report(0, 1, 2));
    EXPECT_TRUE(rig.control->Tiles().TileEmpty(1));
    EXPECT_EQ(fifth->m_nTile, -1);
    // It still ends like any call: logged and counted.
    rig.Line(Report(0, 2, 5));
    EXPECT_EQ(rig.callLog->GetCount(), 2u);
    EXPECT_EQ(rig.newCalls, 2);
}

TEST(CallTiles, TilesShowNameNumberPortAndRunningTime) {
    CCallTestRig rig;
    rig.Line(Offer(2, 7, "2125550001"));
    EXPECT_EQ(rig.host.Tile(0), (STileView{true, 2, "Unknown caller", "2125550001", "0:00"}));
    rig.clock.AdvanceSeconds(3725);
    rig.Pump();
    EXPECT_EQ(rig.host.Tile(0).runningTime, "0:00"); // repainted only on a refresh
    rig.control->OnRefreshTiles();
    EXPECT_EQ(rig.host.Tile(0).runningTime, "62:05");
    // A call created by a connected report for an unknown call: no name, no number.
    rig.Line(Report(5, 1, 8));
    EXPECT_EQ(rig.host.Tile(1), (STileView{true, 1, "", "", "0:00"}));
    rig.Line(Report(0, 2, 7));
    EXPECT_EQ(rig.host.Tile(0), STileView{});
}

TEST(CallTiles, SelectionAndTileStatesForTheIndicators) {
    CCallTestRig rig;
    auto& tiles = rig.control->Tiles();
    tiles.SelectTile(2);
    tiles.SelectTile(2);
    EXPECT_EQ(rig.selectedTiles, (std::vector<int>{2, 2}));
    rig.Line(Report(5, 1, 1)); // tile 0
    rig.Line(Report(7, 2, 2)); // tile 1
    using E = CTileSet::EShows;
    EXPECT_EQ(tiles.Shows(0), E::Call);
    EXPECT_EQ(tiles.Shows(1), E::HeldCall);
    EXPECT_EQ(tiles.Shows(3), E::Nothing);
    rig.Line(Report(10, 2, 2));
    EXPECT_EQ(tiles.Shows(1), E::Call);
}

TEST(CallTiles, ButtonsAndMessagesReachTheirOperations) {
    CCallTestRig rig;
    rig.Line(Report(5, 1, 3)); // tile 0, selected
    rig.ClearEvents();
    CCallControl& control = *rig.control;
    EXPECT_TRUE(control.OnCommand(1006)); // keypad 5
    EXPECT_TRUE(control.OnCommand(1011)); // keypad *
    EXPECT_TRUE(control.OnCommand(ctl::kHold));
    EXPECT_TRUE(control.OnCommand(ctl::kHangUp));
    EXPECT_FALSE(control.OnCommand(ctl::kDialUp));
    EXPECT_EQ(rig.Commands(), (std::vector<std::string>{"AT*1D5/3\r", "AT*1D*/3\r", "AT*1W/3\r", "AT*1H/3\r"}));
    EXPECT_TRUE(control.OnCommand(ctl::kTileSelect[3]));
    EXPECT_EQ(control.Tiles().SelectedTile(), 3);
    rig.ClearEvents();
    EXPECT_TRUE(control.OnMessage(CMessage::WithText(WM_RV_DIAL_NUMBER, "3125550000")));
    EXPECT_EQ(rig.Commands(), std::vector<std::string>{"AT*1D13125550000\r"});
    EXPECT_TRUE(control.OnMessage(CMessage::Make(WM_RV_REFRESH_TILES)));
    EXPECT_EQ(rig.host.CountCalls("SetTile("), 1); // the one tile with a call
    EXPECT_FALSE(control.OnMessage(CMessage::Make(WM_RV_PB_COLUMNS_CHANGED)));
}

TEST(CallTiles, RepeatedHoldReportKeepsTheHeldOrderAndLeavesNoStaleEntry) {
    CCallTestRig rig;
    rig.Line(Report(7, 1, 21));
    rig.Line(Report(7, 1, 22));
    rig.Line(Report(7, 1, 21)); // the adapter repeats itself
    const auto held = rig.control->Calls().Held(0);
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(rig.control->Calls().Get(held[0])->m_nCallId, 21);
    rig.Line(Report(0, 1, 21));
    rig.Line(Report(0, 1, 22));
    EXPECT_TRUE(rig.control->Calls().Held(0).empty());
    rig.ClearEvents();
    rig.Line("AUD:2,1;40,3"); // flash: nothing held any more, so a new call
    EXPECT_EQ(rig.Commands(), std::vector<std::string>{"AT*1D\r"});
}

} // namespace
