// The settings file: defaults, every encoding's reading rules, the write order and formats,
// bad input, and crash-safe saving.
#include "core/CSettings.h"
#include "core/FileErrors.h"
#include "core/Format.h"
#include "core/SafeFile.h"
#include "core/WriteAll.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

struct Recorder {
    std::vector<std::string> messages;
    MessageBoxFn Fn() {
        return [this](const std::string& t) { messages.push_back(t); };
    }
};

CSettings Parsed(const std::string& text, Recorder* rec = nullptr) {
    CSettings s;
    s.Parse(text, rec ? rec->Fn() : MessageBoxFn{});
    return s;
}

const char* const kDefaultFile = "ComPort=COM2\r\n"
                                 "Baud=115200\r\n"
                                 "ModemName=\r\n"
                                 "PhoneBookName=RV.pbk\r\n"
                                 "DefaultAreaCode=408\r\n"
                                 "RASConnection=\r\n"
                                 "RASUserName=\r\n"
                                 "RASPassword=\r\n"
                                 "RASConnection2=\r\n"
                                 "RASUserName2=\r\n"
                                 "RASPassword2=\r\n"
                                 "RASConnection3=\r\n"
                                 "RASUserName3=\r\n"
                                 "RASPassword3=\r\n"
                                 "CurrentRASConnection=0\r\n"
                                 "CallLogPos=261,17,651,208\r\n"
                                 "PhoneBookPos=0,1,705,212\r\n"
                                 "MainPos=14,212,566,584\r\n"
                                 "PhoneBookVisible=Y\r\n"
                                 "CallLogVisible=Y\r\n"
                                 "PhoneBookColumnMask=0xFFFF\r\n"
                                 "PhoneBookSortColumn=0\r\n"
                                 "IncompleteCallsToPhoneBook=N\r\n"
                                 "RCWatchDTMF=N\r\n"
                                 "RCWatchNumbers=N\r\n"
                                 "RCDTMF=\r\n"
                                 "RCLocalNumber=\r\n"
                                 "RCRemoteNumber=\r\n"
                                 "RCIncoming=Y\r\n"
                                 "RCOutgoing=N\r\n"
                                 "IgnoreBlocked=N\r\n"
                                 "Tray=0x00000000\r\n"
                                 "TotalInternetTime=0x00000000\r\n"
                                 "SReg63=9\r\n"
                                 "AlwaysDialAreaCode=N\r\n"
                                 "Dial1OnlyIfDifferent=Y\r\n"
                                 "NoDial1AreaCodes=\r\n"
                                 "EnableCallWaiting=Y\r\n"
                                 "CallerIDTimer=Y\r\n"
                                 "CIDFontName=MS Sans Serif\r\n"
                                 "CIDFontSize=100\r\n"
                                 "CIDFontColor=0x0\r\n"
                                 "CIDFontBold=N\r\n"
                                 "CIDFontItalic=N\r\n"
                                 "CIDBackgroundColor=0xFFFFFF\r\n"
                                 "CIDTimerValue=10\r\n"
                                 "CIDShowNumber=Y\r\n"
                                 "CIDOnlyIfNotInPhoneBook=N\r\n"
                                 "CallWaitingOffValue=0\r\n"
                                 "CallWaitingOnValue=3\r\n"
                                 "DialUpTimeLimit=90\r\n"
                                 "MqttEnabled=N\r\n"
                                 "MqttHost=localhost\r\n"
                                 "MqttPort=1883\r\n"
                                 "MqttTls=Auto\r\n"
                                 "MqttCAFile=\r\n"
                                 "MqttUserName=\r\n"
                                 "MqttPassword=\r\n"
                                 "MqttTopicPrefix=\r\n"
                                 "MqttAllowCommands=N\r\n"
                                 "MqttHomeAssistant=N\r\n"
                                 "CIDAnnounce=Both\r\n";

TEST(Settings, DefaultsSerializeAsTheSixtyTwoLinesInOrder) {
    const CSettings s;
    EXPECT_EQ(s.Serialize(false), kDefaultFile);
    EXPECT_EQ(SplitLines(s.Serialize(false)).size(), 62u);
    EXPECT_EQ(s.m_strCallLogName, "RV.log");
}

