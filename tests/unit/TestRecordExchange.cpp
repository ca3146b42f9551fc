// Import and export of the stores: vCard and CSV reading (real-world shapes, bad input named
// by line), numbers in address-book notation, the merge by number, all-or-nothing imports,
// export -> import round trips, the call log's CSV, and deleted members put back.
#include "records/CCallLog.h"
#include "records/CPhoneBook.h"
#include "records/CPhoneBookImport.h"
#include "records/RecordExport.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

namespace {

// The entries of a book as one line each: "First|Last|Company|Memo|Number|flags".
std::vector<std::string> Describe(const CPhoneBook& book) {
    std::vector<std::string> lines;
    const auto lock = book.Lock();
    for (const auto& e : book.Entries()) {
        lines.push_back(e->m_strFirstName + "|" + e->m_strLastName + "|" + e->m_strCompany + "|" + e->m_strMemo + "|" +
                        e->m_strNumber + "|" + std::to_string(e->m_dwFlags));
    }
    return lines;
}

class Exchange : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    std::unique_ptr<CPhoneBook> Book(const std::string& name = "RV.pbk") {
        return std::make_unique<CPhoneBook>(m_dir.File(name), "408");
    }
    TempDir m_dir;
};

struct SReadCase {
    const char* label;
    EExchangeFormat format;
    std::string text;
    std::vector<std::string> entries; // Describe() of an empty book after the import
    std::string summary;              // SImportSummary::Text()
};

TEST_F(Exchange, ReadsRealWorldFilesAndNamesTheLineOfBadInput) {
    const SReadCase cases[] = {
        {"phone export: vCard 2.1, quoted-printable with a soft line break, two numbers",
         EExchangeFormat::VCard,
         "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=B6=\r\nrg;;;\r\n"
         "FN:J\xC3\xB6rg M\xC3\xBCller\r\nTEL;CELL:+1 (408) 555-1212\r\nTEL;HOME:555.3434\r\n"
         "EMAIL;HOME:j@example.org\r\nEND:VCARD\r\n",
         {"J\xC3\xB6rg|M\xC3\xBCller|||4085551212|0", "J\xC3\xB6rg|M\xC3\xBCller|||4085553434|0"},
         "2 added, 0 updated, 0 unchanged, 0 skipped.\nNot imported: EMAIL (1)."},
        {"mail program export: vCard 3.0, BOM, LF ends, folded note, escapes, groups, ORG units",
         EExchangeFormat::VCard,
         "\xEF\xBB\xBF"
         "BEGIN:VCARD\nVERSION:3.0\nFN:Ann Lee\nN:Lee;Ann;;;\nORG:Acme\\, Inc.;Sales\nitem1.TEL;TYPE=\"work,voice\":"
         "4155550123\nNOTE:line one\\nline\n  two\\; done\nADR:;;1 Main St;;;;\nEND:VCARD\n"
         "BEGIN:VCARD\nVERSION:3.0\nFN:No Phone\nEND:VCARD\n",
         {"Ann|Lee|Acme, Inc.|line one line two; done|4155550123|0"},
         "1 added, 0 updated, 0 unchanged, 1 skipped: 1 without a telephone number.\nNot imported: ADR (1)."},
        {"vCard 4.0: tel URI with extension, FN only, company card",
         EExchangeFormat::VCard,
         "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Bo Abbot\r\nTEL;VALUE=uri:tel:+1-650-555-0101;ext=12\r\nEND:VCARD\r\n"
         "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Acme\r\nORG:Acme\r\nTEL:x\r\nTEL:6505550102\r\nEND:VCARD\r\n",
         {"||Acme||6505550102|0", "Bo|Abbot|||6505550101|0"},
         "2 added, 0 updated, 0 unchanged, 1 skipped: 1 with a telephone number without digits."},
        {"vCard without END",
         EExchangeFormat::VCard,
         "BEGIN:VCARD\nFN:A\nTEL:1\nBEGIN:VCARD\nEND:VCARD\n",
         {},
         "line 1: this vCard has no END:VCARD"},
        {"text outside a card",
         EExchangeFormat::VCard,
         "BEGIN:VCARD\nTEL:1\nEND:VCARD\nhello: there\n",
         {},
         "line 4: text outside BEGIN:VCARD ... END:VCARD"},
        {"no vCard at all", EExchangeFormat::VCard, "\r\n", {}, "line 1: no vCard in this file"},
        {"spreadsheet CSV: Windows line ends, quoted comma and line break, unknown column",
         EExchangeFormat::Csv,
         "First Name,Last Name,Company,Number,Email\r\nAnn,Lee,\"Acme, Inc.\",408-555-1212,a@b\r\n"
         "\"Cy\nJr\",Baker,,,\r\n",
         {"Ann|Lee|Acme, Inc.||4085551212|0"},
         "1 added, 0 updated, 0 unchanged, 1 skipped: 1 without a telephone number.\nNot imported: Email (1)."},
        {"CSV with one Name column and a BOM",
         EExchangeFormat::Csv,
         "\xEF\xBB\xBFName,Phone\nMary Ann Smith,5551234\n",
         {"Mary Ann|Smith|||4085551234|0"},
         "1 added, 0 updated, 0 unchanged, 0 skipped."},
        {"CSV: a short number and a long one that begins with the area code stay two",
         EExchangeFormat::Csv,
         "Name,Number\nA,40840855\nB,40855\n",
         {"|A|||40840855|0", "|B|||40855|0"},
         "2 added, 0 updated, 0 unchanged, 0 skipped."},
        {"CSV quote never closed",
         EExchangeFormat::Csv,
         "Name,Number\nAnn,1\n\"Bob,2\nCy,3\n",
         {},
         "line 3: a quoted field is not closed"},
        {"CSV row longer than the header",
         EExchangeFormat::Csv,
         "Name,Number\nAnn,1\nBob,2,3\n",
         {},
         "line 3: 3 fields where the header row has 2"},
        {"CSV without a number column",
         EExchangeFormat::Csv,
         "Name,Email\nAnn,a@b\n",
         {},
         "line 1: the header row has no \"Number\" column"},
    };
    for (const SReadCase& c : cases) {
        SCOPED_TRACE(c.label);
        auto book = Book(std::string("RV-") + std::to_string(&c - cases) + ".pbk");
        const SImportSummary summary = CPhoneBookImport::Import(*book, c.text, c.format);
        EXPECT_EQ(summary.Text(), c.summary);
        EXPECT_EQ(Describe(*book), c.entries);
    }
}

