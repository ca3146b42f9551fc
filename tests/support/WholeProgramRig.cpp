#include "support/WholeProgramRig.h"

#include "core/Format.h"
#include "records/RecordText.h"

#include <csignal>
#include <cstdio>
#include <sys/wait.h>

std::string PhoneBookLine(const SPbkLine& e) {
    return StrFormat("\"%s\",\"%s\",\"%s\",\"%s\",\"%s\",\"%s\",\"%d\",\"%d\",\"%d\",\"%s\",\"%d\",\"%d\",\"%d\","
                     "\"0x%8.8X\"",
                     e.number.c_str(), e.lastName.c_str(), e.firstName.c_str(), e.company.c_str(), e.memo.c_str(),
                     e.lastOutgoing.c_str(), e.lastOutgoingSecs, e.totalOutgoingSecs, e.outgoingCalls,
                     e.lastIncoming.c_str(), e.lastIncomingSecs, e.totalIncomingSecs, e.incomingCalls, e.flags);
}

std::string PhoneBookText(const std::vector<SPbkLine>& entries) {
    std::string text = "PhoneBookVersion2\r\n";
    for (const SPbkLine& e : entries) {
        text += PhoneBookLine(e) + "\r\n";
    }
    return text;
}

std::string LocalDateField(std::int64_t t) {
    std::string out;
    AppendLocalDate(out, t);
    return out;
}

std::string CallLogText(const std::vector<SLogLine>& records) {
    std::string text = "CallLogVersion2\r\n";
    for (const SLogLine& r : records) {
        text += StrFormat("\"%s\",\"%s\",\"%d\",\"%d\",\"%s\",\"%d\",\"%d\"\r\n", r.name.c_str(), r.number.c_str(),
                          r.outgoing ? 1 : 0, r.connected ? 1 : 0, r.start.c_str(), r.durationSecs, r.port);
    }
    return text;
}

std::vector<std::string> QuotedFields(const std::string& line) {
    std::vector<std::string> fields;
    std::string_view rest = line;
    std::string_view field;
    while (!rest.empty()) {
        if (!TakeQuotedField(rest, field)) {
            return {};
        }
        fields.emplace_back(field);
    }
    return fields;
}

std::vector<std::vector<std::string>> RecordsWithNumber(const std::string& fileText, const std::string& number,
                                                        std::size_t numberField) {
    std::vector<std::vector<std::string>> records;
    for (const std::string_view line : SplitStoreLines(fileText)) {
        std::vector<std::string> fields = QuotedFields(std::string(line));
        if (fields.size() > numberField && fields[numberField] == number) {
            records.push_back(std::move(fields));
        }
    }
    return records;
}

void CWholeProgramTest::TearDown() {
    if (m_program && m_program->Running()) {
        m_program->Terminate(SIGTERM, 20000);
    }
    if (HasFailure()) {
        std::fprintf(stderr, "---- Ringvale.dbg ----\n%s\n---- ringvale.out ----\n%s\n",
                     ReadFileText(m_dir.File("Ringvale.dbg")).c_str(),
                     ReadFileText(m_dir.File("ringvale.out")).c_str());
        if (m_sim) {
            std::fprintf(stderr, "---- simulator ----\n%s\n", m_sim->Log().c_str());
        }
    }
    m_program.reset();
    m_sim.reset();
}

void CWholeProgramTest::StartSimulator(const std::vector<std::string>& extraArgs) {
    m_sim = std::make_unique<CSimProcess>(CSimProcess::Options{m_dir.Path(), m_address, extraArgs});
    ASSERT_TRUE(m_sim->Running()) << m_sim->Log();
}

void CWholeProgramTest::WriteConfig(const std::vector<std::pair<std::string, std::string>>& settings) {
    ASSERT_TRUE(m_sim) << "start the simulator first";
    std::string text = "; written by the test\r\nComPort=" + m_sim->LinkPath() + "\r\nBaud=115200\r\n";
    for (const auto& [key, value] : settings) {
        text += key + "=" + value + "\r\n";
    }
    WriteFile("RV.cfg", text);
}

void CWholeProgramTest::WriteFile(const std::string& name, const std::string& text) const {
    WriteFileText(m_dir.File(name), text);
}

void CWholeProgramTest::StartProgram(const std::vector<std::pair<std::string, std::string>>& env) {
    // Nothing of an earlier run in this directory may answer the waits below.
    for (const char* name : {"Ringvale.dbg", "ringvale.out"}) {
        std::remove(m_dir.File(name).c_str());
    }
    m_program = std::make_unique<CRingvaleRun>(CRingvaleRun::Options{m_dir.Path(), m_address, env, {}, {}});
    ASSERT_TRUE(m_program->Start());
    // Start-up ends with the call-waiting register, after the adapter's session is set up.
    ASSERT_TRUE(m_program->WaitForTrace("TX: ATS76=", 60000)) << "the program did not finish its start-up";
}

void CWholeProgramTest::StopProgram() {
    ASSERT_TRUE(m_program);
    const int status = m_program->Terminate(SIGTERM, 30000);
    ASSERT_NE(status, -1) << "the program did not end after SIGTERM";
    EXPECT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

void CWholeProgramTest::Simulate(const std::string& command) {
    std::string reply;
    EXPECT_TRUE(m_sim->Command(command, &reply)) << command << " -> " << reply;
}
