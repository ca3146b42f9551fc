// The command dialogue after the link comes up: reply waiting, the rate check in both
// directions, identification refusals, S63 read-back and the exact command orders, against a
// scripted adapter on a pty and on loopback UDP.
#include "adapter/CHandshake.h"
#include "adapter/CModem.h"
#include "core/Trace.h"
#include "support/LinkTest.h"
#include "support/PtyScriptedPeer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

const char* const kAddress = "127.43.2.7";

using Commands = std::vector<std::string>;

const Commands kSerialSession = {"ATI\r",     "AT%V\r", "AT$V0\r", "ATE0\r",    "ATS63?\r",
                                 "ATS63=9\r", "AT&W\r", "AT$V1\r", "ATS86=3\r", "AT*SC\r"};

class HandshakeTest : public LinkTest {
protected:
    void StartPty() {
        m_pty = CScriptedPeer::OnPty(m_link, CAdapterScript::Bind(m_script));
        ASSERT_TRUE(m_pty->Valid());
    }
    CModemHooks Hooks(std::chrono::milliseconds reply = 3s) {
        CModemHooks hooks = FastModemHooks(m_locks, reply, m_boxes);
        hooks.getSReg63 = [this] { return m_sreg63; };
        hooks.setSReg63 = [this](int v) { m_sreg63 = v; };
        return hooks;
    }
    bool OpenSerial(CModem& modem, int rate) {
        const bool ok = modem.Open(m_link, rate, kAddress, kAdapterPort, true);
        if (ok) {
            // "AT*SC\r" is not waited for: let it arrive before the test looks at the commands.
            EXPECT_TRUE(m_pty->WaitForCommand("AT*SC\r", 2s));
        }
        return ok;
    }
    // The commands from the first "ATI\r" on.
    Commands SessionCommands() const {
        const auto all = m_pty->CommandTexts();
        const auto it = std::find(all.begin(), all.end(), "ATI\r");
        return Commands(it, all.end());
    }
    // The commands before the first "ATI\r", each with the tty rate it was sent at.
    std::vector<std::pair<std::string, int>> RateCheckCommands() const {
        std::vector<std::pair<std::string, int>> out;
        for (const auto& c : m_pty->Commands()) {
            if (c.text == "ATI\r") {
                break;
            }
            out.emplace_back(c.text, c.rate);
        }
        return out;
    }

    std::string m_link = m_dir.File("ttyRV");
    std::shared_ptr<CAdapterScript> m_script = std::make_shared<CAdapterScript>();
    std::shared_ptr<std::vector<std::string>> m_boxes = std::make_shared<std::vector<std::string>>();
    std::unique_ptr<CScriptedPeer> m_pty;
    int m_sreg63 = 9;
};

TEST_F(HandshakeTest, SerialSessionSendsTheExactSequenceAndTracesIt) {
    StartPty();
    CModem modem(Hooks());
    ASSERT_TRUE(OpenSerial(modem, 115200));
    EXPECT_EQ(SessionCommands(), kSerialSession);
    const std::vector<std::pair<std::string, int>> rateCheck = {{"ATV1\r", 115200}};
    EXPECT_EQ(RateCheckCommands(), rateCheck) << "an adapter at the right rate needs no rate commands";

    // The trace holds every command, escaped, in the same order.
    Commands traced;
    for (const auto& t : TraceTexts(m_trace, "TX: ")) {
        traced.push_back(t);
    }
    const Commands expectedTx = {"AT$V0<0D>", "ATE1<0D>",    "ATV1<0D>",   "ATI<0D>",     "AT%V<0D>",
                                 "AT$V0<0D>", "ATE0<0D>",    "ATS63?<0D>", "ATS63=9<0D>", "AT&W<0D>",
                                 "AT$V1<0D>", "ATS86=3<0D>", "AT*SC<0D>"};
    EXPECT_EQ(traced, expectedTx);
    // Replies are traced as RX lines with their CR; the LF is never part of a line.
    const auto rx = TraceTexts(m_trace, "RX: ");
    EXPECT_NE(std::find(rx.begin(), rx.end(), "3C882<0D>"), rx.end());
    for (const auto& line : rx) {
        EXPECT_EQ(line.find("<0A>"), std::string::npos) << line;
    }
    EXPECT_TRUE(m_boxes->empty());
}