TEST_F(Exchange, NumbersInAddressBookNotation) {
    const std::pair<const char*, const char*> cases[] = {
        {"(408) 555-1212", "4085551212"},
        {"+1 408 555 1212", "4085551212"},
        {"1-408-555-1212", "14085551212"},
        {"+44 20 7946 0958", "442079460958"},
        {"tel:+1-650-555-0101;ext=1", "6505550101"},
        {"555-1212 ext. 4", "5551212"},
        {"  555 1212", "5551212"},
        {"none", ""},
    };
    for (const auto& [written, digits] : cases) {
        EXPECT_EQ(ImportedNumber(written), digits) << written;
    }
}

TEST_F(Exchange, KnownNumbersTakeNamesAndCompanyOnlyAndTheImportIsSavedOnce) {
    auto book = Book();
    auto known = std::make_unique<CPhoneBookEntry>("4085551212", "Lee", "Ann", "Old Co", "keep this memo");
    known->m_dwFlags = PBF_IGNORE | 0x10;
    known->m_bHasIncoming = true;
    known->m_nIncomingCalls = 7;
    known->m_spanTotalIncoming = 300;
    book->Add(std::move(known));
    book->Add(std::make_unique<CPhoneBookEntry>("14085550004", "Baker", "Cy", "", ""));
    const std::string csv = "First Name,Last Name,Company,Memo,Number\n"
                            ",,New Co,other memo,+1 408 555 1212\n" // known: company only
                            "Cyrus,,,,1-408-555-0004\n"             // known as filed, with its 1
                            "Di,Ng,,,5559999\n"                     // new
                            "Dee,,,,408 555 9999\n";                // the same new number again
    const SImportSummary summary = CPhoneBookImport::Import(*book, csv, EExchangeFormat::Csv);
    EXPECT_EQ(summary.Text(), "1 added, 2 updated, 0 unchanged, 0 skipped.");
    EXPECT_EQ(Describe(*book), (std::vector<std::string>{"Cyrus|Baker|||14085550004|0",
                                                         "Ann|Lee|New Co|keep this memo|"
                                                         "4085551212|17",
                                                         "Dee|Ng|||4085559999|0"}));
    const CPhoneBookEntry* ann = book->Find("4085551212");
    ASSERT_NE(ann, nullptr);
    EXPECT_TRUE(ann->m_bHasIncoming);
    EXPECT_EQ(ann->m_nIncomingCalls, 7);
    EXPECT_EQ(ann->m_spanTotalIncoming, 300);
    EXPECT_TRUE(book->IsIgnored("5551212"));
    // The same file again changes nothing.
    EXPECT_EQ(CPhoneBookImport::Import(*book, csv, EExchangeFormat::Csv).Text(),
              "0 added, 0 updated, 3 unchanged, 0 skipped.");
}

