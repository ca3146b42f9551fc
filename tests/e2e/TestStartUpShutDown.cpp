// The real program against the adapter simulator: the start-up dialogue on the serial link,
// and the shut-down on a termination signal (settings file rewritten, adapter taken back to
// its idle settings).
#include "core/CSettings.h"
#include "core/Format.h"
#include "support/WholeProgramRig.h"

#include <chrono>
#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
    "DialUpTimeLimit",
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
    "CIDAnnounce",
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

// One termination signal at any moment of a run without an adapter ends the program within
// 3 s through the Quit shut-down (RV.cfg rewritten, exit status 0), whatever it is doing:
// trying the serial port, showing a message box (or the first of several), failing to save.
// The runs go on side by side; each is signalled when its trace shows the moment.
TEST(StartUpSignals, OneSignalAtAnyMomentRunsTheShutDownAndEndsTheProgram) {
    struct SCase {
        const char* name;
        int signal;
        const char* when;               // sent once the trace holds this
        std::vector<std::string> lines; // appended to RV.cfg
        std::vector<std::string> prefix;
        bool asNobody = false;           // the port is a root-only file and the program runs as nobody
        bool saved = true;               // the shut-down could rewrite RV.cfg
        std::vector<std::string> traced; // also in the trace at the end
    };
    const std::string box = "<dbg> message box: ";
    const std::vector<SCase> cases = {
        // SIGPIPE and SIGXFSZ go first: they must leave the program running.
        {"SIGTERM during the serial tries",
         SIGTERM,
         "<dbg> CModem::Open() serial failed, waiting...",
         {},
         {},
         false,
         true,
         {"<dbg> RINGVALE_DIALUP=bogus is unknown; using pppd"}},
        {"SIGHUP with the first of six settings boxes open",
         SIGHUP,
         box.c_str(),
         {"one", "two", "three", "four", "five", "six"},
         {},
         false,
         true,
         {"<dbg> message box not shown (the program is ending)"}},
        {"SIGINT with the could-not-be-opened box open",
         SIGINT,
         "<dbg> message box: The ImpactIQ could not be opened on ",
         {},
         {},
         false,
         true,
         {"No such file or directory."}},
        {"SIGTERM with that box open for a user who may not use the port",
         SIGTERM,
         "<dbg> message box: The ImpactIQ could not be opened on ",
         {},
         {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"},
         true,
         true,
         {"Permission denied.", "dialout"}},
        {"SIGTERM while every save fails (file size limit)",
         SIGTERM,
         "<dbg> CModem::Open() serial failed, waiting...",
         {},
         {"/usr/bin/prlimit", "--fsize=700", "--"},
         false,
         false,
         {}},
    };
    struct SRun {
        TempDir dir;
        std::string cfg;
        std::unique_ptr<CRingvaleRun> program;
    };
    std::vector<std::unique_ptr<SRun>> runs;
    for (const SCase& c : cases) {
        auto run = std::make_unique<SRun>();
        const std::string port = run->dir.File(c.asNobody ? "ttyRootOnly" : "no-such-tty");
        CSettings settings;
        settings.m_strComPort = port;
        settings.m_strDefaultAreaCode = "212";
        run->cfg = settings.Serialize(false);
        for (const std::string& line : c.lines) {
            run->cfg += line + "\r\n";
        }
        WriteFileText(run->dir.File("RV.cfg"), run->cfg);
        ::chmod(run->dir.File("RV.cfg").c_str(), 0644);
        WriteFileText(run->dir.File("Ringvale.dbg"), "previous run\n");
        std::vector<std::string> prefix = c.prefix;
        if (c.asNobody && ::geteuid() != 0) {
            // Not root: a file of one's own without permissions refuses the same way.
            WriteFileText(port, "");
            ::chmod(port.c_str(), 0);
            prefix.clear();
        } else if (c.asNobody) {
            WriteFileText(port, "");
            ::chmod(port.c_str(), 0600);
            for (const char* name : {"", "RV.cfg", "Ringvale.dbg"}) {
                ASSERT_EQ(::chown(run->dir.File(name).c_str(), 65534, 65534), 0);
            }
        }
        run->program = std::make_unique<CRingvaleRun>(CRingvaleRun::Options{
            run->dir.Path(), "999.1.1.1", {{"RINGVALE_DIALUP", "bogus"}, {"HOME", run->dir.Path()}}, prefix, {}});
        ASSERT_TRUE(run->program->Start()) << c.name;
        runs.push_back(std::move(run));
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const SCase& c = cases[i];
        SRun& run = *runs[i];
        SCOPED_TRACE(c.name);
        CRingvaleRun& program = *run.program;
        ASSERT_TRUE(program.WaitForTrace(c.when, 20000)) << program.Trace() << program.Output();
        const auto sent = std::chrono::steady_clock::now();
        if (i == 0) {
            for (const int ignored : {SIGPIPE, SIGXFSZ}) {
                ASSERT_EQ(program.Terminate(ignored, 0), -1) << "ended by signal " << ignored;
            }
        }
        const int status = program.Terminate(c.signal, 10000);
        const auto took = std::chrono::steady_clock::now() - sent;
        ASSERT_NE(status, -1) << "still running 10 s after the signal";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        EXPECT_LT(took, std::chrono::seconds(3));
        const std::string trace = program.Trace();
        for (const std::string& text : c.traced) {
            EXPECT_NE(trace.find(text), std::string::npos) << text << "\n" << trace;
        }
        EXPECT_EQ(trace.find("RAS connection"), std::string::npos) << "no dial-up was involved";
        EXPECT_EQ(trace.find("previous run"), std::string::npos);
        struct stat st {};
        ASSERT_EQ(::stat(run.dir.File("RV.cfg").c_str(), &st), 0);
        if (c.saved) {
            EXPECT_EQ(st.st_mode & 0777, 0600U) << "RV.cfg was not rewritten";
            EXPECT_NE(program.Read("RV.cfg").find("DefaultAreaCode=212\r\n"), std::string::npos);
        } else {
            EXPECT_EQ(program.Read("RV.cfg"), run.cfg) << "a failed save must leave the file whole";
        }
    }
    // The box was shown once; after the signal the other five were not.
    const std::string boxes = runs[1]->program->Trace();
    EXPECT_EQ(boxes.find(box, boxes.find(box) + 1), std::string::npos) << boxes;
}

TEST_F(StartUpShutDown, SecondStartInTheSameFolderBringsTheFirstForwardAndEnds) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator());
    WriteConfig();
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    const std::string traceBefore = Program().Trace();
    CRingvaleRun second(CRingvaleRun::Options{Dir(), Address(), {}, {}, {}});
    ASSERT_TRUE(second.Start());
    const int status = second.WaitForExit(20000);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_TRUE(Program().WaitForTrace("Started again in this folder: the running copy comes forward"));
    EXPECT_TRUE(Program().Trace().starts_with(traceBefore)) << "the first copy's trace was emptied";
    EXPECT_TRUE(Program().Running());
}

} // namespace