TEST(Settings, EveryKeyRoundTrips) {
    CSettings s;
    s.m_strComPort = "/dev/ttyUSB0";
    s.m_nBaud = 230400;
    s.m_strModemName = "3Com ImpactIQ";
    s.m_strPhoneBookName = "Home.pbk";
    s.m_strDefaultAreaCode = "650";
    for (int i = 0; i < kRasSlots; ++i) {
        s.m_strRASConnection[i] = "Provider " + std::to_string(i);
        s.m_strRASUserName[i] = "user" + std::to_string(i);
        s.m_strRASPassword[i] = "p=ss wörd;" + std::to_string(i);
    }
    s.m_nCurrentRASConnection = 2;
    s.m_rcCallLogPos = {-5, 10, 300, 400};
    s.m_rcPhoneBookPos = {1, 2, 3, 4};
    s.m_rcMainPos = {100, 200, 652, 572};
    s.m_bPhoneBookVisible = false;
    s.m_bCallLogVisible = false;
    s.m_dwPhoneBookColumnMask = 0x1A2B;
    s.m_nPhoneBookSortColumn = 7;
    s.m_bIncompleteCallsToPhoneBook = true;
    s.m_bRCWatchDTMF = true;
    s.m_bRCWatchNumbers = true;
    s.m_strRCDTMF = "*12#";
    s.m_strRCLocalNumber = "5551212";
    s.m_strRCRemoteNumber = "4085551234";
    s.m_bRCIncoming = false;
    s.m_bRCOutgoing = true;
    s.m_bIgnoreBlocked = true;
    s.m_bMinimizeToTray = true;
    s.m_bMinimizeAtStartup = true;
    s.m_bPhoneBookMaximized = true;
    s.m_dwTotalInternetTime = 0xDEADBEEF;
    s.m_nSReg63 = 0;
    s.m_bAlwaysDialAreaCode = true;
    s.m_bDial1OnlyIfDifferent = false;
    s.m_NoDial1AreaCodes = {"408", "650", "415"};
    s.m_bEnableCallWaiting = false;
    s.m_bCallerIDTimer = false;
    s.m_strCIDFontName = "DejaVu Sans";
    s.m_nCIDFontSize = 150;
    s.m_dwCIDFontColor = 0xFF00FF;
    s.m_bCIDFontBold = true;
    s.m_bCIDFontItalic = true;
    s.m_dwCIDBackgroundColor = 0x123456;
    s.m_nCIDTimerValue = 500;
    s.m_bCIDShowNumber = false;
    s.m_bCIDOnlyIfNotInPhoneBook = true;
    s.m_nCallWaitingOffValue = 1;
    s.m_nCallWaitingOnValue = 7;
    s.m_nDialUpTimeLimit = 45;
    s.m_bMqttEnabled = true;
    s.m_strMqttHost = "broker.example.net";
    s.m_nMqttPort = 8883;
    s.m_eMqttTls = EMqttTls::On;
    s.m_strMqttCAFile = "/etc/ssl/home-ca.pem";
    s.m_strMqttUserName = "ringvale";
    s.m_strMqttPassword = "p=ss mqtt";
    s.m_strMqttTopicPrefix = "home/phone";
    s.m_bMqttAllowCommands = true;
    s.m_bMqttHomeAssistant = true;
    s.m_eCIDAnnounce = CSettings::EAnnounce::Notification;

    const std::string text = s.Serialize(true);
    Recorder rec;
    CSettings back = Parsed(text, &rec);
    EXPECT_TRUE(rec.messages.empty());
    EXPECT_TRUE(back.m_bWasMinimized);
    back.m_bWasMinimized = false;
    EXPECT_EQ(back, s);
    EXPECT_EQ(back.Serialize(true), text);
    EXPECT_NE(text.find("NoDial1AreaCodes= 408 650 415\r\n"), std::string::npos);
    EXPECT_NE(text.find("Tray=0x00000017\r\n"), std::string::npos);
    EXPECT_NE(text.find("PhoneBookColumnMask=0x1A2B\r\n"), std::string::npos);
    EXPECT_EQ(text.find("p=ss"), std::string::npos) << "passwords must not be stored in clear";
}

struct ReadCase {
    const char* label;
    std::string text;
    std::function<bool(const CSettings&)> check;
};

