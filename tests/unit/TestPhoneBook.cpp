// The phone book store: file layouts, normalisation, sorted filing, indexed lookups,
// statistics, the loaded flag, failed saves and bad input.
#include "core/Format.h"
#include "core/SafeFile.h"
#include "records/CCallLog.h"
#include "records/CPhoneBook.h"
#include "support/AsUnprivileged.h"
#include "support/TempDir.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kL = "5551212"; // a seven-digit local number

class PhoneBook : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "America/New_York", 1);
        tzset();
    }
    void TearDown() override { SetSaveFailureForTesting(0); }

    std::string Path() const { return m_dir.File("RV.pbk"); }
    std::unique_ptr<CPhoneBook> Open(const std::string& text) {
        WriteFileText(Path(), text);
        return OpenExisting();
    }
    std::unique_ptr<CPhoneBook> OpenExisting() {
        return std::make_unique<CPhoneBook>(Path(), "408", [this](const std::string& t) { m_messages.push_back(t); });
    }
    std::string FileText() const { return ReadFileText(Path()); }

    TempDir m_dir;
    std::vector<std::string> m_messages;
};

std::unique_ptr<CPhoneBookEntry> Entry(const std::string& number, const std::string& last,
                                       const std::string& first = "") {
    return std::make_unique<CPhoneBookEntry>(number, last, first, "", "");
}

std::vector<std::string> LastNames(const CPhoneBook& pb) {
    auto lock = pb.Lock();
    std::vector<std::string> names;
    for (const auto& e : pb.Entries()) {
        names.push_back(e->m_strLastName);
    }
    return names;
}

// A file as this program writes it: sorted by last name, numbers already with the area code.
const std::string kWritten = "PhoneBookVersion2\r\n"
                             "\"4085550001\",\"Abbot\",\"Al\",\"Acme\",\"gate code 12\",\"0\",\"0\",\"0\",\"0\","
                             "\"1999,1,4,9,5,0\",\"30\",\"90\",\"3\",\"0x00000000\"\r\n"
                             "\"4085551212\",\"Lee\",\"Ann\",\"\",\"\",\"0\",\"0\",\"0\",\"0\","
                             "\"1999,7,4,9,5,0\",\"65\",\"190\",\"2\",\"0x00000001\"\r\n"
                             "\"14155550100\",\"Zed\",\"\",\"\",\"\",\"2026,12,31,23,59,59\",\"7\",\"700\",\"100\","
                             "\"0\",\"0\",\"0\",\"0\",\"0xDEADBEEF\"\r\n";

TEST_F(PhoneBook, FileItWroteLoadsAndSavesByteForByte) {
    auto pb = Open(kWritten);
    ASSERT_TRUE(pb->IsLoaded());
    ASSERT_EQ(pb->GetCount(), 3u);
    const CPhoneBookEntry* lee = pb->GetAt(1);
    EXPECT_EQ(lee->m_strFirstName, "Ann");
    EXPECT_FALSE(lee->m_bHasOutgoing);
    EXPECT_TRUE(lee->m_bHasIncoming);
    EXPECT_EQ(lee->m_timeLastIncoming, 931093500);          // 09:05 EDT: daylight saving taken from the library
    EXPECT_EQ(pb->GetAt(0)->m_timeLastIncoming, 915458700); // 09:05 EST in January
    EXPECT_EQ(lee->m_spanLastIncoming, 65);
    EXPECT_EQ(lee->m_spanTotalIncoming, 190);
    EXPECT_EQ(lee->m_nIncomingCalls, 2);
    EXPECT_EQ(lee->m_dwFlags, PBF_IGNORE);
    EXPECT_EQ(pb->GetAt(2)->m_dwFlags, 0xDEADBEEFu);
    EXPECT_EQ(pb->GetAt(2)->m_nOutgoingCalls, 100);
    EXPECT_EQ(pb->GetAt(2)->m_strName, " Zed");
    ASSERT_TRUE(pb->Save());
    EXPECT_EQ(FileText(), kWritten);
    pb.reset(); // the destructor saves as well
    EXPECT_EQ(FileText(), kWritten);
}

