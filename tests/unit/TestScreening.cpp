// Screening of offered calls: rejected callers, the remote-control number pair, and the
// caller-ID popup with its show-number rule.
#include "calls/CCallScreening.h"
#include "core/Format.h"
#include "records/CPhoneBookEntry.h"
#include "support/CallTestRig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Offer(int id, const std::string& remote, const std::string& local = "5551212") {
    return StrFormat("CALL:0,1;2,1;3,%d;4,%s;5,%s", id, local.c_str(), remote.c_str());
}

TEST(Screening, CallerWithoutNumberIsRejectedWithIgnoreBlockedAndStillLoggedLater) {
    CCallTestRig rig([](CSettings& s) { s.m_bIgnoreBlocked = true; });
    rig.Line("CALL:0,1;2,1;3,17;4,5551212;5,");
    EXPECT_EQ(rig.Commands(), std::vector<std::string>{"AT*1H/17\r"});
    EXPECT_TRUE(rig.Logged("Caller Ignored - no phone number sent"));
    EXPECT_TRUE(rig.host.CallerIdPopups().empty());
    const CCall* call = rig.control->Calls().FindCallById(17);
    ASSERT_NE(call, nullptr);
    EXPECT_TRUE(call->m_bHangUpPending);
    EXPECT_EQ(call->m_nTile, 0); // tracked and shown until the adapter ends it
    rig.Line("CALL:0,0;2,1;3,17");
    ASSERT_EQ(rig.callLog->GetCount(), 1u);
    EXPECT_FALSE(rig.callLog->GetAt(0)->m_bOutgoing);
    EXPECT_EQ(rig.newCalls, 1);
}

TEST(Screening, CallerWithoutNumberGetsThePopupWithoutIgnoreBlocked) {
    CCallTestRig rig;
    rig.Line("CALL:0,1;2,2;3,17;4,5551212");
    EXPECT_TRUE(rig.Commands().empty());
    ASSERT_EQ(rig.host.CallerIdPopups().size(), 1u);
    EXPECT_FALSE(rig.host.CallerIdPopups()[0].showNumber);
    EXPECT_EQ(rig.host.CallerIdPopups()[0].portIndex, 1);
}

TEST(Screening, PhoneBookIgnoreFlagRejectsEvenWhenTheWatchNumbersMatch) {
    CCallTestRig rig([](CSettings& s) {
        s.m_bRCWatchNumbers = true;
        s.m_strRCLocalNumber = "4085551212";
        s.m_strRCRemoteNumber = "2125550100";
    });
    rig.AddEntry("2125550100", "Seller", "Tele", PBF_IGNORE);
    rig.Line(Offer(30, "2125550100"));
    EXPECT_EQ(rig.Commands(), std::vector<std::string>{"AT*1H/30\r"});
    EXPECT_TRUE(rig.Logged("Caller Ignored - by phone book setting"));
    EXPECT_FALSE(rig.Logged("Matched the RemoteControl watch numbers"));
    EXPECT_EQ(rig.Toggles(), 0);
    EXPECT_TRUE(rig.host.CallerIdPopups().empty());
    EXPECT_TRUE(rig.control->Calls().FindCallById(30)->m_bHangUpPending);
    // An entry without the flag, reached through the lookup rule (7 digits, area code).
    rig.AddEntry("5550101", "Friend", "Good");
    rig.Line(Offer(31, "5550101"));
    EXPECT_EQ(rig.Commands().size(), 1u);
    ASSERT_EQ(rig.host.CallerIdPopups().size(), 1u);
    EXPECT_EQ(rig.host.CallerIdPopups()[0].name, "Good Friend");
}

// The popup's number line: shown when the call has a number, CIDShowNumber is on, and
// either CIDOnlyIfNotInPhoneBook is off or the caller is not in the phone book.
struct SPopupCase {
    const char* label;
    bool showNumber;
    bool onlyIfNotInPhoneBook;
    bool known;
    bool expectShown;
};
const SPopupCase kPopup[] = {
    {"number shown", true, false, false, true},
    {"number shown for a known caller", true, false, true, true},
    {"CIDShowNumber off", false, false, false, false},
    {"only if not in phone book, unknown caller", true, true, false, true},
    {"only if not in phone book, known caller", true, true, true, false},
};