TEST(Settings, ReadingRules) {
    const ReadCase cases[] = {
        {"lower-case y is false", "PhoneBookVisible=y", [](auto& s) { return !s.m_bPhoneBookVisible; }},
        {"yes is false", "CallLogVisible=yes", [](auto& s) { return !s.m_bCallLogVisible; }},
        {"Yes is true", "IgnoreBlocked=Yes", [](auto& s) { return s.m_bIgnoreBlocked; }},
        {"empty Baud is 0", "Baud=", [](auto& s) { return s.m_nBaud == 0; }},
        {"non-numeric Baud is 0", "Baud=fast", [](auto& s) { return s.m_nBaud == 0; }},
        {"Baud leading digits", "Baud=9600bps", [](auto& s) { return s.m_nBaud == 9600; }},
        {"empty SReg63 keeps 9", "SReg63=", [](auto& s) { return s.m_nSReg63 == 9; }},
        {"SReg63 0", "SReg63=0", [](auto& s) { return s.m_nSReg63 == 0; }},
        {"dial time limit", "DialUpTimeLimit=30", [](auto& s) { return s.DialUpTimeLimitSeconds() == 30; }},
        {"dial time limit 0 is the default", "DialUpTimeLimit=0",
         [](auto& s) { return s.DialUpTimeLimitSeconds() == CSettings::kDefaultDialUpTimeLimit; }},
        {"calls announced by popup only", "CIDAnnounce=Popup",
         [](auto& s) { return s.AnnounceWithPopup() && !s.AnnounceWithNotification(); }},
        {"unknown announcement is both", "CIDAnnounce=Notification\nCIDAnnounce=loud",
         [](auto& s) { return s.AnnounceWithPopup() && s.AnnounceWithNotification(); }},
        {"mask without 0x keeps default", "PhoneBookColumnMask=1234",
         [](auto& s) { return s.m_dwPhoneBookColumnMask == 0xFFFF; }},
        {"mask upper-case 0X keeps default", "PhoneBookColumnMask=0X12",
         [](auto& s) { return s.m_dwPhoneBookColumnMask == 0xFFFF; }},
        {"mask lower-case digits", "PhoneBookColumnMask=0xab",
         [](auto& s) { return s.m_dwPhoneBookColumnMask == 0xAB; }},
        {"three area codes", "NoDial1AreaCodes= 408 650\t415",
         [](auto& s) {
             return s.m_NoDial1AreaCodes == std::vector<std::string>{"408", "650", "415"};
         }},
        {"area codes append across lines", "NoDial1AreaCodes=408\nNoDial1AreaCodes=650",
         [](auto& s) {
             return s.m_NoDial1AreaCodes == std::vector<std::string>{"408", "650"};
         }},
        {"later line overwrites", "ComPort=COM1\nComPort=COM3", [](auto& s) { return s.m_strComPort == "COM3"; }},
        {"value keeps its = signs", "ComPort=a=b=c", [](auto& s) { return s.m_strComPort == "a=b=c"; }},
        {"value keeps leading blanks", "ModemName=  Modem  ", [](auto& s) { return s.m_strModemName == "  Modem"; }},
        {"blank before = matches no key", "ComPort =COM9", [](auto& s) { return s.m_strComPort == "COM2"; }},
        {"keys are case-sensitive", "comport=COM9", [](auto& s) { return s.m_strComPort == "COM2"; }},
        {"partial rectangle", "MainPos=1,2",
         [](auto& s) {
             return s.m_rcMainPos == CRect{1, 2, 566, 584};
         }},
        {"rectangle stops at a bad field", "MainPos=1,x,3,4",
         [](auto& s) {
             return s.m_rcMainPos == CRect{1, 212, 566, 584};
         }},
        {"tray bits", "Tray=0x5",
         [](auto& s) { return s.m_bMinimizeToTray && !s.m_bWasMinimized && s.m_bMinimizeAtStartup; }},
        {"maximised windows in tray bits 3 to 5", "Tray=0x28",
         [](auto& s) { return s.m_bMainMaximized && !s.m_bPhoneBookMaximized && s.m_bCallLogMaximized; }},
        {"unscannable tray keeps flags", "Tray=0x7\nTray=zz",
         [](auto& s) { return s.m_bMinimizeToTray && s.m_bWasMinimized && s.m_bMinimizeAtStartup; }},
        {"current slot clamped high", "CurrentRASConnection=9", [](auto& s) { return s.m_nCurrentRASConnection == 2; }},
        {"current slot clamped low", "CurrentRASConnection=-4", [](auto& s) { return s.m_nCurrentRASConnection == 0; }},
        {"huge decimal clamps", "CIDFontSize=99999999999999", [](auto& s) { return s.m_nCIDFontSize == 2147483647; }},
        {"CallLogName is read", "CallLogName=Other.log", [](auto& s) { return s.m_strCallLogName == "Other.log"; }},
        {"clear password accepted", "RASPassword=secret!", [](auto& s) { return s.m_strRASPassword[0] == "secret!"; }},
        {"CR-only line ends", "ComPort=COM4\rBaud=9600\r",
         [](auto& s) { return s.m_strComPort == "COM4" && s.m_nBaud == 9600; }},
        {"line ends at NUL", std::string("ComPort=CO\0M7\n", 14), [](auto& s) { return s.m_strComPort == "CO"; }},
        {"TLS off", "MqttTls=N", [](auto& s) { return s.m_eMqttTls == EMqttTls::Off; }},
        {"unknown TLS value is automatic", "MqttTls=N\nMqttTls=maybe",
         [](auto& s) { return s.m_eMqttTls == EMqttTls::Auto; }},
        {"a file without the network keys has them off", "ComPort=COM1",
         [](auto& s) { return !s.m_bMqttEnabled && !s.m_bMqttAllowCommands && !s.m_bMqttHomeAssistant; }},
    };
    for (const auto& c : cases) {
        Recorder rec;
        const CSettings s = Parsed(c.text, &rec);
        EXPECT_TRUE(c.check(s)) << c.label;
        EXPECT_TRUE(rec.messages.empty()) << c.label;
    }
}