TEST_F(PhoneBook, LoadingOrdersByLastNameAndPutsTheAreaCodeBeforeShortNumbers) {
    Open("PhoneBookVersion2\n"
         "\"5550002\",\"Zed\",\"\",\"\",\"\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0x00000000\"\n"
         "\"\",\"Abbot\",\"\",\"\",\"\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0x00000000\"\n");
    // The store is already gone again: its destructor wrote the file.
    EXPECT_EQ(FileText(),
              "PhoneBookVersion2\r\n"
              "\"408\",\"Abbot\",\"\",\"\",\"\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0x00000000\"\r\n"
              "\"4085550002\",\"Zed\",\"\",\"\",\"\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\","
              "\"0x00000000\"\r\n");
}

TEST_F(PhoneBook, HeaderOnlyFileIsAnEmptyStoreAndSavesBackTheSameLine) {
    auto pb = Open("PhoneBookVersion2\n");
    EXPECT_TRUE(pb->IsLoaded());
    EXPECT_EQ(pb->GetCount(), 0u);
    ASSERT_TRUE(pb->Save());
    EXPECT_EQ(FileText(), "PhoneBookVersion2\r\n");
}

TEST_F(PhoneBook, StoringRuleIsAppliedOnceAndSurvivesRepeatedSaves) {
    struct Row {
        const char* given;
        const char* stored;
    } const rows[] = {
        {"5551212", "4085551212"},
        {"", "408"},
        {"4085551212", "4085551212"},
        {"14085551212", "14085551212"},
        {"12345678", "12345678"},
        {"1", "4081"},
        {"408", "408"}, // the entry dialog's area code with an empty number
        {"408911", "408911"},
    };
    auto pb = Open("PhoneBookVersion2\r\n");
    for (const Row& r : rows) {
        auto e = Entry(r.given, "X");
        const std::uint64_t id = e->m_id;
        pb->Add(std::move(e));
        EXPECT_EQ(pb->FindById(id)->m_strNumber, r.stored) << r.given;
    }
    const std::string once = (pb->Save(), FileText());
    ASSERT_TRUE(pb->Save());
    EXPECT_EQ(FileText(), once) << "a second save must not put the area code in front again";
    EXPECT_NE(once.find("\"408\",\"X\""), std::string::npos);
    pb.reset();
    // Every stored number reads back unchanged, so load and save leave the file as it was.
    auto again = OpenExisting();
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(again->GetAt(i)->m_strNumber, rows[i].stored) << rows[i].given;
    }
    ASSERT_TRUE(again->Save());
    EXPECT_EQ(FileText(), once);
}

TEST_F(PhoneBook, FindNormalisesACopyAndMatchesExactly) {
    auto pb = Open("PhoneBookVersion2\r\n");
    auto target = Entry(kL, "Lee");
    const CPhoneBookEntry* expected = target.get();
    pb->Add(std::move(target));
    pb->Add(Entry("4155550100", "Other"));
    struct Row {
        std::string number;
        bool found;
    } const rows[] = {
        {std::string("1408") + kL, true},
        {kL, true},
        {std::string("408") + kL, true},
        {"408555121", false},
        {"14085551213", false},
        {"", false},
        {"5551213", false},
        {"24085551212", false},
    };
    for (const Row& r : rows) {
        std::string number = r.number;
        const CPhoneBookEntry* e = pb->Find(number);
        EXPECT_EQ(e, r.found ? expected : nullptr) << r.number;
        EXPECT_EQ(number, r.number) << "the caller's string must not change";
    }
}

TEST_F(PhoneBook, StoredNumberBeginningWithOneIsNeverFound) {
    // Lookups drop a leading 1 from the key, stored numbers keep it: such an entry cannot match.
    auto pb = Open("PhoneBookVersion2\r\n");
    pb->Add(Entry("14085551212", "Lee"));
    EXPECT_EQ(pb->Find("14085551212"), nullptr);
    EXPECT_EQ(pb->Find("4085551212"), nullptr);
}