struct RateCase {
    const char* label;
    int configured;
    int adapterRate; // 0: answers at any rate
    bool opens;
    std::vector<std::pair<std::string, int>> commands; // up to the first "ATI\r"
};

void PrintTo(const RateCase& c, std::ostream* os) {
    *os << c.label;
}

class RateCheckTest : public HandshakeTest, public ::testing::WithParamInterface<RateCase> {};

TEST_P(RateCheckTest, SendsTheRateCommandsAtTheRightRates) {
    const RateCase& c = GetParam();
    m_script->lockedRate = c.adapterRate;
    StartPty();
    CModem modem(Hooks(c.opens ? 400ms : 150ms));
    EXPECT_EQ(OpenSerial(modem, c.configured), c.opens);
    EXPECT_EQ(RateCheckCommands(), c.commands);
    EXPECT_TRUE(m_boxes->empty()) << "the rate check shows no message box";
    if (c.opens) {
        EXPECT_EQ(SessionCommands(), kSerialSession);
        EXPECT_EQ(m_pty->SlaveRate(), c.configured);
    } else {
        EXPECT_FALSE(modem.IsOpen());
        CSerialDevice other(m_locks);
        int err = 0;
        EXPECT_TRUE(other.Open(m_link, err)) << "the port must be released, errno " << err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rates, RateCheckTest,
    ::testing::Values(
        RateCase{"AlreadyThere", 230400, 230400, true, {{"ATV1\r", 230400}}},
        RateCase{
            "UpFrom115200",
            230400,
            115200,
            true,
            {{"ATV1\r", 230400}, {"AT\r", 115200}, {"ATV1\r", 115200}, {"AT$B230400\r", 115200}, {"ATV1\r", 230400}}},
        RateCase{"UnlockFrom230400",
                 115200,
                 230400,
                 true,
                 {{"ATV1\r", 115200}, {"ATV1\r", 230400}, {"ATV1\r", 230400}, {"AT$B0\r", 230400}, {"ATV1\r", 115200}}},
        RateCase{"UnlockFrom230400To9600",
                 9600,
                 230400,
                 true,
                 {{"ATV1\r", 9600}, {"ATV1\r", 230400}, {"ATV1\r", 230400}, {"AT$B0\r", 230400}, {"ATV1\r", 9600}}},
        RateCase{"GivesUpWhenSilentAtBothRates",
                 115200,
                 57600,
                 false,
                 {{"ATV1\r", 115200}, {"ATV1\r", 230400}, {"ATV1\r", 230400}}},
        RateCase{
            "GivesUpBelow230400", 230400, 9600, false, {{"ATV1\r", 230400}, {"AT\r", 115200}, {"ATV1\r", 115200}}}),
    [](const auto& info) { return std::string(info.param.label); });

struct RefusalCase {
    const char* label;
    const char* modelLine;
    const char* versionLine;
    const char* message; // nullptr: accepted
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.label;
}

class IdentificationTest : public HandshakeTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(IdentificationTest, AcceptsOnlyTheImpactIqWithFirmware32x) {
    const RefusalCase& c = GetParam();
    m_script->modelLine = c.modelLine;
    m_script->versionLine = c.versionLine;
    StartPty();
    CModem modem(Hooks(c.message != nullptr ? 200ms : 3s));
    const bool opened = modem.Open(m_link, 115200, kAddress, kAdapterPort, true);
    if (c.message == nullptr) {
        EXPECT_TRUE(opened);
        EXPECT_TRUE(m_boxes->empty());
        return;
    }
    EXPECT_FALSE(opened);
    EXPECT_FALSE(modem.IsOpen());
    ASSERT_EQ(m_boxes->size(), 1u);
    EXPECT_EQ(m_boxes->front(), c.message);
    // The refusal closes the link: the idle commands follow, and nothing of the set-up.
    ASSERT_TRUE(m_pty->WaitForCommand("ATE1\r", 2s));
    const auto texts = m_pty->CommandTexts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2], "AT$V0\r");
    EXPECT_EQ(texts.back(), "ATE1\r");
    EXPECT_EQ(std::find(texts.begin(), texts.end(), "AT&W\r"), texts.end());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, IdentificationTest,
    ::testing::Values(RefusalCase{"Genuine", "3C882", "Version 3.21", nullptr},
                      RefusalCase{"ModelAtLineEnd", "3Com ImpactIQ 3C882", "Version 3.2", nullptr},
                      RefusalCase{"FurtherVersionDigits", "3C882", "3Com Version 3.2987 beta", nullptr},
                      RefusalCase{"OtherModel", "3C881", "Version 3.21", CHandshake::kModelMessage},
                      RefusalCase{"ModelNotBeforeCr", "3C882 rev B", "Version 3.21", CHandshake::kModelMessage},
                      RefusalCase{"OlderFirmware", "3C882", "Version 3.10", CHandshake::kFirmwareMessage},
                      RefusalCase{"NewerFirmware", "3C882", "Version 4.2", CHandshake::kFirmwareMessage},
                      RefusalCase{"LowerCaseVersion", "3C882", "version 3.21", CHandshake::kFirmwareMessage}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(HandshakeTest, S63ReadBack) {
    const struct {
        const char* reply;
        int before;
        int after;
    } rows[] = {
        {"000", 9, 9},                        // zero: the setting keeps its value
        {"005", 9, 5},                        // nonzero: the adapter's value wins
        {"12 extra", 9, 12}, {"ERROR", 7, 7}, // no numeric line: unchanged
        {"-3", 9, 9},                         // not a decimal digit first
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.reply);
        m_script = std::make_shared<CAdapterScript>();
        m_script->s63Line = r.reply;
        StartPty();
        m_sreg63 = r.before;
        {
            CModem modem(Hooks());
            ASSERT_TRUE(OpenSerial(modem, 115200));
            EXPECT_EQ(m_sreg63, r.after);
            const Commands session = SessionCommands();
            EXPECT_NE(std::find(session.begin(), session.end(), "ATS63=" + std::to_string(r.after) + "\r"),
                      session.end());
            EXPECT_FALSE(modem.S63Expected());
        }
        m_pty.reset();
    }
}