TEST_F(Exchange, AFileThatCannotBeReadLeavesThePhoneBookAsItWas) {
    auto book = Book();
    book->Add(std::make_unique<CPhoneBookEntry>("4085551212", "Lee", "Ann", "", ""));
    const std::string before = ReadFileText(m_dir.File("RV.pbk"));
    const auto entries = Describe(*book);
    // Valid cards first, the fault at the end: nothing of it is taken.
    const SImportSummary summary = CPhoneBookImport::Import(
        *book, "BEGIN:VCARD\nN:Lee;Annie\nTEL:4085551212\nEND:VCARD\nBEGIN:VCARD\nN:New;One\nTEL:4085550000\n",
        EExchangeFormat::VCard);
    EXPECT_FALSE(summary.ok);
    EXPECT_EQ(summary.Text(), "line 5: this vCard has no END:VCARD");
    EXPECT_EQ(Describe(*book), entries);
    EXPECT_EQ(ReadFileText(m_dir.File("RV.pbk")), before);
}

TEST_F(Exchange, ExportThenImportIntoAnEmptyPhoneBookGivesTheSameEntries) {
    auto book = Book();
    book->Add(std::make_unique<CPhoneBookEntry>("4085551212", "Lee", "Ann", "Acme, Inc.; Sales", "a \\ memo, \"q\""));
    book->Add(std::make_unique<CPhoneBookEntry>("14085550004",
                                                "M\xC3\xBCller-L\xC3\xBC"
                                                "denscheid von Hohenzollern",
                                                "J\xC3\xB6rg Maximilian Friedrich Wilhelm", "", ""));
    book->Add(std::make_unique<CPhoneBookEntry>("8005550199", "", "", "Telemarketing", "never answer"));
    book->Add(std::make_unique<CPhoneBookEntry>("6505550100", "", "", "", ""));
    // An extension is filed behind the area code, where it looks like a local number that
    // would be filed behind it once more.
    book->Add(std::make_unique<CPhoneBookEntry>("5551", "Desk", "", "", ""));
    book->Add(std::make_unique<CPhoneBookEntry>("4085551", "Local", "", "", ""));
    book->Save();
    const auto expected = Describe(*book);
    const std::string vcards = PhoneBookVCards(*book);
    for (std::size_t pos = 0; (pos = vcards.find("\r\n", pos)) != std::string::npos; pos += 2) {
        const std::size_t start = vcards.rfind('\n', pos - 1);
        EXPECT_LE(pos - (start == std::string::npos ? 0 : start + 1), 75u) << "a line is not folded";
    }
    auto fromVCards = Book("vcards.pbk");
    EXPECT_EQ(CPhoneBookImport::Import(*fromVCards, vcards, EExchangeFormat::VCard).added, 6);
    EXPECT_EQ(Describe(*fromVCards), expected);
    auto fullCsv = Book("full.pbk");
    EXPECT_EQ(CPhoneBookImport::Import(*fullCsv, PhoneBookCsv(*book, 0xFFFF), EExchangeFormat::Csv).added, 6);
    EXPECT_EQ(Describe(*fullCsv), expected);
}

