// The real program against the adapter simulator: incoming calls answered on the telephone,
// missed and screened out, as they end up in the call log and the phone book files.
#include "core/Format.h"
#include "records/RecordText.h"
#include "support/WholeProgramRig.h"

#include <ctime>

namespace {

class CallsEndToEnd : public CWholeProgramTest {
protected:
    CallsEndToEnd() : CWholeProgramTest("127.77.2.1") {}

    // Waits until RV.log holds `count` records for the number (field 2) and returns them.
    std::vector<std::vector<std::string>> WaitForLogRecords(const std::string& number, std::size_t count) {
        std::vector<std::vector<std::string>> records;
        Program().WaitForFile(
            "RV.log",
            [&](const std::string& text) {
                records = RecordsWithNumber(text, number, 1);
                return records.size() >= count;
            },
            20000);
        return records;
    }

    // A caller rings Phone `port` and gives up before anyone answers; returns the call log's
    // records for `logNumber` once it holds `count` of them.
    std::vector<std::vector<std::string>> MissedCall(int port, const std::string& remote, const std::string& logNumber,
                                                     std::size_t count) {
        Simulate("ring " + std::to_string(port) + " " + remote + " 5551212");
        EXPECT_TRUE(Program().WaitForTrace("Call offering: " + remote));
        Simulate("hangup-far " + std::to_string(port));
        return WaitForLogRecords(logNumber, count);
    }
};

const SPbkLine kAnn{"4085551212", "Lee", "Ann", "Acme", "", "0", 0, 0, 0, "1999,7,4,9,5,0", 65, 100, 2, 0};
const SPbkLine kBob{"4155550123", "Stone", "Bob", "", "plumber", "2001,1,2,3,4,5", 30, 90, 3, "0", 0, 0, 0, 0};
const SPbkLine kSpam{"2125550100", "Caller", "Sales", "", "", "0", 0, 0, 0, "0", 0, 0, 0, 1};
const char* const kOldLogRecord = "\"Bob Stone\",\"4155550123\",\"1\",\"1\",\"2001,1,2,3,4,5\",\"30\",\"0\"\r\n";

// A calendar field "y,m,d,h,m,s" (local time) as seconds; -1 when it is not one.
std::int64_t LocalDate(const std::string& field) {
    std::int64_t t = -1;
    return ParseLocalDate(field, t) ? t : -1;
}

TEST_F(CallsEndToEnd, AnsweredMissedAndUnknownCallsReachTheCallLogAndThePhoneBook) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--first-id", "17"}));
    ASSERT_NO_FATAL_FAILURE(WriteConfig());
    WriteFile("RV.pbk", PhoneBookText({kAnn, kBob}));
    WriteFile("RV.log", std::string("CallLogVersion2\r\n") + kOldLogRecord);
    ASSERT_NO_FATAL_FAILURE(StartProgram());

    // Ann calls Phone 1 (the local number is completed with the area code); the handset is
    // lifted, the program answers; the far end keys two digits; the handset is put down and
    // the program hangs up.
    const std::time_t before = std::time(nullptr);
    Simulate("ring 1 4085551212 5551212");
    ASSERT_TRUE(Program().WaitForTrace("Call offering: 4085551212"));
    Simulate("offhook 1");
    ASSERT_TRUE(Sim().WaitForLog("RX pty AT*1A/17", 10000));
    ASSERT_TRUE(Program().WaitForTrace("Call connected"));
    Simulate("dtmf 1 42");
    ASSERT_TRUE(Program().WaitForTrace("DTMF: 2"));
    Simulate("onhook 1");
    ASSERT_TRUE(Sim().WaitForLog("RX pty AT*1H/17", 10000));
    auto annCalls = WaitForLogRecords("4085551212", 1);
    const std::time_t after = std::time(nullptr);
    ASSERT_TRUE(Program().WaitForTrace("Call log updated"));
    ASSERT_EQ(annCalls.size(), 1u) << Program().Read("RV.log");
    EXPECT_EQ(FindInOrder(Program().Trace(), {"Local off-hook", "TX: AT*1A/17<0D>", "Call connected", "DTMF: 4",
                                              "DTMF: 2", "Local on-hook", "TX: AT*1H/17<0D>", "Call disconnected",
                                              "Phone book updated", "Call log updated"}),
              "");