TEST(Settings, MalformedLinesEachGiveOneMessage) {
    Recorder rec;
    const CSettings s = Parsed("; only a comment\n   ;indented comment\nComPort=COM3\n\nno equals here\n", &rec);
    ASSERT_EQ(rec.messages.size(), 2u);
    EXPECT_EQ(rec.messages[0], "Error in configuration file.\n\nSome values will be set to\ntheir defaults.");
    EXPECT_EQ(s.m_strComPort, "COM3");

    Recorder comments;
    EXPECT_EQ(Parsed(";a\n;b\n", &comments), CSettings());
    EXPECT_TRUE(comments.messages.empty());
}

TEST(Settings, LongAreaCodeWordsAreTruncated) {
    const std::string word(5000, '7');
    const CSettings s = Parsed("NoDial1AreaCodes=" + word + " 408");
    ASSERT_EQ(s.m_NoDial1AreaCodes.size(), 2u);
    EXPECT_EQ(s.m_NoDial1AreaCodes[0].size(), CSettings::kMaxAreaCodeWord);
    EXPECT_EQ(s.m_NoDial1AreaCodes[1], "408");
}

TEST(Settings, BinaryJunkAndHugeLinesDoNotHurt) {
    std::string junk;
    for (int i = 0; i < 256 * 64; ++i) {
        junk.push_back(static_cast<char>((i * 131 + 7) & 0xFF));
    }
    junk += "\nComPort=" + std::string(1 << 20, 'x') + "\nBaud=2400\n";
    Recorder rec;
    const CSettings s = Parsed(junk, &rec);
    EXPECT_EQ(s.m_nBaud, 2400);
    EXPECT_EQ(s.m_strComPort.size(), std::size_t{1} << 20);
}

TEST(Settings, PasswordEncodingRoundTripsEveryByte) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    const std::string enc = CSettings::EncodePassword(all);
    ASSERT_EQ(enc.size(), 512u);
    for (char c : enc) {
        EXPECT_TRUE(c >= 0x21 && c <= 0x7E);
    }
    EXPECT_EQ(CSettings::DecodePassword(enc), all);
    EXPECT_NE(CSettings::EncodePassword("aaaa").substr(0, 2), CSettings::EncodePassword("aaaa").substr(2, 2));
}