TEST_F(PhoneBook, SortedInsertionIsStrcmpOrderWithStableTiesAndReturnsTheIndex) {
    auto pb = Open("PhoneBookVersion2\r\n");
    EXPECT_EQ(pb->Add(Entry("1", "lee")), 0);
    EXPECT_EQ(pb->Add(Entry("2", "Lee", "first")), 0);
    EXPECT_EQ(pb->Add(Entry("3", "Abbot")), 0);
    auto second = Entry("4", "Lee", "second");
    const std::uint64_t secondId = second->m_id;
    EXPECT_EQ(pb->Add(std::move(second)), 2);
    EXPECT_EQ(pb->Add(Entry("5", "\xC3\x89mile")), 4); // bytes above 0x7F sort after ASCII
    EXPECT_EQ(LastNames(*pb), (std::vector<std::string>{"Abbot", "Lee", "Lee", "lee", "\xC3\x89mile"}));
    EXPECT_EQ(pb->GetAt(1)->m_strFirstName, "first");
    EXPECT_EQ(pb->IndexOf(secondId), 2);
    // The file follows the same order.
    pb.reset();
    auto again = OpenExisting();
    EXPECT_EQ(LastNames(*again), (std::vector<std::string>{"Abbot", "Lee", "Lee", "lee", "\xC3\x89mile"}));
    EXPECT_EQ(again->GetAt(2)->m_strFirstName, "second");
}

TEST_F(PhoneBook, FindGivesTheFirstInListOrderAndFollowsEveryChange) {
    auto pb = Open("PhoneBookVersion2\r\n");
    auto zed = Entry(kL, "Zed");
    const std::uint64_t zedId = zed->m_id;
    pb->Add(std::move(zed));
    EXPECT_EQ(pb->Find(kL)->m_strLastName, "Zed");
    auto lee = Entry(kL, "Lee");
    const std::uint64_t leeId = lee->m_id;
    pb->Add(std::move(lee));
    EXPECT_EQ(pb->Find(kL)->m_strLastName, "Lee"); // comes first by last name though added later
    pb->Add(Entry(kL, "Lee", "later"));
    EXPECT_EQ(pb->Find(kL)->m_id, leeId); // a tie keeps the earlier one first

    EXPECT_TRUE(pb->Remove(leeId));
    EXPECT_EQ(pb->Find(kL)->m_strFirstName, "later");

    // Re-filing an edited copy with a new number moves it in the index.
    auto edited = std::make_unique<CPhoneBookEntry>(*pb->FindById(zedId));
    edited->m_strNumber = "4155550100";
    edited->m_strLastName = "Able";
    const std::uint64_t editedId = edited->m_id;
    EXPECT_NE(editedId, zedId);
    EXPECT_EQ(pb->Replace(zedId, std::move(edited)), 0);
    EXPECT_EQ(pb->FindById(zedId), nullptr);
    EXPECT_EQ(pb->Find("4155550100")->m_id, editedId);
    EXPECT_EQ(pb->Find(kL)->m_strFirstName, "later");
    EXPECT_FALSE(pb->Remove(zedId)); // already gone: nothing removed, still saved
    EXPECT_EQ(LastNames(*pb), (std::vector<std::string>{"Able", "Lee"}));
}

TEST_F(PhoneBook, QuotesAreRemovedInTheFileAndInMemoryAndTheOrderHolds) {
    auto pb = OpenExisting();
    pb->Add(std::make_unique<CPhoneBookEntry>("4085550001", "Beta", "Bo", "Co\"rp", "say \"hi\"\nthere"));
    auto quoted = std::make_unique<CPhoneBookEntry>("4085550002", "\"Zeta\"", "Z", "", "");
    const std::uint64_t quotedId = quoted->m_id;
    pb->Add(std::move(quoted)); // filed first with its quote, then re-filed by the save
    EXPECT_EQ(pb->GetAt(0)->m_strMemo, "say hi there");
    EXPECT_EQ(pb->GetAt(0)->m_strCompany, "Corp");
    EXPECT_EQ(pb->FindById(quotedId)->m_strLastName, "Zeta");
    EXPECT_EQ(pb->FindById(quotedId)->m_strName, "Z Zeta");
    EXPECT_EQ(pb->IndexOf(quotedId), 1); // re-filed at its place without the quote
    EXPECT_EQ(pb->Add(Entry("1", "Gamma")), 1);
    pb.reset();
    auto again = OpenExisting();
    ASSERT_EQ(again->GetCount(), 3u);
    EXPECT_EQ(again->GetAt(0)->m_strMemo, "say hi there");
    EXPECT_EQ(again->Find("5550002")->m_strLastName, "Zeta");
}

