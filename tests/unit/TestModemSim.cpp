// CModem against ringvale-adapter-sim: the whole open (transport, rate check, session) on the
// simulator's pty and on its UDP side, and the link after that.
#include "adapter/CHandshake.h"
#include "adapter/CModem.h"
#include "core/Trace.h"
#include "support/LinkTest.h"
#include "support/PtyScriptedPeer.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

const char* const kAddress = "127.43.3.7";

class ModemSimTest : public LinkTest {
protected:
    void TearDown() override {
        LinkTest::TearDown();
        if (HasFailure() && m_sim) {
            std::fprintf(stderr, "simulator log:\n%s", m_sim->Log().c_str());
        }
    }
    void StartSim(std::vector<std::string> args = {}) {
        m_sim = std::make_unique<CSimProcess>(CSimProcess::Options{m_dir.Path(), kAddress, std::move(args)});
        ASSERT_TRUE(m_sim->Running());
    }
    CModemHooks Hooks(std::chrono::milliseconds reply = 3s) { return FastModemHooks(m_locks, reply, m_boxes); }
    // Collects the adapter's output until it contains text.
    static std::string ReadUntil(CModem& modem, const std::string& text) {
        return ReadLinkInput(
            modem, [&](const std::string& got) { return got.find(text) != std::string::npos; }, 5s);
    }

    std::shared_ptr<std::vector<std::string>> m_boxes = std::make_shared<std::vector<std::string>>();
    std::unique_ptr<CSimProcess> m_sim;
};

TEST_F(ModemSimTest, SerialOpenRunsTheWholeHandshake) {
    StartSim();
    CModem modem(Hooks());
    ASSERT_TRUE(modem.Open(m_sim->LinkPath(), 115200, kAddress, kAdapterPort, true));
    EXPECT_TRUE(modem.OnSerial());
    const std::vector<std::string> expected = {"AT$V0<0D>", "ATE1<0D>",    "ATV1<0D>",   "ATI<0D>",     "AT%V<0D>",
                                               "AT$V0<0D>", "ATE0<0D>",    "ATS63?<0D>", "ATS63=9<0D>", "AT&W<0D>",
                                               "AT$V1<0D>", "ATS86=3<0D>", "AT*SC<0D>"};
    EXPECT_EQ(TraceTexts(m_trace, "TX: "), expected);
    EXPECT_TRUE(m_sim->WaitForLog("RX pty AT*SC"));
    EXPECT_TRUE(m_boxes->empty());

    // After the session the adapter's reports reach the link's reader.
    EXPECT_TRUE(m_sim->Command("ring 1 4085551212 5551212"));
    EXPECT_NE(ReadUntil(modem, "4085551212").find("CALL:0,1;2,1;"), std::string::npos);
    EXPECT_EQ(modem.WriteCommand("AT*1H/1\r"), 8);
    EXPECT_TRUE(m_sim->WaitForLog("RX pty AT*1H/1"));
}

TEST_F(ModemSimTest, RateCheckMovesTheSimulatorUp) {
    StartSim({"--rate", "115200"});
    CModem modem(Hooks(500ms));
    ASSERT_TRUE(modem.Open(m_sim->LinkPath(), 230400, kAddress, kAdapterPort, true));
    EXPECT_TRUE(m_sim->WaitForLog("RX pty AT$B230400"));
    EXPECT_TRUE(m_sim->WaitForLog("RX pty AT*SC"));
}

TEST_F(ModemSimTest, RateCheckUnlocksASimulatorThatSendsGarbage) {
    StartSim({"--rate", "230400", "--garbage"});
    CModem modem(Hooks(500ms));
    ASSERT_TRUE(modem.Open(m_sim->LinkPath(), 115200, kAddress, kAdapterPort, true));
    EXPECT_TRUE(m_sim->WaitForLog("RX pty AT$B0"));
    EXPECT_TRUE(m_sim->WaitForLog("RX pty AT*SC"));
}

TEST_F(ModemSimTest, WrongModelIsRefused) {
    StartSim({"--model", "3C881"});
    CModem modem(Hooks(300ms));
    EXPECT_FALSE(modem.Open(m_sim->LinkPath(), 115200, kAddress, kAdapterPort, true));
    ASSERT_EQ(m_boxes->size(), 1u);
    EXPECT_EQ(m_boxes->front(), CHandshake::kModelMessage);
}

TEST_F(ModemSimTest, HeldPortFallsBackToTheSimulatorsUdpSide) {
    StartSim();
    CSerialDevice holder(m_locks);
    int err = 0;
    ASSERT_TRUE(holder.Open(m_sim->LinkPath(), err)) << err;
    CModem modem(Hooks());
    ASSERT_TRUE(modem.Open(m_sim->LinkPath(), 115200, kAddress, kAdapterPort, true));
    EXPECT_TRUE(modem.OnSocket());
    EXPECT_TRUE(m_sim->WaitForLog("RX udp AT*SC"));
    EXPECT_TRUE(m_sim->Command("ring 2 4085551212 5551212"));
    EXPECT_NE(ReadUntil(modem, "4085551212").find("CALL:0,1;2,2;"), std::string::npos);
}

TEST_F(ModemSimTest, SimulatorGoneMidSessionIsNoticedByTheReader) {
    StartSim();
    CModem modem(Hooks());
    ASSERT_TRUE(modem.Open(m_sim->LinkPath(), 115200, kAddress, kAdapterPort, true));
    m_sim->Stop();
    ReadLinkInput(
        modem, [](const std::string&) { return false; }, 5s);
    EXPECT_TRUE(WaitForTraceLine(m_trace, "<dbg> ReadD() returned -1, pausing thread", 0s));
    modem.Close();
    EXPECT_FALSE(modem.IsOpen());
}

} // namespace
