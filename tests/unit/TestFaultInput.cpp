// Hostile adapter input: extreme field values, endless lines, odd bytes, a burst of reports
// in one write, a link that dies in the middle of a line, and datagrams from strangers.
#include "adapter/CLineMonitor.h"
#include "adapter/CModem.h"
#include "calls/CModemReport.h"
#include "core/Trace.h"
#include "support/LinkTest.h"
#include "support/PtyScriptedPeer.h"
#include "support/TempDir.h"

#include <arpa/inet.h>
#include <cstdio>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// This program's own adapter address and a second one that plays a stranger.
const char* const kAddress = "127.43.12.1";
const char* const kStranger = "127.43.12.2";

class CRecordingSink : public IModemReportSink {
public:
    void OnCallReport(const CModemReport& report) override { m_reports.push_back(report); }
    void OnAudioReport(const CModemReport& report) override { m_reports.push_back(report); }
    std::vector<CModemReport> m_reports;
};

// Frames bytes into lines and decodes each, as the monitor and the window thread do.
struct SDecodingPipe {
    void Feed(std::string_view bytes) {
        for (const char c : bytes) {
            if (auto line = m_framer.Feed(c)) {
                m_lines.push_back(*line);
                OnModemLine(TrimView(*line), m_sink);
            }
        }
    }
    static std::string_view TrimView(const std::string& line) {
        std::string_view v(line);
        while (!v.empty() && (v.front() == '\n' || v.front() == ' ')) {
            v.remove_prefix(1);
        }
        return v;
    }
    CLineFramer m_framer;
    CRecordingSink m_sink;
    std::vector<std::string> m_lines;
    std::size_t m_fed = 0; // bytes of the link's input fed so far
};

TEST(FaultInput, ExtremeFieldValuesGiveInvalidPortsNotOverflow) {
    struct SRow {
        const char* line;
        int port;
        bool validPort;
    };
    const SRow rows[] = {
        {"CALL:0,1;2,-2147483648;3,1", -1, false}, // the lowest int: no index below it
        {"CALL:0,1;2,-99999999999999;3,1", -1, false},
        {"CALL:0,1;2,99999999999999;3,1", 2147483646, false},
        {"CALL:0,1;2,0;3,1", -1, false},
        {"CALL:0,1;2,2;3,1", 1, true},
        {"AUD:2,1;40,2", 0, true},
    };
    for (const SRow& row : rows) {
        const auto report = ParseModemReport(row.line);
        ASSERT_TRUE(report.has_value()) << row.line;
        EXPECT_EQ(report->m_nPort, row.port) << row.line;
        EXPECT_EQ(report->HasValidPort(), row.validPort) << row.line;
    }
}

TEST(FaultInput, TenMegabytesWithoutCarriageReturnMakeOneBoundedLine) {
    SDecodingPipe pipe;
    const std::string chunk(64 * 1024, 'A');
    for (int i = 0; i < 160; ++i) { // 10 MB
        pipe.Feed(chunk);
    }
    EXPECT_TRUE(pipe.m_lines.empty());
    pipe.Feed("\rCALL:0,1;2,1;3,17;5,4085551212\r");
    ASSERT_EQ(pipe.m_lines.size(), 2u);
    EXPECT_EQ(pipe.m_lines[0], std::string(CLineFramer::kMaxLine, 'A'));
    ASSERT_EQ(pipe.m_sink.m_reports.size(), 1u) << "the line after the flood is intact";
    EXPECT_EQ(pipe.m_sink.m_reports[0].m_nCallId, 17);
    EXPECT_EQ(pipe.m_sink.m_reports[0].m_strRemoteNumber, "4085551212");
}

TEST(FaultInput, NulAndHighBytesNeitherSplitNorCorruptLines) {
    SDecodingPipe pipe;
    std::string bytes("CALL:0,1;2,1;3,5;5,408\0\xFF"
                      "555\r",
                      28);
    bytes += std::string("\0\0\xFF\xFE\r", 5);
    bytes += "AUD:2,2;40,2\r";
    pipe.Feed(bytes);
    ASSERT_EQ(pipe.m_lines.size(), 3u);
    // Bytes outside the printable range are dropped: they neither end nor split a line.
    EXPECT_EQ(pipe.m_lines[0], "CALL:0,1;2,1;3,5;5,408555");
    EXPECT_EQ(pipe.m_lines[1], "");
    ASSERT_EQ(pipe.m_sink.m_reports.size(), 2u);
    EXPECT_EQ(pipe.m_sink.m_reports[0].m_nCallId, 5);
    EXPECT_EQ(pipe.m_sink.m_reports[0].m_strRemoteNumber, "408555");
    EXPECT_EQ(pipe.m_sink.m_reports[1].m_nPort, 1);
    EXPECT_EQ(pipe.m_sink.m_reports[1].m_nAudioCode, AE_OffHook);
}

class FaultLinkTest : public LinkTest {
protected:
    CModemHooks Hooks() { return FastModemHooks(m_locks, 3s, m_boxes); }
    // Opens and takes the adapter's answer to the session's last command.
    static bool OpenSettled(CModem& modem, const std::string& port, bool serialFirst) {
        return modem.Open(port, 115200, kAddress, kAdapterPort, serialFirst) && modem.WaitForReply("OK\r", 3s) &&
               ReadLinkInput(modem, 1) == "\n";
    }
    // Moves the link's input through the pipe until it decoded count reports or time runs out.
    static bool PumpReports(CModem& modem, SDecodingPipe& pipe, std::size_t count, std::chrono::milliseconds limit) {
        ReadLinkInput(
            modem,
            [&](const std::string& got) {
                pipe.Feed(std::string_view(got).substr(pipe.m_fed));
                pipe.m_fed = got.size();
                return pipe.m_sink.m_reports.size() >= count;
            },
            limit);
        return pipe.m_sink.m_reports.size() >= count;
    }