TEST_F(PhoneBook, BadLinesAreSkippedAndTheLinesAroundThemLoad) {
    const std::string good1 =
        "\"4085550001\",\"Abbot\",\"\",\"\",\"\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0x00000000\"";
    const std::string good2 =
        "\"4085550002\",\"Zed\",\"\",\"\",\"\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0x00000000\"";
    struct Row {
        const char* label;
        std::string line;
    } const rows[] = {
        {"memo without closing quote", "\"4085550003\",\"Lee\",\"\",\"\",\"unclosed"},
        {"thirteen fields", "\"4085550003\",\"Lee\",\"\",\"\",\"\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\""},
        {"no opening quote",
         "4085550003,\"Lee\",\"\",\"\",\"\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0x0\""},
        {"leading blank",
         " \"4085550003\",\"Lee\",\"\",\"\",\"\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0x0\""},
        {"empty line", ""},
        {"binary junk", std::string("\x01\xff\"\x00\x7f\"", 6)},
        {"megabyte line", "\"" + std::string(3 << 20, 'x')},
        {"whole line over 64 KiB", "\"4085550003\",\"Lee\",\"\",\"\",\"" + std::string(64 << 10, 'm') +
                                       "\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0x0\""},
    };
    for (const Row& r : rows) {
        auto pb = Open("PhoneBookVersion2\r\n" + good1 + "\r\n" + r.line + "\r\n" + good2 + "\r\n");
        EXPECT_EQ(LastNames(*pb), (std::vector<std::string>{"Abbot", "Zed"})) << r.label;
    }
}

TEST_F(PhoneBook, OddFieldValuesNeverTurnIntoGarbage) {
    auto pb = Open("PhoneBookVersion2\n"
                   "\"4085550001\",\"A\",\"\",\"\",\"\",\"1999,7,4\",\"x\",\"-5\",\" 12abc\","
                   "\"1999,13,4,9,5,0\",\"99999999999\",\"\",\"7\",\"FF\"\n"
                   "\"4085550002\",\"B\",\"\",\"\",\"\",\"garbage\",\"0\",\"0\",\"0\",\"1999,7,4,9,5,0,extra\",\"0\","
                   "\"0\",\"0\",\"0x1FFFFFFFF\",\"extra field\"\n");
    ASSERT_EQ(pb->GetCount(), 2u);
    const CPhoneBookEntry* a = pb->GetAt(0);
    EXPECT_FALSE(a->m_bHasOutgoing); // five integers are no date
    EXPECT_FALSE(a->m_bHasIncoming); // month 13 is no date
    EXPECT_EQ(a->m_spanLastOutgoing, 0);
    EXPECT_EQ(a->m_spanTotalOutgoing, -5);
    EXPECT_EQ(a->m_nOutgoingCalls, 12);
    EXPECT_EQ(a->m_spanLastIncoming, 2147483647);
    EXPECT_EQ(a->m_nIncomingCalls, 7);
    EXPECT_EQ(a->m_dwFlags, 0u); // no "0x"
    const CPhoneBookEntry* b = pb->GetAt(1);
    EXPECT_FALSE(b->m_bHasOutgoing);
    EXPECT_TRUE(b->m_bHasIncoming);
    EXPECT_EQ(b->m_timeLastIncoming, 931093500);
    EXPECT_EQ(b->m_dwFlags, 0x1FFFFFFFu); // eight digits at most
}

TEST_F(PhoneBook, OlderLayoutLoadsWithOptionalFlagLinesAndIsConvertedOnSave) {
    const std::string fields = "Lee\nAnn\n\n\n0\n0\n0\n0\n1999,7,4,9,5,0\n65\n190\n2\n";
    auto pb = Open("5550001\nAbbot\nAl\nAcme\nmemo \"q\"\n0\n0\n0\n0\n0\n0\n0\n0\n" // no flags line
                   "4085551212\n" +
                   fields + "0x00000001\n" + "4085559999\nPartial\n");
    ASSERT_EQ(pb->GetCount(), 2u);
    EXPECT_EQ(pb->GetAt(0)->m_strNumber, "4085550001");
    EXPECT_EQ(pb->GetAt(0)->m_dwFlags, 0u);
    EXPECT_FALSE(pb->IsIgnored("5550001"));
    EXPECT_TRUE(pb->IsIgnored("5551212"));
    EXPECT_EQ(pb->GetAt(1)->m_timeLastIncoming, 931093500);
    ASSERT_TRUE(pb->Save());
    EXPECT_EQ(FileText(), "PhoneBookVersion2\r\n"
                          "\"4085550001\",\"Abbot\",\"Al\",\"Acme\",\"memo q\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\","
                          "\"0\",\"0\",\"0x00000000\"\r\n"
                          "\"4085551212\",\"Lee\",\"Ann\",\"\",\"\",\"0\",\"0\",\"0\",\"0\",\"1999,7,4,9,5,0\","
                          "\"65\",\"190\",\"2\",\"0x00000001\"\r\n");
}