    // The call log record: Ann Lee, incoming, answered, started during the call, on Phone 1.
    const std::vector<std::string>& rec = annCalls[0];
    ASSERT_EQ(rec.size(), 7u);
    EXPECT_EQ(rec[0], "Ann Lee");
    EXPECT_EQ(rec[2], "0");
    EXPECT_EQ(rec[3], "1");
    const std::int64_t start = LocalDate(rec[4]);
    EXPECT_GE(start, before);
    EXPECT_LE(start, after);
    int talked = -1;
    ASSERT_TRUE(ScanInt(rec[5], talked));
    EXPECT_GE(talked, 0);
    EXPECT_LE(talked, after - before);
    EXPECT_EQ(rec[6], "0");

    // Ann's statistics: one more incoming call, this one the last, the total grown by it;
    // her outgoing fields and Bob's entry are unchanged.
    const std::string book = Program().Read("RV.pbk");
    const auto ann = RecordsWithNumber(book, "4085551212", 0);
    ASSERT_EQ(ann.size(), 1u) << book;
    EXPECT_EQ(std::vector<std::string>(ann[0].begin(), ann[0].begin() + 9),
              (std::vector<std::string>{"4085551212", "Lee", "Ann", "Acme", "", "0", "0", "0", "0"}));
    EXPECT_EQ(LocalDate(ann[0][9]), start);
    EXPECT_EQ(ann[0][10], std::to_string(talked));
    EXPECT_EQ(ann[0][11], std::to_string(100 + talked));
    EXPECT_EQ(ann[0][12], "3");
    EXPECT_EQ(ann[0][13], "0x00000000");
    const auto bob = RecordsWithNumber(book, "4155550123", 0);
    ASSERT_EQ(bob.size(), 1u);
    EXPECT_EQ(bob[0], QuotedFields(PhoneBookLine(kBob)));

    // Bob calls Phone 2 and gives up before anyone answers: a missed call in the log, his
    // statistics untouched (incomplete calls are not counted by default).
    auto bobCalls = MissedCall(2, "4155550123", "4155550123", 2);
    ASSERT_EQ(bobCalls.size(), 2u) << Program().Read("RV.log");
    EXPECT_EQ(bobCalls[0][0], "Bob Stone");
    EXPECT_EQ(bobCalls[0][2], "0");
    EXPECT_EQ(bobCalls[0][3], "0");
    EXPECT_EQ(bobCalls[0][6], "1");
    EXPECT_EQ(RecordsWithNumber(Program().Read("RV.pbk"), "4155550123", 0), bob);

    // A caller without an entry is named "Unknown caller"; a 7-digit number is completed with
    // the area code in the log.
    auto unknown = MissedCall(1, "5550199", "4085550199", 1);
    ASSERT_EQ(unknown.size(), 1u) << Program().Read("RV.log");
    EXPECT_EQ(unknown[0][0], "Unknown caller");

    // Newest first: the unknown caller, Bob's missed call, Ann's call, the old record.
    const std::string log = Program().Read("RV.log");
    EXPECT_EQ(log.rfind("CallLogVersion2\r\n", 0), 0u) << log;
    EXPECT_EQ(FindInOrder(log, {"\"4085550199\"", "\"4155550123\"", "\"4085551212\"", kOldLogRecord}), "") << log;

    ASSERT_NO_FATAL_FAILURE(StopProgram());
    // The shut-down saves both stores again; nothing is lost or reordered.
    EXPECT_EQ(Program().Read("RV.log"), log);
    EXPECT_EQ(RecordsWithNumber(Program().Read("RV.pbk"), "4085551212", 0), ann);
}

