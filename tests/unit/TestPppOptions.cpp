// Reading pppd option files and command lines: words, the device an entry uses, pid files,
// recognising pppd in the process table, and the texts of pppd's exit statuses.
#include "dialup/DialUpErrors.h"
#include "dialup/PppOptions.h"
#include "dialup/PppProcesses.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace {

using Words = std::vector<std::string>;

struct WordsCase {
    const char* label;
    const char* text;
    Words words;
};

const WordsCase kWordsCases[] = {
    {"device and rate", "ttyS1 115200", {"ttyS1", "115200"}},
    {"comments to the end of the line", "# header\nnoauth # trailing words\nlock", {"noauth", "lock"}},
    {"'#' inside a word is not a comment", "a#b", {"a#b"}},
    {"double quotes group spaces", "connect \"/usr/sbin/chat -v\"", {"connect", "/usr/sbin/chat -v"}},
    {"quotes may join parts of a word", "a'b c'd", {"ab cd"}},
    {"backslash escapes a space", "pass\\ word", {"pass word"}},
    {"escaped quote inside quotes", "\"q\\\"x\"", {"q\"x"}},
    {"octal, hex and \\s escapes", "\\101\\x42\\s", {"AB "}},
    {"backslash before a line end joins lines", "ab\\\ncd", {"abcd"}},
    {"an empty quoted word is a word", "user \"\"", {"user", ""}},
    {"CR LF line ends", "lock\r\nnoauth\r\n", {"lock", "noauth"}},
    {"tabs separate", "\tmodem\tcrtscts", {"modem", "crtscts"}},
    {"nothing but a comment", "# only", {}},
    {"unterminated quote keeps the rest", "name \"open end", {"name", "open end"}},
};

TEST(PppOptionWords, Table) {
    for (const WordsCase& c : kWordsCases) {
        EXPECT_EQ(SplitPppOptionWords(c.text), c.words) << c.label;
    }
}

struct DeviceCase {
    const char* label;
    const char* text;
    const char* device;
};

const DeviceCase kDeviceCases[] = {
    {"bare tty word gets /dev/", "ttyS1 115200\nlock", "/dev/ttyS1"},
    {"full path used as is", "/dev/ttyUSB0\nnoauth", "/dev/ttyUSB0"},
    {"typical Debian provider file",
     "# provider\nuser \"isp\"\nconnect \"/usr/sbin/chat -v -f /etc/chatscripts/provider\"\n"
     "/dev/modem\nnoipdefault\ndefaultroute\n",
     "/dev/modem"},
    {"a path inside a connect script is no device", "connect \"/usr/sbin/chat -f /dev/ttyS0\"", ""},
    {"logfile argument is no device", "logfile /dev/null\nttyS2", "/dev/ttyS2"},
    {"user argument is no device", "user ttyadmin", ""},
    {"the last device counts", "ttyS1\n/dev/ttyACM0", "/dev/ttyACM0"},
    {"commented-out device", "# ttyS4\nnoauth", ""},
    {"plain 'tty' is no device name", "tty", ""},
    {"'/dev/' alone is no device", "/dev/", ""},
    {"numbers and flags only", "115200 modem crtscts", ""},
    {"option at the end without its argument", "ttyS3 user", "/dev/ttyS3"},
};

TEST(PppDevice, FromOptionText) {
    const TempDir dir;
    for (const DeviceCase& c : kDeviceCases) {
        EXPECT_EQ(PppDeviceFromWords(SplitPppOptionWords(c.text), dir.Path()), c.device) << c.label;
    }
}