TEST_F(PhoneBook, OlderLayoutWithoutFlagsLinesChainsEntries) {
    std::string text;
    for (const char* last : {"One", "Two"}) {
        text += std::string("555000") + (last[0] == 'O' ? "1" : "2") + "\n" + last + "\n\n\n\n0\n0\n0\n0\n0\n0\n0\n0";
        text += "\r\n"; // a CR LF file: the CR before the LF is dropped
    }
    auto pb = Open(text);
    ASSERT_EQ(pb->GetCount(), 2u);
    EXPECT_EQ(pb->GetAt(0)->m_strLastName, "One");
    EXPECT_EQ(pb->GetAt(1)->m_strNumber, "4085550002");
    EXPECT_EQ(pb->GetAt(1)->m_dwFlags, 0u);
}

TEST_F(PhoneBook, RecordCallUpdatesOneDirectionAndSavesEvenOnAMiss) {
    auto pb = Open("PhoneBookVersion2\r\n");
    pb->Add(Entry(kL, "Lee"));
    std::remove(Path().c_str());
    EXPECT_EQ(pb->RecordCall("4155550100", false, 1000, 10), nullptr);
    EXPECT_EQ(FileText(), ""); // nothing matched, nothing changed: not written

    const CPhoneBookEntry* e = pb->RecordCall(std::string("1408") + kL, false, 931093500, 65);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->m_nIncomingCalls, 1);
    EXPECT_EQ(e->m_spanLastIncoming, 65);
    EXPECT_EQ(e->m_spanTotalIncoming, 65);
    EXPECT_TRUE(e->m_bHasIncoming);
    EXPECT_EQ(e->m_timeLastIncoming, 931093500);
    EXPECT_FALSE(e->m_bHasOutgoing);
    EXPECT_EQ(e->m_nOutgoingCalls, 0);
    EXPECT_EQ(e->m_spanTotalOutgoing, 0);

    pb->RecordCall(kL, false, 931093600, 5);
    pb->RecordCall(kL, true, 931093700, 7);
    EXPECT_EQ(e->m_nIncomingCalls, 2);
    EXPECT_EQ(e->m_spanLastIncoming, 5);
    EXPECT_EQ(e->m_spanTotalIncoming, 70);
    EXPECT_EQ(e->m_nOutgoingCalls, 1);
    EXPECT_EQ(e->m_timeLastOutgoing, 931093700);
    EXPECT_NE(FileText().find("\"1999,7,4,9,8,20\",\"7\",\"7\",\"1\",\"1999,7,4,9,6,40\",\"5\",\"70\",\"2\""),
              std::string::npos);

    const std::uint64_t id = e->m_id;
    EXPECT_TRUE(pb->ClearTotals(id));
    EXPECT_EQ(e->m_nIncomingCalls, 0);
    EXPECT_EQ(e->m_spanTotalOutgoing, 0);
    EXPECT_EQ(e->m_spanLastIncoming, 5);
    EXPECT_TRUE(e->m_bHasIncoming);
}

TEST_F(PhoneBook, StatisticsSaturateInsteadOfOverflowing) {
    auto pb = Open("PhoneBookVersion2\r\n");
    auto e = Entry(kL, "Lee");
    e->m_spanTotalIncoming = 2147483600;
    e->m_nIncomingCalls = 2147483647;
    pb->Add(std::move(e));
    const CPhoneBookEntry* got = pb->RecordCall(kL, false, 1000, 100);
    EXPECT_EQ(got->m_spanTotalIncoming, 2147483647);
    EXPECT_EQ(got->m_nIncomingCalls, 2147483647);
}

TEST_F(PhoneBook, CallerNamesAndIgnoreFlag) {
    auto pb = Open("PhoneBookVersion2\r\n");
    pb->Add(Entry(kL, "Lee"));
    auto ignored = Entry("4155550100", "Spam", "Tele");
    ignored->m_dwFlags = 0x80000001u;
    pb->Add(std::move(ignored));
    auto other = Entry("4155550101", "Bits");
    other->m_dwFlags = 0x2u;
    pb->Add(std::move(other));
    EXPECT_EQ(pb->GetCallerName(kL), " Lee");
    EXPECT_EQ(pb->GetCallerName("4155550100"), "Tele Spam");
    EXPECT_EQ(pb->GetCallerName("4155550199"), "Unknown caller");
    EXPECT_TRUE(pb->IsIgnored("14155550100"));
    EXPECT_FALSE(pb->IsIgnored("4155550101"));
    EXPECT_FALSE(pb->IsIgnored(kL));
    EXPECT_FALSE(pb->IsIgnored("0000000000"));
}

