// The real program against the adapter simulator: the start-up dialogue on the serial link,
// and the shut-down on a termination signal (settings file rewritten, adapter taken back to
// its idle settings).
#include "core/CSettings.h"
#include "core/Format.h"
#include "support/WholeProgramRig.h"

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

class StartUpShutDown : public CWholeProgramTest {
protected:
    StartUpShutDown() : CWholeProgramTest("127.77.1.1") {}
};

struct SHandshakeCase {
    const char* name;
    std::vector<std::string> simArgs;
    std::vector<std::pair<std::string, std::string>> settings;
    std::vector<std::string> rateCheck; // commands between the first ATV1 and ATI
    const char* s63Sent;                // "ATS63=%d" the program sends
    const char* s76Sent;                // the call-waiting register sent last
    const char* s63Saved;               // SReg63 in RV.cfg after the shut-down
};

// The commands of the serial start-up after the rate check, in order.
std::vector<std::string> SessionCommands(const SHandshakeCase& c) {
    return {"ATI<0D>",
            "AT%V<0D>",
            "AT$V0<0D>",
            "ATE0<0D>",
            "ATS63?<0D>",
            std::string(c.s63Sent) + "<0D>",
            "AT&W<0D>",
            "AT$V1<0D>",
            "ATS86=3<0D>",
            "AT*SC<0D>",
            std::string(c.s76Sent) + "<0D>"};
}

TEST_F(StartUpShutDown, HandshakeRunsInOrderOnTheSerialLink) {
    const std::vector<SHandshakeCase> cases = {
        {"defaults", {}, {}, {}, "ATS63=9", "ATS76=3", "9"},
        {"adapter's S63 taken over", {"--s63", "12"}, {{"SReg63", "9"}}, {}, "ATS63=12", "ATS76=3", "12"},
        {"adapter's S63 of 0 ignored", {"--s63", "0"}, {{"SReg63", "7"}}, {}, "ATS63=7", "ATS76=3", "7"},
        {"call waiting off",
         {},
         {{"EnableCallWaiting", "N"}, {"CallWaitingOffValue", "2"}},
         {},
         "ATS63=9",
         "ATS76=2",
         "9"},
        // The adapter is locked at 230400 while the program asks for 115200: after one
        // unanswered ATV1 the program tries 230400 and takes the adapter back with AT$B0.
        {"adapter locked at 230400",
         {"--rate", "230400"},
         {},
         {"ATV1<0D>", "ATV1<0D>", "AT$B0<0D>", "ATV1<0D>"},
         "ATS63=9",
         "ATS76=3",
         "9"},
    };
    for (const SHandshakeCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(StartSimulator(c.simArgs));
        ASSERT_NO_FATAL_FAILURE(WriteConfig(c.settings));
        ASSERT_NO_FATAL_FAILURE(StartProgram());

        // The trace: the link is closed once before it is opened (nothing open yet), the
        // serial port is tried first and taken, the rate check answers, the session follows.
        std::vector<std::string> trace = {"TX: AT$V0<0D>", "TX: ATE1<0D>", "<dbg> CModem::Open() trying serial",
                                          "<dbg> CModem::Open() on serial", "TX: ATV1<0D>"};
        for (const std::string& command : c.rateCheck) {
            trace.push_back("TX: " + command);
        }
        trace.push_back("RX: OK<0D>");
        for (const std::string& command : SessionCommands(c)) {
            trace.push_back("TX: " + command);
        }
        const std::string traceText = Program().Trace();
        EXPECT_EQ(FindInOrder(traceText, trace), "");
        EXPECT_EQ(traceText.find("CModem::Open() trying socket"), std::string::npos);
        EXPECT_NE(traceText.find("RX: 3C882<0D>"), std::string::npos);
        EXPECT_NE(traceText.find("RX: Version 3.21<0D>"), std::string::npos);

        // The simulator received the session's commands on its pty in the same order.
        std::vector<std::string> received;
        for (const std::string& command : SessionCommands(c)) {
            received.push_back("RX pty " + command.substr(0, command.size() - 4) + "\n");
        }
        // The program traces a command as it writes it; wait until the simulator has read the last.
        EXPECT_TRUE(Sim().WaitForLog(received.back(), 10000));
        EXPECT_EQ(FindInOrder(Sim().Log(), received), "");

        ASSERT_NO_FATAL_FAILURE(StopProgram());
        EXPECT_NE(Program().Read("RV.cfg").find(std::string("\nSReg63=") + c.s63Saved + "\r\n"), std::string::npos)
            << Program().Read("RV.cfg");
        TearDown();
    }
}