    std::string m_link = m_dir.File("ttyRV");
    std::shared_ptr<CAdapterScript> m_script = std::make_shared<CAdapterScript>();
    std::shared_ptr<std::vector<std::string>> m_boxes = std::make_shared<std::vector<std::string>>();
};

TEST_F(FaultLinkTest, ThousandReportsInOneWriteAllArriveInOrder) {
    auto pty = CScriptedPeer::OnPty(m_link, CAdapterScript::Bind(m_script));
    ASSERT_TRUE(pty->Valid());
    CModem modem(Hooks());
    ASSERT_TRUE(OpenSettled(modem, m_link, true));
    std::string burst;
    for (int id = 1; id <= 1000; ++id) {
        burst += "CALL:0,1;2," + std::to_string(id % 2 + 1) + ";3," + std::to_string(id) + "\r\n";
    }
    // The adapter writes while the program reads: more than the tty buffers at once.
    auto sent = std::async(std::launch::async, [&] { return pty->Send(burst); });
    SDecodingPipe pipe;
    ASSERT_TRUE(PumpReports(modem, pipe, 1000, 10s)) << pipe.m_sink.m_reports.size();
    ASSERT_TRUE(sent.get());
    ASSERT_EQ(pipe.m_sink.m_reports.size(), 1000u);
    for (int id = 1; id <= 1000; ++id) {
        ASSERT_EQ(pipe.m_sink.m_reports[id - 1].m_nCallId, id);
        ASSERT_EQ(pipe.m_sink.m_reports[id - 1].m_nPort, id % 2);
    }
}

TEST_F(FaultLinkTest, LinkClosedMidLineThenTheNextOpenWorks) {
    CModem modem(Hooks());
    {
        auto pty = CScriptedPeer::OnPty(m_link, CAdapterScript::Bind(m_script));
        ASSERT_TRUE(pty->Valid());
        ASSERT_TRUE(OpenSettled(modem, m_link, true));
        ASSERT_TRUE(pty->Send("CALL:0,1;2,1;3,4"));
        pty->HangUp();
        ReadLinkInput(modem, 64);
        ASSERT_TRUE(WaitForTraceLine(m_trace, "<dbg> ReadD() returned -1, pausing thread", 3s));
    }
    modem.Close();
    EXPECT_FALSE(modem.IsOpen());

    auto pty = CScriptedPeer::OnPty(m_link, CAdapterScript::Bind(m_script));
    ASSERT_TRUE(pty->Valid());
    ASSERT_TRUE(OpenSettled(modem, m_link, true));
    ASSERT_TRUE(pty->Send("CALL:0,1;2,2;3,9\r\n"));
    SDecodingPipe pipe;
    ASSERT_TRUE(PumpReports(modem, pipe, 1, 3s));
    EXPECT_EQ(pipe.m_sink.m_reports[0].m_nCallId, 9) << "nothing of the broken line leaks into the new session";
    EXPECT_EQ(pipe.m_sink.m_reports[0].m_nPort, 1);
}

// The local port of this process's UDP socket connected to address:port (from /proc/net/udp).
int ConnectedLocalPort(const std::string& address, int port) {
    in_addr peer{};
    ::inet_pton(AF_INET, address.c_str(), &peer);
    char remote[32];
    std::snprintf(remote, sizeof(remote), "%08X:%04X", peer.s_addr, static_cast<unsigned>(port));
    std::ifstream udp("/proc/net/udp");
    std::string line;
    while (std::getline(udp, line)) {
        std::istringstream fields(line);
        std::string slot, local, rem;
        if (fields >> slot >> local >> rem && rem == remote) {
            return std::stoi(local.substr(local.find(':') + 1), nullptr, 16);
        }
    }
    return -1;
}

TEST_F(FaultLinkTest, DatagramsFromAnotherLoopbackAddressAreIgnored) {
    auto udp = CScriptedPeer::OnUdp(kAddress, kAdapterPort, CAdapterScript::Bind(m_script));
    ASSERT_TRUE(udp->Valid());
    CModem modem(Hooks());
    ASSERT_TRUE(OpenSettled(modem, m_link, false));
    ASSERT_TRUE(modem.OnSocket());
    const int localPort = ConnectedLocalPort(kAddress, kAdapterPort);
    ASSERT_GT(localPort, 0);

    const int stranger = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(stranger, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, kStranger, &from.sin_addr);
    ASSERT_EQ(::bind(stranger, reinterpret_cast<sockaddr*>(&from), sizeof(from)), 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(localPort));
    ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    const std::string forged = "CALL:0,1;2,1;3,66\r\n";
    EXPECT_EQ(::sendto(stranger, forged.data(), forged.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to)),
              static_cast<ssize_t>(forged.size()));
    ::close(stranger);

    ASSERT_TRUE(udp->Send("CALL:0,1;2,1;3,7\r\n"));
    SDecodingPipe pipe;
    ASSERT_TRUE(PumpReports(modem, pipe, 1, 3s));
    EXPECT_FALSE(modem.WaitForInput(200ms)) << "the stranger's report must not arrive";
    ASSERT_EQ(pipe.m_sink.m_reports.size(), 1u);
    EXPECT_EQ(pipe.m_sink.m_reports[0].m_nCallId, 7);
}

} // namespace