TEST_F(PhoneBook, StoreWithoutFileCreatesItOnTheFirstChangeForItsOwnerOnly) {
    auto pb = OpenExisting(); // no file
    EXPECT_FALSE(pb->IsLoaded());
    pb.reset();
    EXPECT_NE(::access(Path().c_str(), F_OK), 0) << "nothing changed, nothing to create";
    pb = OpenExisting();
    pb->Add(Entry(kL, "Lee"));
    EXPECT_NE(FileText().find("Lee"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(PhoneBook, UnchangedStoreLeavesItsFileAlone) {
    const std::string lfOnly = "PhoneBookVersion2\n"
                               "\"4085551212\",\"Lee\",\"\",\"\",\"\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\","
                               "\"0x00000000\"\n";
    auto pb = Open(lfOnly);
    pb->RecordCall("4155550100", false, 1000, 10); // no entry: no change
    EXPECT_FALSE(pb->Remove(12345));
    pb.reset();
    EXPECT_EQ(FileText(), lfOnly);
}

TEST_F(PhoneBook, FailedSaveKeepsTheOldFileAndEveryChangeForTheNextSave) {
    auto pb = Open(kWritten);
    SetSaveFailureForTesting(ENOSPC);
    pb->Add(Entry(kL, "New"));
    EXPECT_EQ(m_messages, std::vector<std::string>{"Unable to open phonebook file " + Path()});
    EXPECT_EQ(FileText(), kWritten);
    // One removal of several entries is one save: one failure, one message.
    const std::uint64_t ids[] = {pb->GetAt(0)->m_id, pb->GetAt(1)->m_id, 999999};
    EXPECT_EQ(pb->Remove(ids), 2u);
    EXPECT_EQ(m_messages.size(), 2u);
    SetSaveFailureForTesting(0);
    ASSERT_TRUE(pb->Save());
    pb.reset();
    auto again = OpenExisting();
    EXPECT_EQ(again->GetCount(), 2u);
    EXPECT_NE(again->Find(kL), nullptr);
}

// Both stores on a file that is there but is no store they can read: the store says so once,
// works in memory, and never writes the file, however much changes.
TEST_F(PhoneBook, FileThatIsNoReadableStoreIsNeverWritten) {
    struct Row {
        const char* label;
        std::function<void(const std::string&)> make;
        bool notStore; // the message: no store at all, or "Unable to open"
    };
    const Row rows[] = {
        {"notes", [](const std::string& p) { WriteFileText(p, "meeting at ten\r\nbring the slides\r\n"); }, true},
        {"a script", [](const std::string& p) { WriteFileText(p, "#!/bin/sh\nexec true\n"); }, true},
        {"a directory", [](const std::string& p) { ::mkdir(p.c_str(), 0755); }, false},
        {"a sparse terabyte",
         [](const std::string& p) {
             WriteFileText(p, "PhoneBookVersion2\r\n");
             ASSERT_EQ(::truncate(p.c_str(), off_t{1} << 40), 0);
         },
         true},
    };
    for (const Row& r : rows) {
        for (const bool phoneBook : {true, false}) {
            SCOPED_TRACE(std::string(r.label) + (phoneBook ? " as phone book" : " as call log"));
            TempDir dir;
            const std::string path = dir.File("store");
            r.make(path);
            struct stat was {};
            ::stat(path.c_str(), &was);
            const auto text = [&] { return was.st_size < (1 << 20) ? ReadFileText(path) : std::string("huge"); };
            const std::string before = text();
            std::vector<std::string> messages;
            const MessageBoxFn box = [&](const std::string& t) { messages.push_back(t); };
            std::string expected;
            if (phoneBook) {
                CPhoneBook pb(path, "408", box);
                pb.Add(Entry(kL, "Lee"));
                pb.RecordCall(kL, false, 1000, 10);
                EXPECT_EQ(pb.GetAt(0)->m_nIncomingCalls, 1);
                expected = StrFormat(r.notStore ? CPhoneBook::kNotStoreFormat : "Unable to open phonebook file %s",
                                     path.c_str());
            } else {
                CCallLog log(path, "408", box);
                log.Add(std::make_unique<CCallLogRecord>("Lee", kL, false, true, 1000, 10, 0));
                EXPECT_EQ(log.GetCount(), 1u);
                expected =
                    StrFormat(r.notStore ? CCallLog::kNotStoreFormat : "Unable to open CallLog file %s", path.c_str());
            }
            EXPECT_EQ(messages, std::vector<std::string>{expected});
            struct stat now {};
            ASSERT_EQ(::stat(path.c_str(), &now), 0);
            EXPECT_EQ(now.st_ino, was.st_ino);
            EXPECT_EQ(now.st_size, was.st_size);
            EXPECT_EQ(text(), before);
        }
    }
}

TEST_F(PhoneBook, StoreTheUserCannotReadIsNeverWritten) {
    WriteFileText(Path(), kWritten);
    ASSERT_EQ(::chmod(Path().c_str(), 0), 0);
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0777), 0); // a folder where a new file could replace it
    const int status = RunAsNobody([this] {
        int messages = 0;
        {
            CPhoneBook pb(Path(), "408", [&](const std::string&) { ++messages; });
            pb.Add(Entry(kL, "New"));
            pb.RecordCall(kL, true, 1000, 5);
        }
        return messages;
    });
    EXPECT_EQ(status, 1) << "one message, no crash";
    ::chmod(Path().c_str(), 0600);
    EXPECT_EQ(FileText(), kWritten);
}

TEST_F(PhoneBook, FieldsWrittenOnWindowsAreReadAsWindows1252AndSavedAsUtf8) {
    const std::string tail = "\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0x00000000\"\r\n";
    auto pb = Open("PhoneBookVersion2\r\n"
                   "\"4085550001\",\"M\xFCller\",\"J\xF6rg\",\"Caf\xE9 \xC9toile\",\"\x80 5 \x93ok\x94\"," +
                   tail +
                   "\"4085550002\",\"Nu\xC3\xB1"
                   "ez\",\"\",\"\",\"\x81\"," +
                   tail);
    ASSERT_EQ(pb->GetCount(), 2u);
    const CPhoneBookEntry* e = pb->GetAt(0);
    EXPECT_EQ(e->m_strName, "J\xC3\xB6rg M\xC3\xBCller");
    EXPECT_EQ(e->m_strCompany, "Caf\xC3\xA9 \xC3\x89toile");
    EXPECT_EQ(e->m_strMemo, "\xE2\x82\xAC 5 \xE2\x80\x9Cok\xE2\x80\x9D");
    EXPECT_EQ(pb->GetAt(1)->m_strLastName, "Nu\xC3\xB1"
                                           "ez");   // valid UTF-8 stays as it is
    EXPECT_EQ(pb->GetAt(1)->m_strMemo, "\xC2\x81"); // undefined in the code page: a control
    pb->RecordCall("4085550001", false, 1000, 5);
    EXPECT_NE(FileText().find("\"M\xC3\xBCller\",\"J\xC3\xB6rg\",\"Caf\xC3\xA9 \xC3\x89toile\""), std::string::npos);
}

TEST_F(PhoneBook, EmptyFileIsLoadedAndEmpty) {
    auto pb = Open("");
    EXPECT_TRUE(pb->IsLoaded());
    EXPECT_EQ(pb->GetCount(), 0u);
    pb->Add(Entry(kL, "Lee")); // a loaded store saves on Add
    EXPECT_NE(FileText().find("\"4085551212\",\"Lee\""), std::string::npos);
}

TEST_F(PhoneBook, CopiesGetNewIdsAndRecomputedNames) {
    CPhoneBookEntry a("1", "Lee", "Ann", "", "");
    a.m_strName = "stale";
    a.m_nIncomingCalls = 3;
    const CPhoneBookEntry b(a);
    EXPECT_NE(b.m_id, a.m_id);
    EXPECT_EQ(b.m_strName, "Ann Lee");
    EXPECT_EQ(b.m_nIncomingCalls, 3);
    CPhoneBookEntry c;
    const std::uint64_t cId = c.m_id;
    c = a;
    EXPECT_EQ(c.m_id, cId);
    EXPECT_EQ(c.m_strName, "Ann Lee");
    EXPECT_EQ(c.m_strNumber, "1");
}

} // namespace