// The 50 keys of the settings file, in the order the program writes them.
const std::vector<std::string> kSettingsKeys = {
    "ComPort",
    "Baud",
    "ModemName",
    "PhoneBookName",
    "DefaultAreaCode",
    "RASConnection",
    "RASUserName",
    "RASPassword",
    "RASConnection2",
    "RASUserName2",
    "RASPassword2",
    "RASConnection3",
    "RASUserName3",
    "RASPassword3",
    "CurrentRASConnection",
    "CallLogPos",
    "PhoneBookPos",
    "MainPos",
    "PhoneBookVisible",
    "CallLogVisible",
    "PhoneBookColumnMask",
    "PhoneBookSortColumn",
    "IncompleteCallsToPhoneBook",
    "RCWatchDTMF",
    "RCWatchNumbers",
    "RCDTMF",
    "RCLocalNumber",
    "RCRemoteNumber",
    "RCIncoming",
    "RCOutgoing",
    "IgnoreBlocked",
    "Tray",
    "TotalInternetTime",
    "SReg63",
    "AlwaysDialAreaCode",
    "Dial1OnlyIfDifferent",
    "NoDial1AreaCodes",
    "EnableCallWaiting",
    "CallerIDTimer",
    "CIDFontName",
    "CIDFontSize",
    "CIDFontColor",
    "CIDFontBold",
    "CIDFontItalic",
    "CIDBackgroundColor",
    "CIDTimerValue",
    "CIDShowNumber",
    "CIDOnlyIfNotInPhoneBook",
    "CallWaitingOffValue",
    "CallWaitingOnValue",
    "MqttEnabled",
    "MqttHost",
    "MqttPort",
    "MqttTls",
    "MqttCAFile",
    "MqttUserName",
    "MqttPassword",
    "MqttTopicPrefix",
    "MqttAllowCommands",
    "MqttHomeAssistant",
};

TEST_F(StartUpShutDown, TerminationSignalSavesSettingsAndIdlesTheAdapter) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGINT");
        ASSERT_NO_FATAL_FAILURE(StartSimulator());

        // A settings file as a user might have it: the program's own lines with a password,
        // then a comment, a key the program does not know and a later line that wins.
        CSettings written;
        written.m_strComPort = Sim().LinkPath();
        written.m_strDefaultAreaCode = "212";
        written.m_strRASConnection[1] = "Work ISP";
        written.m_strRASUserName[1] = "ann";
        written.m_strRASPassword[1] = "s3cret pass";
        written.m_bIgnoreBlocked = true;
        written.m_NoDial1AreaCodes = {"415", "510"};
        written.m_strCIDFontName = "DejaVu Sans";
        written.m_dwTotalInternetTime = 3725;
        WriteFile("RV.cfg", written.Serialize(false) + "; a comment\r\nVolume=11\r\nCIDTimerValue=25\r\n");
        ::chmod((Dir() + "/RV.cfg").c_str(), 0644);

        ASSERT_NO_FATAL_FAILURE(StartProgram());
        const std::size_t simLogBefore = Sim().Log().size();
        const std::size_t traceBefore = Program().Trace().size();
        ASSERT_NO_FATAL_FAILURE([&] {
            const int status = Program().Terminate(signal, 30000);
            ASSERT_NE(status, -1) << "the program did not end";
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        }());

        // The adapter was taken back to its idle settings: AT$V0, then ATE1.
        EXPECT_EQ(FindInOrder(Program().Trace().substr(traceBefore), {"TX: AT$V0<0D>", "TX: ATE1<0D>"}), "");
        EXPECT_TRUE(Sim().WaitForLogAfter(simLogBefore, "RX pty ATE1", 5000));
        EXPECT_EQ(FindInOrder(Sim().Log().substr(simLogBefore), {"RX pty AT$V0\n", "RX pty ATE1\n"}), "");

        // RV.cfg: exactly the program's keys in their order, the values kept, mode 0600.
        const std::string text = Program().Read("RV.cfg");
        const std::vector<std::string_view> lines = SplitLines(text);
        ASSERT_EQ(lines.size(), kSettingsKeys.size()) << text;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].substr(0, lines[i].find('=')), kSettingsKeys[i]) << "line " << i + 1;
        }
        EXPECT_EQ(text.find("Volume"), std::string::npos);
        EXPECT_EQ(text.find("s3cret"), std::string::npos) << "the password is written in clear";
        for (const char* line :
             {"ComPort=", "DefaultAreaCode=212\r\n", "RASConnection2=Work ISP\r\n", "RASUserName2=ann\r\n",
              "IgnoreBlocked=Y\r\n", "NoDial1AreaCodes= 415 510\r\n", "CIDFontName=DejaVu Sans\r\n",
              "CIDTimerValue=25\r\n", "TotalInternetTime=0x00000E8D\r\n"}) {
            EXPECT_NE(text.find(line), std::string::npos) << line;
        }
        CSettings read;
        read.Parse(text, [](const std::string& message) { ADD_FAILURE() << message; });
        EXPECT_EQ(read.m_strRASPassword[1], "s3cret pass");
        EXPECT_EQ(read.m_strComPort, Sim().LinkPath());
        struct stat st {};
        ASSERT_EQ(::stat((Dir() + "/RV.cfg").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        TearDown();
    }
}

} // namespace