TEST(PppDevice, FollowsCallAndFileAndStopsAtLoops) {
    const TempDir dir;
    WriteFileText(dir.File("base"), "ttyS5\n");
    WriteFileText(dir.File("wrapper"), "call base\nnoauth\n");
    WriteFileText(dir.File("override"), "call base\nttyS6\n");
    WriteFileText(dir.File("overridden"), "ttyS6\ncall base\n");
    WriteFileText(dir.File("loop-a"), "call loop-b\n");
    WriteFileText(dir.File("loop-b"), "call loop-a\n");
    WriteFileText(dir.File("extra.options"), "/dev/ttyUSB3\n");
    WriteFileText(dir.File("with-file"), "file " + dir.File("extra.options") + "\n");
    WriteFileText(dir.File("escape"), "call ../base\n");
    WriteFileText(dir.File("missing-call"), "ttyS2\ncall nowhere\n");

    const struct {
        const char* entry;
        const char* device;
    } rows[] = {
        {"base", "/dev/ttyS5"},
        {"wrapper", "/dev/ttyS5"},
        {"override", "/dev/ttyS6"},
        {"overridden", "/dev/ttyS5"},
        {"loop-a", ""},
        {"with-file", "/dev/ttyUSB3"},
        {"escape", ""},
        {"missing-call", "/dev/ttyS2"},
        {"no-such-entry", ""},
        {"../base", ""},
        {"", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(PppDeviceOfPeersFile(dir.Path(), row.entry), row.device) << row.entry;
    }
    // A pppd command line is read the same way, "call" included.
    EXPECT_EQ(PppDeviceFromWords({"call", "wrapper", "updetach"}, dir.Path()), "/dev/ttyS5");
    EXPECT_EQ(PppDeviceFromWords({"/dev/ttyS9", "call", "wrapper"}, dir.Path()), "/dev/ttyS5");
}

TEST(PppLockFile, Table) {
    const TempDir dir;
    const struct {
        const char* content;
        pid_t pid;
    } rows[] = {
        {"      1234\n", 1234}, {"1234", 1234}, {" 77 \n", 77}, {"", 0}, {"abc\n", 0}, {"1\n", 0}, {"-5\n", 0},
        {"12x\n", 0},           {"\n9\n", 0},
    };
    for (const auto& row : rows) {
        WriteFileText(dir.File("LCK..ttyS1"), row.content);
        EXPECT_EQ(ReadLockFilePid(dir.File("LCK..ttyS1")), row.pid) << "'" << row.content << "'";
    }
    EXPECT_EQ(ReadLockFilePid(dir.File("LCK..missing")), 0);
}

TEST(PppProcessName, Table) {
    const struct {
        Words cmdline;
        bool pppd;
    } rows[] = {
        {{"pppd"}, true},
        {{"/usr/sbin/pppd", "call", "x"}, true},
        {{"pppd2"}, false},
        {{"xpppd"}, false},
        {{"/usr/sbin/pppd-wrapper"}, false},
        {{"/opt/pppd/bin/sh", "pppd"}, false},
        {{}, false},
        {{""}, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(IsPppdCmdline(row.cmdline), row.pppd) << (row.cmdline.empty() ? "(empty)" : row.cmdline[0]);
    }
}

TEST(PppProcessTable, FindsOnlyLivePppdProcesses) {
    const TempDir proc;
    const auto addProcess = [&](const std::string& name, const Words& args) {
        std::string cmdline;
        for (const std::string& arg : args) {
            cmdline += arg;
            cmdline += '\0';
        }
        std::filesystem::create_directories(proc.File(name));
        WriteFileText(proc.File(name + "/cmdline"), cmdline);
    };
    addProcess("123", {"pppd", "/dev/ttyUSB0", "115200"});
    addProcess("45", {"/usr/sbin/pppd", "call", "provider"});
    addProcess("124", {"bash", "-c", "pppd"});
    addProcess("125", {}); // a zombie: no command line
    addProcess("self", {"pppd"});
    std::filesystem::create_directories(proc.File("126")); // gone between listing and reading

    const std::vector<PppdProcess> found = ListPppdProcesses(proc.Path());
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].pid, 45);
    EXPECT_EQ(found[0].args, (Words{"call", "provider"}));
    EXPECT_EQ(found[1].pid, 123);
    EXPECT_EQ(found[1].args, (Words{"/dev/ttyUSB0", "115200"}));
    EXPECT_TRUE(IsLivePppd(proc.Path(), 123));
    EXPECT_FALSE(IsLivePppd(proc.Path(), 124));
    EXPECT_FALSE(IsLivePppd(proc.Path(), 125));
    EXPECT_FALSE(IsLivePppd(proc.Path(), 999));
    EXPECT_TRUE(ListPppdProcesses(proc.File("nonexistent")).empty());

    EXPECT_EQ(OptionArgument(found[0].args, "call"), "provider");
    EXPECT_EQ(OptionArgument(found[0].args, "provider"), "");
    EXPECT_EQ(OptionArgument(found[0].args, "linkname"), "");
}

TEST(DialUpErrorTexts, Table) {
    const struct {
        int code;
        const char* part;
    } rows[] = {
        {0, "without error"},
        {3, "not setuid-root"},
        {6, "could not be locked"},
        {10, "negotiation failed"},
        {16, "modem hung up"},
        {19, "failed to authenticate ourselves"},
        {20, "exit status 20, which has no documented meaning"},
        {kDialUpErrNoPppd, "pppd is not installed"},
        {kDialUpErrNoEntry, "entry does not exist"},
        {kDialUpErrSignalBase + 15, "killed by signal 15"},
        {-1, "Unknown dial-up error -1"},
        {5000, "Unknown dial-up error 5000"},
    };
    for (const auto& row : rows) {
        EXPECT_NE(DialUpErrorText(row.code).find(row.part), std::string::npos)
            << row.code << ": " << DialUpErrorText(row.code);
    }
    // Every documented status has a text of its own.
    std::set<std::string> texts;
    for (int code = 0; code <= 19; ++code) {
        texts.insert(DialUpErrorText(code));
    }
    EXPECT_EQ(texts.size(), 20u);
}

} // namespace
