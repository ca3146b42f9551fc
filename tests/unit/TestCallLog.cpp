// The call log store: adding and its normalisation, order, both file layouts, renaming,
// removing by id, the loaded flag, failed saves and bad input.
#include "core/SafeFile.h"
#include "records/CCallLog.h"
#include "support/TempDir.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

namespace {

constexpr std::int64_t kJuly4 = 931127405; // 1999-07-04 18:30:05 EDT

class CallLog : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "America/New_York", 1);
        tzset();
    }
    void TearDown() override { SetSaveFailureForTesting(0); }

    std::string Path() const { return m_dir.File("RV.log"); }
    std::unique_ptr<CCallLog> Open(const std::string& text) {
        WriteFileText(Path(), text);
        return OpenExisting();
    }
    std::unique_ptr<CCallLog> OpenExisting() {
        return std::make_unique<CCallLog>(Path(), "408", [this](const std::string& t) { m_messages.push_back(t); });
    }
    std::string FileText() const { return ReadFileText(Path()); }

    TempDir m_dir;
    std::vector<std::string> m_messages;
};

std::unique_ptr<CCallLogRecord> Rec(const std::string& name, const std::string& number, bool outgoing = false,
                                    std::int64_t start = kJuly4, std::int32_t port = 0) {
    return std::make_unique<CCallLogRecord>(name, number, outgoing, true, start, 10, port);
}

std::vector<std::string> Names(const CCallLog& log) {
    auto lock = log.Lock();
    std::vector<std::string> names;
    for (const auto& r : log.Records()) {
        names.push_back(r->m_strName);
    }
    return names;
}

const std::string kWritten = "CallLogVersion2\r\n"
                             "\"Ann Lee\",\"4085551212\",\"0\",\"1\",\"1999,7,4,18,30,5\",\"125\",\"1\"\r\n"
                             "\"Unknown callee\",\"14155550100\",\"1\",\"0\",\"1999,1,4,9,5,0\",\"0\",\"0\"\r\n"
                             "\"Unknown caller\",\"\",\"0\",\"0\",\"2026,12,31,23,59,59\",\"7\",\"-1\"\r\n";

TEST_F(CallLog, FileItWroteLoadsAndSavesByteForByte) {
    auto log = Open(kWritten);
    ASSERT_TRUE(log->IsLoaded());
    ASSERT_EQ(log->GetCount(), 3u);
    const CCallLogRecord* ann = log->GetAt(0);
    EXPECT_EQ(ann->m_strName, "Ann Lee");
    EXPECT_FALSE(ann->m_bOutgoing);
    EXPECT_TRUE(ann->m_bConnected);
    EXPECT_EQ(ann->m_timeStart, kJuly4);
    EXPECT_EQ(ann->m_spanDuration, 125);
    EXPECT_EQ(ann->m_nPort, 1);
    EXPECT_EQ(log->GetAt(1)->m_strNumber, "14155550100");
    EXPECT_EQ(log->GetAt(2)->m_nPort, -1);
    ASSERT_TRUE(log->Save());
    EXPECT_EQ(FileText(), kWritten);
}

TEST_F(CallLog, AddNormalisesNumbersAndNames) {
    struct Row {
        const char* name;
        const char* number;
        bool outgoing;
        const char* storedName;
        const char* storedNumber;
    } const rows[] = {
        {"Ann", "5551212", false, "Ann", "4085551212"},      {"Ann", "", false, "Ann", ""},
        {"Ann", "4155550100", false, "Ann", "4155550100"},   {"Ann", "1", false, "Ann", "4081"},
        {"Ann", "12345678", false, "Ann", "12345678"},       {"Unknown caller", "", true, "Unknown callee", ""},
        {"Unknown caller", "", false, "Unknown caller", ""}, {"Unknown caller ", "", true, "Unknown caller ", ""},
    };
    auto log = Open("CallLogVersion2\r\n");
    for (const Row& r : rows) {
        EXPECT_EQ(log->Add(Rec(r.name, r.number, r.outgoing)), 0);
        EXPECT_EQ(log->GetAt(0)->m_strName, r.storedName) << r.name << "/" << r.number;
        EXPECT_EQ(log->GetAt(0)->m_strNumber, r.storedNumber) << r.name << "/" << r.number;
    }
}