TEST_F(HandshakeTest, SocketSessionSendsTheShortSequence) {
    m_sreg63 = 17;
    auto udp = CScriptedPeer::OnUdp(kAddress, kAdapterPort, CAdapterScript::Bind(m_script));
    ASSERT_TRUE(udp->Valid());
    CModem modem(Hooks());
    ASSERT_TRUE(modem.Open(m_link, 115200, kAddress, kAdapterPort, false));
    EXPECT_TRUE(modem.OnSocket());
    ASSERT_TRUE(udp->WaitForCommand("AT*SC\r", 2s));
    const Commands expected = {"AT$V0\r", "ATS63=17\r", "ATS86=3\r", "AT$V1\r", "AT*SC\r"};
    EXPECT_EQ(udp->CommandTexts(), expected);
    EXPECT_EQ(m_sreg63, 17) << "no read-back over the socket";
    EXPECT_TRUE(m_boxes->empty());
}

TEST_F(HandshakeTest, SocketSessionFailsWhenAtV1IsNotAnswered) {
    // Right after the program's own dial-up connection (socket first) the failure is shown; as
    // the fallback of a serial port that failed it is left to the caller, which names the port.
    const struct {
        const char* contact;
        bool serialFirst;
        const char* message;
    } rows[] = {
        {"", false, "Error opening modem after RAS connection.\nPlease contact support."},
        {"help@example.org", false,
         "Error opening modem after RAS connection.\nPlease contact support: help@example.org."},
        {"help@example.org", true, nullptr},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.message != nullptr ? r.message : "serial first");
        m_boxes->clear();
        auto udp = CScriptedPeer::OnUdp(kAddress, kAdapterPort, [](const std::string& command, int) {
            return command == "AT$V1\r" ? std::string() : std::string("\r\nOK\r\n");
        });
        ASSERT_TRUE(udp->Valid());
        CModemHooks hooks = Hooks(200ms);
        hooks.supportContact = r.contact;
        CModem modem(hooks);
        EXPECT_FALSE(modem.Open(m_link, 115200, kAddress, kAdapterPort, r.serialFirst));
        EXPECT_FALSE(modem.IsOpen());
        EXPECT_EQ(*m_boxes, r.message != nullptr ? std::vector<std::string>{r.message} : std::vector<std::string>{});
        ASSERT_TRUE(udp->WaitForCommand("ATE1\r", 2s));
        EXPECT_EQ(udp->CommandTexts().back(), "ATE1\r");
    }
}