struct SScreenedCall {
    const char* ring;   // the simulator's ring command
    int port;           // 1 or 2
    const char* number; // the number the call log records ("" when withheld)
    const char* reason; // the logged reason of a rejection; nullptr: the call is announced
};

struct SScreeningRun {
    const char* name;
    std::vector<std::pair<std::string, std::string>> settings;
    std::vector<SScreenedCall> calls;
};

TEST_F(CallsEndToEnd, IgnoredAndWithheldCallersAreRejected) {
    const std::vector<SScreeningRun> runs = {
        {"defaults",
         {},
         {
             {"ring 2 2125550100 5551212", 2, "2125550100", "Caller Ignored - by phone book setting"},
             {"ring 1 - 5551212", 1, "", nullptr},
             {"ring 1 4085551212 5551212", 1, "4085551212", nullptr},
         }},
        {"blocked callers ignored, watched numbers on the ignored caller",
         {{"IgnoreBlocked", "Y"},
          {"RCWatchNumbers", "Y"},
          {"RCLocalNumber", "4085551212"},
          {"RCRemoteNumber", "2125550100"}},
         {
             {"ring 1 - 5551212", 1, "", "Caller Ignored - no phone number sent"},
             {"ring 2 2125550100 5551212", 2, "2125550100", "Caller Ignored - by phone book setting"},
         }},
    };
    for (const SScreeningRun& run : runs) {
        SCOPED_TRACE(run.name);
        ASSERT_NO_FATAL_FAILURE(StartSimulator({"--first-id", "17"}));
        ASSERT_NO_FATAL_FAILURE(WriteConfig(run.settings));
        WriteFile("RV.pbk", PhoneBookText({kAnn, kSpam}));
        WriteFile("RV.log", "CallLogVersion2\r\n");
        ASSERT_NO_FATAL_FAILURE(StartProgram());

        int id = 17;
        for (const SScreenedCall& call : run.calls) {
            SCOPED_TRACE(call.ring);
            const std::size_t traceBefore = Program().Trace().size();
            const std::size_t simBefore = Sim().Log().size();
            const std::string hangUp = StrFormat("AT*%dH/%d", call.port, id);
            const std::size_t logged = RecordsWithNumber(Program().Read("RV.log"), call.number, 1).size();
            Simulate(call.ring);
            if (call.reason != nullptr) {
                // Rejected at once with the hang-up command; the adapter then reports the end
                // of the call, which is logged as a missed incoming call.
                ASSERT_TRUE(Program().WaitForTrace(call.reason, 10000, traceBefore));
                ASSERT_TRUE(Sim().WaitForLogAfter(simBefore, "RX pty " + hangUp + "\n", 10000));
                EXPECT_NE(Program().Trace().find("TX: " + hangUp + "<0D>", traceBefore), std::string::npos);
            } else {
                ASSERT_TRUE(Program().WaitForTrace("Call offering: ", 10000, traceBefore));
                Simulate(StrFormat("hangup-far %d", call.port));
            }
            ASSERT_TRUE(Program().WaitForTrace("Call log updated", 10000, traceBefore));
            const std::string trace = Program().Trace().substr(traceBefore);
            EXPECT_EQ(trace.find("Matched the RemoteControl"), std::string::npos);
            if (call.reason == nullptr) {
                EXPECT_EQ(trace.find("Caller Ignored"), std::string::npos);
                EXPECT_EQ(Sim().Log().find("RX pty " + hangUp, simBefore), std::string::npos);
            }
            const auto records = RecordsWithNumber(Program().Read("RV.log"), call.number, 1);
            ASSERT_EQ(records.size(), logged + 1) << Program().Read("RV.log");
            EXPECT_EQ(records[0][3], "0") << "a screened or unanswered call is not connected";
            EXPECT_EQ(records[0][6], std::to_string(call.port - 1));
            ++id;
        }
        ASSERT_NO_FATAL_FAILURE(StopProgram());
        TearDown();
    }
}

} // namespace