TEST_F(CallLog, NewestFirstInMemoryInTheFileAndAfterReloading) {
    auto log = Open("CallLogVersion2\r\n");
    log->Add(Rec("first", "4085550001", false, kJuly4, 0));
    log->Add(Rec("second", "4085550002", true, kJuly4 + 60, 1));
    log->Add(Rec("third", "4085550003", false, kJuly4 + 120, -1));
    EXPECT_EQ(FileText(), "CallLogVersion2\r\n"
                          "\"third\",\"4085550003\",\"0\",\"1\",\"1999,7,4,18,32,5\",\"10\",\"-1\"\r\n"
                          "\"second\",\"4085550002\",\"1\",\"1\",\"1999,7,4,18,31,5\",\"10\",\"1\"\r\n"
                          "\"first\",\"4085550001\",\"0\",\"1\",\"1999,7,4,18,30,5\",\"10\",\"0\"\r\n");
    log.reset();
    auto again = OpenExisting();
    EXPECT_EQ(Names(*again), (std::vector<std::string>{"third", "second", "first"}));
    again->Add(Rec("fourth", "4085550004"));
    EXPECT_EQ(Names(*again), (std::vector<std::string>{"fourth", "third", "second", "first"}));
}

TEST_F(CallLog, HeaderOnlyAndEmptyFilesGiveAnEmptyLoadedLog) {
    for (const char* text : {"CallLogVersion2\r\n", "CallLogVersion2", ""}) {
        auto log = Open(text);
        EXPECT_TRUE(log->IsLoaded()) << text;
        EXPECT_EQ(log->GetCount(), 0u) << text;
    }
}

TEST_F(CallLog, QuotesAreRemovedInTheFileAndInMemory) {
    auto log = Open("CallLogVersion2\r\n");
    log->Add(Rec("Ann \"The Phone\" Lee", "4085551212"));
    EXPECT_EQ(log->GetAt(0)->m_strName, "Ann The Phone Lee");
    EXPECT_NE(FileText().find("\"Ann The Phone Lee\",\"4085551212\""), std::string::npos);
    log->Add(Rec("two\nlines", "4085551213"));
    log.reset();
    auto again = OpenExisting();
    ASSERT_EQ(again->GetCount(), 2u); // an LF in a name does not split the record
    EXPECT_EQ(again->GetAt(0)->m_strName, "two lines");
}

TEST_F(CallLog, OlderLayoutLoadsWithoutPortAndIsConvertedOnSave) {
    auto log = Open("Ann Lee\n4085551212\n0\n1\n1999,7,4,18,30,5\n125\n"
                    "Unknown caller\n5550100\n2\n0\n1999,1,4,9,5,0\n0\n"
                    "Partial\n4085550000\n1\n");
    ASSERT_EQ(log->GetCount(), 2u);
    EXPECT_EQ(log->GetAt(0)->m_nPort, -1);
    EXPECT_EQ(log->GetAt(1)->m_nPort, -1);
    EXPECT_EQ(log->GetAt(1)->m_strName, "Unknown callee"); // outgoing: any non-zero value
    EXPECT_EQ(log->GetAt(1)->m_strNumber, "5550100");      // loading never normalises
    ASSERT_TRUE(log->Save());
    EXPECT_EQ(FileText(), "CallLogVersion2\r\n"
                          "\"Ann Lee\",\"4085551212\",\"0\",\"1\",\"1999,7,4,18,30,5\",\"125\",\"-1\"\r\n"
                          "\"Unknown callee\",\"5550100\",\"1\",\"0\",\"1999,1,4,9,5,0\",\"0\",\"-1\"\r\n");
}

TEST_F(CallLog, RenameMatchesNumbersExactly) {
    auto log = Open("CallLogVersion2\r\n");
    log->Add(Rec("Unknown caller", "4085551212", false));
    log->Add(Rec("Unknown callee", "4085551212", true));
    log->Add(Rec("Unknown caller", "14085551212", false));
    log->Add(Rec("Unknown caller", "5551212", false)); // stored as 4085551212
    EXPECT_EQ(log->Rename("4085551212", "Ann Lee"), 3);
    EXPECT_EQ(Names(*log), (std::vector<std::string>{"Ann Lee", "Unknown caller", "Ann Lee", "Ann Lee"}));
    EXPECT_EQ(log->Rename("4085551212", "Unknown caller"), 3);
    EXPECT_EQ(Names(*log),
              (std::vector<std::string>{"Unknown caller", "Unknown caller", "Unknown callee", "Unknown caller"}));
    EXPECT_NE(FileText().find("\"Unknown callee\",\"4085551212\",\"1\""), std::string::npos);
    EXPECT_EQ(log->Rename("999", "Nobody"), 0);
}