TEST(Settings, LoadMissingFileRunsTheConfigurationDialog) {
    TempDir dir;
    Recorder rec;
    CSettings s;
    bool asked = false;
    auto result = s.Load(dir.File("RV.cfg"), rec.Fn(), [&](CSettings& edit) {
        asked = true;
        edit.m_strComPort = "COM1";
        return true;
    });
    EXPECT_TRUE(asked);
    EXPECT_EQ(result, CSettings::ELoadResult::ConfiguredByUser);
    EXPECT_EQ(s.m_strComPort, "COM1");
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0],
              "Unable to open configuration file: " + dir.File("RV.cfg") + ".\n\n\"The file could not be located.\"");

    result = s.Load(dir.File("RV.cfg"), rec.Fn(), [](CSettings&) { return false; });
    EXPECT_EQ(result, CSettings::ELoadResult::Cancelled);
}

TEST(Settings, SaveIsPrivateAndCrashSafe) {
    TempDir dir;
    const std::string path = dir.File("RV.cfg");
    CSettings s;
    s.m_strRASPassword[0] = "hunter2";
    ASSERT_TRUE(s.Save(path, false, {}));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const std::string before = ReadFileText(path);
    SetSaveFailureForTesting(ENOSPC);
    s.m_strComPort = "COM8";
    Recorder rec;
    EXPECT_FALSE(s.Save(path, false, rec.Fn()));
    SetSaveFailureForTesting(0);
    EXPECT_EQ(ReadFileText(path), before);
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_NE(rec.messages[0].find("The disk is full."), std::string::npos);

    CSettings loaded;
    EXPECT_EQ(loaded.Load(path, rec.Fn(), {}), CSettings::ELoadResult::Loaded);
    EXPECT_EQ(loaded.m_strRASPassword[0], "hunter2");
    EXPECT_EQ(loaded.m_strComPort, "COM2");
}

TEST(Settings, DirectoryAsFileIsAnAccessError) {
    TempDir dir;
    Recorder rec;
    const CSettings s;
    EXPECT_FALSE(s.Save(dir.Path(), false, rec.Fn()));
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_NE(rec.messages[0].find("The file could not be accessed."), std::string::npos);
}

TEST(Settings, FileErrorTexts) {
    EXPECT_EQ(FileCauseText(0), "No error occurred.");
    EXPECT_EQ(FileCauseText(14), "The end of file was reached.");
    EXPECT_EQ(FileCauseText(15), "");
    EXPECT_EQ(FileCauseText(-1), "");
    EXPECT_EQ(FileErrorText(ENOENT), "The file could not be located.");
    EXPECT_EQ(FileErrorText(EACCES), "The file could not be accessed.");
    EXPECT_EQ(FileErrorText(ENOSPC), "The disk is full.");
}

} // namespace

// The whole-buffer write the saves rely on: a buffer several times a pipe's capacity goes
// through in short writes; a full non-blocking pipe and a pipe without a reader are errors.
TEST(Settings, WriteAllCrossesShortWritesAndReportsErrors) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::string big(1 << 20, 'x');
    std::string received;
    std::thread reader([&] {
        char buf[4096];
        ssize_t n = 0;
        while ((n = ::read(fds[0], buf, sizeof buf)) > 0) {
            received.append(buf, static_cast<std::size_t>(n));
        }
    });
    EXPECT_TRUE(WriteAll(fds[1], big));
    ::close(fds[1]);
    reader.join();
    EXPECT_EQ(received.size(), big.size());
    ::close(fds[0]);

    ASSERT_EQ(::pipe2(fds, O_NONBLOCK), 0);
    EXPECT_FALSE(WriteAll(fds[1], big)) << "a full pipe that takes nothing more";
    EXPECT_EQ(errno, EAGAIN);
    ::close(fds[0]);
    ::close(fds[1]);

    // A socket whose peer has gone: EPIPE, and no SIGPIPE ends this process.
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    ::close(fds[1]);
    EXPECT_FALSE(SendAll(fds[0], "abc"));
    EXPECT_EQ(errno, EPIPE);
    ::close(fds[0]);

    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    std::signal(SIGPIPE, SIG_IGN);
    EXPECT_FALSE(WriteAll(fds[1], "abc"));
    EXPECT_EQ(errno, EPIPE);
    ::close(fds[1]);
    EXPECT_TRUE(WriteAll(-1, "")) << "nothing to write is no error";
}