TEST_F(Exchange, ThePhoneBookCsvHasTheWindowsColumnsAndTheCallLogsHasItsOwn) {
    auto book = Book();
    auto e = std::make_unique<CPhoneBookEntry>("4085551212", "Lee", "Ann", "Acme", "");
    e->m_dwFlags = PBF_IGNORE;
    e->m_bHasIncoming = true;
    e->m_timeLastIncoming = 1700000000;
    e->m_spanLastIncoming = 125;
    e->m_nIncomingCalls = 2;
    e->m_spanTotalIncoming = 190;
    book->Add(std::move(e));
    EXPECT_EQ(PhoneBookCsv(*book, 0x01F0),
              "First Name,Last Name,Number,Flags,Last Incoming Time,Last Incoming Duration,Total Incoming Calls,"
              "Total Incoming Time\r\nAnn,Lee,4085551212,I,2023-11-14 22:13:20,2:05,2,3:10\r\n");
    CCallLog log(m_dir.File("RV.log"), "408");
    log.Add(std::make_unique<CCallLogRecord>("Lee, Ann", "4085551212", false, false, 1700000000, 7, -1));
    log.Add(std::make_unique<CCallLogRecord>("Bob \"B\" Stone", "4155550123", true, true, 1700000100, 3600, 1));
    EXPECT_EQ(CallLogCsv(log), "Name,Number,Time,Duration,Port,Direction,Answered\r\n"
                               "Bob B Stone,4155550123,2023-11-14 22:15:00,60:00,2,Outgoing,Yes\r\n"
                               "\"Lee, Ann\",4085551212,2023-11-14 22:13:20,0:07,,Incoming,No\r\n");
}

TEST_F(Exchange, TakenMembersGoBackWithTheirFieldsAndPlaces) {
    auto book = Book();
    auto lee = std::make_unique<CPhoneBookEntry>("4085551212", "Lee", "Ann", "", "");
    lee->m_dwFlags = 0x11;
    lee->m_bHasOutgoing = true;
    lee->m_nOutgoingCalls = 5;
    const std::uint64_t leeId = lee->m_id;
    book->Add(std::move(lee));
    book->Add(std::make_unique<CPhoneBookEntry>("4085550002", "Abbot", "Bo", "", ""));
    const auto before = Describe(*book);
    const std::uint64_t ids[] = {leeId};
    auto taken = book->Take(ids);
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(book->GetCount(), 1u);
    std::vector<std::pair<std::uint64_t, std::unique_ptr<CPhoneBookEntry>>> back;
    back.emplace_back(0, std::move(taken.front()));
    book->ReplaceAll(std::move(back));
    EXPECT_EQ(Describe(*book), before);
    ASSERT_NE(book->FindById(leeId), nullptr);
    EXPECT_EQ(book->FindById(leeId)->m_nOutgoingCalls, 5);
    EXPECT_EQ(CPhoneBook(m_dir.File("RV.pbk"), "408").GetCount(), 2u) << "saved";

    CCallLog log(m_dir.File("RV.log"), "408");
    for (const char* name : {"a", "b", "c", "d"}) {
        log.Add(std::make_unique<CCallLogRecord>(name, "4085551212", false, true, 1700000000, 5, 0));
    }
    std::vector<std::uint64_t> doomed = {log.GetAt(0)->m_id, log.GetAt(2)->m_id}; // d and b
    auto records = log.Take(doomed);
    log.Add(std::make_unique<CCallLogRecord>("e", "4085551212", false, true, 1700000000, 5, 0));
    log.Restore(std::move(records));
    std::string order;
    for (std::size_t i = 0; i < log.GetCount(); ++i) {
        order += log.GetAt(i)->m_strName;
    }
    EXPECT_EQ(order, "edcba");
    EXPECT_EQ(log.IndexOf(doomed[1]), 3);
}

} // namespace
