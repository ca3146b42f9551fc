// The fixture of the whole-program tests: a temporary working directory, the adapter
// simulator on a private 127.x.y.z address, and the real program started against it.
//
//   StartSimulator({"--first-id", "17"});
//   WriteConfig({{"IgnoreBlocked", "Y"}});     // RV.cfg with ComPort = the simulator's link
//   WriteFile("RV.pbk", PhoneBookText({...}));
//   StartProgram();                            // waits until the start-up dialogue is done
//   Sim().Command("ring 1 4085551212 5551212");
//   ASSERT_TRUE(Program().WaitForTrace("Call offering: 4085551212"));
//
// When a test fails, the trace, the program's output and the simulator's log are printed.
#pragma once

#include "support/RingvaleRun.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// One phone book entry as the file holds it (fields 1 to 14).
struct SPbkLine {
    std::string number;
    std::string lastName;
    std::string firstName;
    std::string company;
    std::string memo;
    std::string lastOutgoing = "0"; // "0" or "y,m,d,h,m,s"
    int lastOutgoingSecs = 0;
    int totalOutgoingSecs = 0;
    int outgoingCalls = 0;
    std::string lastIncoming = "0";
    int lastIncomingSecs = 0;
    int totalIncomingSecs = 0;
    int incomingCalls = 0;
    unsigned flags = 0;
};

// One call log record as the file holds it (fields 1 to 7).
struct SLogLine {
    std::string name;
    std::string number;
    bool outgoing = false;
    bool connected = true;
    std::string start = "1999,7,4,18,30,5"; // "y,m,d,h,m,s"
    int durationSecs = 0;
    int port = 0;
};

// A time as the files write it: local "y,m,d,h,m,s".
std::string LocalDateField(std::int64_t t);
// The text of a call log file with these records, newest first (CR LF line ends).
std::string CallLogText(const std::vector<SLogLine>& records);

// One line of the phone book file, without its line end.
std::string PhoneBookLine(const SPbkLine& entry);
// The text of a phone book file with these entries (CR LF line ends).
std::string PhoneBookText(const std::vector<SPbkLine>& entries);
// The quoted fields of one line of the phone book or call log file ("" fields included);
// empty when the line is not made of quoted fields.
std::vector<std::string> QuotedFields(const std::string& line);
// The lines of a phone book or call log file whose field 1 (phone book: number) or field 2
// (call log: number) equals `number`.
std::vector<std::vector<std::string>> RecordsWithNumber(const std::string& fileText, const std::string& number,
                                                        std::size_t numberField);

class CWholeProgramTest : public ::testing::Test {
protected:
    // address: the simulator's and the program's private 127.x.y.z.
    explicit CWholeProgramTest(std::string address) : m_address(std::move(address)) {}
    void TearDown() override;

    // Starts the simulator (ASSERTs that it runs).
    void StartSimulator(const std::vector<std::string>& extraArgs = {});
    // Writes RV.cfg: ComPort = the simulator's link, Baud = 115200, then the given lines
    // (later lines of the same key win when the program reads the file).
    void WriteConfig(const std::vector<std::pair<std::string, std::string>>& settings = {});
    void WriteFile(const std::string& name, const std::string& text) const;
    // Starts the program and waits until its start-up dialogue has ended with the
    // call-waiting register (the last command of the start-up); ASSERTs on failure.
    void StartProgram(const std::vector<std::pair<std::string, std::string>>& env = {});
    // SIGTERM; expects a normal exit with status 0.
    void StopProgram();

    CSimProcess& Sim() { return *m_sim; }
    CRingvaleRun& Program() { return *m_program; }
    const std::string& Dir() const { return m_dir.Path(); }
    const std::string& Address() const { return m_address; }

    // Sends a control command to the simulator; EXPECTs an OK reply.
    void Simulate(const std::string& command);

private:
    TempDir m_dir;
    std::string m_address;
    std::unique_ptr<CSimProcess> m_sim;
    std::unique_ptr<CRingvaleRun> m_program;
};