TEST(Screening, PopupShowNumberRule) {
    for (const SPopupCase& c : kPopup) {
        SCOPED_TRACE(c.label);
        CCallTestRig rig([&](CSettings& s) {
            s.m_bCIDShowNumber = c.showNumber;
            s.m_bCIDOnlyIfNotInPhoneBook = c.onlyIfNotInPhoneBook;
            s.m_bCallerIDTimer = false;
            s.m_nCIDTimerValue = 7;
            s.m_nCIDFontSize = 150;
            s.m_bCIDFontItalic = true;
            s.m_dwCIDFontColor = 0x00112233;
        });
        if (c.known) {
            rig.AddEntry("2125550111", "Known", "Kim");
        }
        rig.Line(Offer(40, "2125550111"));
        ASSERT_EQ(rig.host.CallerIdPopups().size(), 1u);
        const SCallerIdPopup popup = rig.host.CallerIdPopups()[0];
        EXPECT_EQ(popup.showNumber, c.expectShown);
        EXPECT_EQ(popup.number, c.expectShown ? "2125550111" : "");
        EXPECT_EQ(popup.name, c.known ? "Kim Known" : "Unknown caller");
        EXPECT_FALSE(popup.autoDismiss);
        EXPECT_EQ(popup.seconds, 7);
        EXPECT_EQ(popup.pointSizeTenths, 150);
        EXPECT_TRUE(popup.italic);
        EXPECT_EQ(popup.textColor, 0x00112233u);
    }
}

TEST(Screening, CallsAreAnnouncedByPopupNotificationOrBothAndThePopupStandsInForAMissingService) {
    using A = CSettings::EAnnounce;
    struct Row {
        A announce;
        bool service;
        std::size_t popups;
        std::size_t notifications;
    };
    const Row rows[] = {
        {A::Both, true, 1, 1},          {A::Popup, true, 1, 0}, {A::Notification, true, 0, 1},
        {A::Notification, false, 1, 0}, {A::Both, false, 1, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.announce) * 10 + row.service);
        CCallTestRig rig([&](CSettings& s) { s.m_eCIDAnnounce = row.announce; });
        rig.host.SetNotificationService(row.service);
        rig.Line(Offer(40, "2125550111"));
        EXPECT_EQ(rig.host.CallerIdPopups().size(), row.popups);
        ASSERT_EQ(rig.host.Notifications().size(), row.notifications);
        if (row.notifications == 1) {
            const SCallNotification n = rig.host.Notifications()[0];
            EXPECT_EQ(n.summary, "Unknown caller");
            EXPECT_EQ(n.body, "2125550111 - Phone 1");
            EXPECT_EQ(n.actions, (std::vector<ENotificationEvent>{NE_Reject, NE_Block, NE_AddToPhoneBook}));
        }
    }
    // A caller in the phone book is not offered to it again; a withheld number only rejected.
    CCallTestRig rig([](CSettings& s) { s.m_bCIDShowNumber = false; });
    rig.host.SetNotificationService(true);
    rig.AddEntry("2125550111", "Known", "Kim");
    rig.Line(Offer(41, "2125550111"));
    rig.Line("CALL:0,1;2,2;3,42;4,5551212;5,");
    ASSERT_EQ(rig.host.Notifications().size(), 2u);
    EXPECT_EQ(rig.host.Notifications()[0].body, "Phone 1");
    EXPECT_EQ(rig.host.Notifications()[0].actions, (std::vector<ENotificationEvent>{NE_Reject, NE_Block}));
    EXPECT_EQ(rig.host.Notifications()[1].body, "No number sent - Phone 2");
    EXPECT_EQ(rig.host.Notifications()[1].actions, std::vector<ENotificationEvent>{NE_Reject});
}