// Reply waiting on bytes the adapter sends unprompted after the session is up.
class WaitForReplyTest : public HandshakeTest {
protected:
    void SetUp() override {
        HandshakeTest::SetUp();
        StartPty();
        m_modem = std::make_unique<CModem>(Hooks());
        ASSERT_TRUE(OpenSerial(*m_modem, 115200));
        ASSERT_TRUE(m_modem->WaitForReply("OK\r", 2s)); // the answer to "AT*SC\r"
        m_modem->DrainInput(50);
    }
    std::unique_ptr<CModem> m_modem;
};

TEST_F(WaitForReplyTest, MatchRules) {
    const struct {
        const char* label;
        std::string bytes;
        const char* expected;
        bool match;
    } rows[] = {
        {"plain", "\r\nOK\r\n", "OK\r", true},
        {"line feeds are dropped", "O\nK\r", "OK\r", true},
        {"CR anchors OK at the line end", "OK then more\r", "OK\r", false},
        {"substring anywhere", "Firmware Version 3.27 (c)\r", "Version 3.2", true},
        {"incomplete line never matches", "OK", "OK\r", false},
        {"NUL and 0xFF are just bytes", std::string("\0\xFFOK\r", 5), "OK\r", true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.label);
        ASSERT_TRUE(m_pty->Send(r.bytes));
        EXPECT_EQ(m_modem->WaitForReply(r.expected, 300ms), r.match);
        m_modem->DrainInput(0);
    }
}

TEST_F(WaitForReplyTest, LinesAfterTheMatchStayForTheNextReader) {
    ASSERT_TRUE(m_pty->Send("noise\rOK\rCALL:0,1\r"));
    ASSERT_TRUE(m_modem->WaitForReply("OK\r", 2s));
    EXPECT_EQ(ReadLinkInput(*m_modem, 9, 1s), "CALL:0,1\r");
}

TEST_F(WaitForReplyTest, OverlongLineIsCutWithoutHarm) {
    const std::string longLine(300, 'A');
    ASSERT_TRUE(m_pty->Send(longLine + "OK\r" + "OK\r"));
    EXPECT_TRUE(m_modem->WaitForReply("OK\r", 2s));
    const auto rx = TraceTexts(m_trace, "RX: ");
    ASSERT_GE(rx.size(), 2u);
    // The overlong line keeps 98 characters and its CR; its own tail "OK" was cut off, so the
    // match is the next line.
    EXPECT_EQ(rx[rx.size() - 2], std::string(98, 'A') + "<0D>");
    EXPECT_EQ(rx.back(), "OK<0D>");
}

TEST_F(WaitForReplyTest, SilentAdapterCostsTheTimeLimitAndNoMore) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(m_modem->WaitForReply("OK\r", 250ms));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 250ms);
    EXPECT_LT(took, 2s);
}

} // namespace