TEST_F(CallLog, RemoveByIdKeepsIdsAndPositionsConsistent) {
    auto log = Open(kWritten);
    std::vector<std::uint64_t> ids;
    for (std::size_t i = 0; i < log->GetCount(); ++i) {
        ids.push_back(log->GetAt(i)->m_id);
    }
    auto fresh = Rec("new", "4085550009");
    const std::uint64_t freshId = fresh->m_id;
    log->Add(std::move(fresh));
    EXPECT_EQ(log->IndexOf(freshId), 0);
    EXPECT_EQ(log->IndexOf(ids[2]), 3);
    EXPECT_TRUE(log->Remove(ids[1]));
    EXPECT_EQ(log->FindById(ids[1]), nullptr);
    EXPECT_EQ(log->IndexOf(ids[1]), -1);
    EXPECT_EQ(log->IndexOf(ids[2]), 2);
    EXPECT_EQ(log->FindById(ids[0])->m_strName, "Ann Lee");
    EXPECT_FALSE(log->Remove(ids[1]));
    EXPECT_EQ(log->GetAt(3), nullptr);
    log.reset();
    EXPECT_EQ(Names(*OpenExisting()), (std::vector<std::string>{"new", "Ann Lee", "Unknown caller"}));
}

TEST_F(CallLog, BadLinesAreSkippedAndOddFieldsStaySane) {
    const std::int64_t before = std::time(nullptr);
    auto log = Open("CallLogVersion2\n"
                    "\"good1\",\"1\",\"0\",\"1\",\"1999,7,4,18,30,5\",\"125\",\"1\"\n"
                    "\"unclosed\",\"1\",\"0\",\"1\",\"1999,7,4,18,30,5\",\"125\",\"1\n"
                    "\"six\",\"1\",\"0\",\"1\",\"1999,7,4,18,30,5\",\"125\"\n" +
                    std::string("\"\x01\x00\xff", 4) + "\n" + "\"" + std::string(2 << 20, 'y') + "\n" +
                    "\"odd\",\"2\",\"yes\",\"7\",\"1999,7,4\",\"long\",\"port\"\n"
                    "\"" +
                    std::string(64 << 10, 'n') +
                    "\",\"1\",\"0\",\"1\",\"1999,7,4,18,30,5\",\"125\",\"1\"\n"
                    "\"good2\",\"3\",\"1\",\"0\",\"1999,7,4,18,30,5\",\"-3\",\"0\",\"extra\"\r\n"
                    "\"M\xFCller\",\"4\",\"0\",\"1\",\"1999,7,4,18,30,5\",\"1\",\"0\"\r\n");
    // The last name was written on Windows (Windows-1252): it reads as UTF-8 "Müller".
    EXPECT_EQ(Names(*log), (std::vector<std::string>{"good1", "odd", "good2", "M\xC3\xBCller"}));
    const CCallLogRecord* odd = log->GetAt(1);
    EXPECT_FALSE(odd->m_bOutgoing);
    EXPECT_TRUE(odd->m_bConnected);
    EXPECT_GE(odd->m_timeStart, before); // no date: the loader's default, not a garbage time
    EXPECT_LE(odd->m_timeStart, std::time(nullptr));
    EXPECT_EQ(odd->m_spanDuration, 0);
    EXPECT_EQ(odd->m_nPort, 0);
    EXPECT_EQ(log->GetAt(2)->m_spanDuration, -3);
    EXPECT_TRUE(log->GetAt(2)->m_bOutgoing);
}

TEST_F(CallLog, LogWithoutFileCreatesItWithTheFirstRecord) {
    auto log = OpenExisting();
    EXPECT_FALSE(log->IsLoaded());
    log->Add(Rec("a", "4085550001"));
    EXPECT_NE(FileText().find("\"a\""), std::string::npos);
}

TEST_F(CallLog, FailedSaveKeepsTheOldFileAndTheRecordsForTheNextSave) {
    auto log = Open(kWritten);
    SetSaveFailureForTesting(EACCES);
    log->Add(Rec("kept", "4085550009"));
    EXPECT_EQ(m_messages, std::vector<std::string>{"Unable to open CallLog file " + Path()});
    EXPECT_EQ(FileText(), kWritten);
    SetSaveFailureForTesting(0);
    log.reset();
    EXPECT_EQ(Names(*OpenExisting()).front(), "kept");
}

TEST_F(CallLog, DirectoryPathIsNotLoadedAndSavesReportIt) {
    const std::string dir = m_dir.Path();
    {
        CCallLog log(dir, "408", [this](const std::string& t) { m_messages.push_back(t); });
        EXPECT_FALSE(log.IsLoaded());
        log.Add(Rec("a", "1"));
    }
    EXPECT_EQ(m_messages, std::vector<std::string>{"Unable to open CallLog file " + dir});
}

} // namespace