TEST(Screening, NotificationActionsActOnTheOfferedCallWhichTakesItsNotificationAlong) {
    struct Row {
        const char* label;
        bool known;          // the caller has a phone book entry
        int event;           // the notification's event, 0 for none
        const char* reports; // adapter reports after the event
        std::vector<std::string> commands;
        std::uint32_t flags; // the number's phone book flags afterwards (~0u: no entry)
        const char* sentToPhoneBook;
        std::size_t popups;
        bool closed;
    };
    const std::string ended = "CALL:0,0;2,1;3,40";
    const Row rows[] = {
        {"reject", false, NE_Reject, "", {"AT*1H/40\r"}, ~0u, nullptr, 0, true},
        {"block a new number", false, NE_Block, "", {"AT*1H/40\r"}, PBF_IGNORE, "WM_RV_PB_ADD_ENTRY", 0, true},
        {"block a known caller", true, NE_Block, "", {"AT*1H/40\r"}, PBF_IGNORE, "WM_RV_PB_SET_IGNORE", 0, true},
        {"add, then answered",
         false,
         NE_AddToPhoneBook,
         "CALL:0,5;2,1;3,40",
         {},
         ~0u,
         "WM_RV_NUMBER_TO_PHONE_BOOK",
         0,
         true},
        {"the far end gives up", false, 0, "CALL:0,0;2,1;3,40", {}, ~0u, nullptr, 0, true},
        {"the service fails: the popup instead", false, NE_Failed, "", {}, ~0u, nullptr, 1, false},
        {"the service fails after the answer", false, 0, "CALL:0,5;2,1;3,40", {}, ~0u, nullptr, 0, true},
        {"too late for a choice", false, -NE_Reject, "", {}, ~0u, nullptr, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        CCallTestRig rig([](CSettings& s) { s.m_eCIDAnnounce = CSettings::EAnnounce::Notification; });
        rig.host.SetNotificationService(true);
        if (row.known) {
            rig.AddEntry("2125550111", "Known", "Kim");
        }
        rig.Line(Offer(40, "2125550111"));
        const std::uint64_t key = rig.host.Notifications().at(0).key;
        if (row.event < 0) { // the call ends before the choice arrives
            rig.Line(ended);
        }
        if (row.event != 0) {
            rig.queue.Post(CMessage::WithKey(WM_RV_CALL_NOTIFICATION, key, std::abs(row.event)));
            rig.Pump();
        }
        if (*row.reports != 0) {
            rig.Line(row.reports);
        }
        if (std::string(row.label).find("fails after") != std::string::npos) {
            rig.control->OnMessage(CMessage::WithKey(WM_RV_CALL_NOTIFICATION, key, NE_Failed));
        }
        EXPECT_EQ(rig.Commands(), row.commands);
        const CPhoneBookEntry* entry = rig.phoneBook->Find("2125550111");
        EXPECT_EQ(entry != nullptr ? entry->m_dwFlags : ~0u, row.flags);
        if (entry != nullptr && row.known) {
            EXPECT_EQ(entry->m_strName, "Kim Known");
        }
        std::string sent;
        for (const auto& [window, msg] : rig.host.SentMessages()) {
            sent = window == EWindow::PhoneBook ? MessageName(msg.id) : sent;
        }
        EXPECT_EQ(sent, row.sentToPhoneBook != nullptr ? row.sentToPhoneBook : "");
        EXPECT_EQ(rig.host.CallerIdPopups().size(), row.popups);
        EXPECT_EQ(rig.host.ClosedNotifications(),
                  row.closed ? std::vector<std::uint64_t>{key} : std::vector<std::uint64_t>{});
    }
}

TEST(Screening, OfferedCallsAreNamedThroughTheLookupRule) {
    struct SCase {
        const char* remote;
        const char* name;
    };
    const SCase cases[] = {
        {"4085550123", "Ann Local"},  // ten digits as filed
        {"5550123", "Ann Local"},     // seven digits: the own area code in front
        {"14085550123", "Ann Local"}, // eleven digits with the long-distance 1
        {"24085550123", "Unknown caller"}, {"408555012", "Unknown caller"},
    };
    CCallTestRig rig;
    rig.AddEntry("4085550123", "Local", "Ann");
    int id = 1;
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.remote);
        rig.Line(Offer(id, c.remote));
        EXPECT_EQ(rig.control->Calls().FindCallById(id)->m_strName, c.name);
        rig.Line(StrFormat("CALL:0,0;2,1;3,%d", id));
        ++id;
    }
}

TEST(Screening, LocalNumberIsCompletedOnlyWhenItHasSevenDigits) {
    const std::pair<const char*, const char*> cases[] = {
        {"5551212", "4085551212"}, {"555121", "555121"}, {"55512123", "55512123"}, {"", ""}};
    for (const auto& [local, stored] : cases) {
        SCOPED_TRACE(local);
        CCallTestRig rig;
        rig.Line(Offer(3, "2125550000", local));
        EXPECT_EQ(rig.control->Calls().FindCallById(3)->m_strLocalNumber, stored);
    }
}

} // namespace
