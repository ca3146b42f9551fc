// The real program keeps its files where the desktop's programs keep theirs unless its
// working directory holds RV.cfg, or one folder is named for all of them; a folder it cannot
// use, or an argument it does not know, ends it at once with a clear message.
#include "support/WholeProgramRig.h"

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

class DataFolders : public CWholeProgramTest {
protected:
    DataFolders() : CWholeProgramTest("127.77.21.1") {}
};

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST_F(DataFolders, EachFileGoesToItsFolderAndACallIsLoggedThere) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator());
    const std::string home = Dir() + "/home";
    ASSERT_EQ(::mkdir(home.c_str(), 0755), 0);
    struct Row {
        const char* label;
        std::vector<std::string> args;
        std::string config, data, state;
    };
    const Row rows[] = {
        {"base directories",
         {},
         home + "/.config/ringvale",
         home + "/.local/share/ringvale",
         home + "/.local/state/ringvale"},
        {"--data-dir", {"--data-dir", home + "/rv"}, home + "/rv", home + "/rv", home + "/rv"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        // Only RV.cfg is there before the start; the program makes the other folders.
        ASSERT_EQ(::system(("mkdir -p " + row.config).c_str()), 0);
        WriteFileText(row.config + "/RV.cfg", "ComPort=" + Sim().LinkPath() + "\r\nBaud=115200\r\n");
        CRingvaleRun run({Dir(),
                          Address(),
                          {{"HOME", home},
                           {"XDG_CONFIG_HOME", ""},
                           {"XDG_DATA_HOME", ""},
                           {"XDG_STATE_HOME", ""},
                           {"RINGVALE_HOME", ""}},
                          {},
                          row.args});
        ASSERT_TRUE(run.Start());
        const std::size_t simLog = Sim().Log().size();
        ASSERT_TRUE(Sim().WaitForLogAfter(simLog, "RX pty ATS76=", 60000)) << run.Output();
        const std::string trace = row.state + "/Ringvale.dbg";
        Simulate("ring 1 4085551212 5551212");
        ASSERT_TRUE(run.WaitForText(trace, "Call offering"));
        Simulate("hangup-far 1");
        ASSERT_TRUE(run.WaitForFile(row.data + "/RV.log", [](const std::string& t) { return !t.empty(); }));
        const int status = run.Terminate(SIGTERM);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_NE(ReadFileText(row.config + "/RV.cfg").find("CIDFontName="), std::string::npos) << "saved at exit";
        EXPECT_NE(ReadFileText(row.data + "/RV.log").find("4085551212"), std::string::npos);
        for (const std::string& folder : {row.data, row.state}) {
            if (folder != row.config) { // made by the program
                EXPECT_EQ(ModeOf(folder), 0700u) << folder;
            }
        }
        EXPECT_EQ(ModeOf(Dir() + "/Ringvale.dbg"), 0u) << "nothing in the working directory";
        EXPECT_EQ(ModeOf(Dir() + "/RV.log"), 0u);
    }
}

TEST_F(DataFolders, AnUnusableFolderOrAnUnknownArgumentEndsTheProgramWithAMessage) {
    WriteFile("plain", "");
    struct Row {
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const Row rows[] = {
        {{"--data-dir", Dir() + "/plain/rv"}, 1, "cannot keep its files in the folder"},
        {{"--datadir", "x"}, 2, "unknown argument \"--datadir\""},
    };
    for (const Row& row : rows) {
        CRingvaleRun run({Dir(), Address(), {}, {}, row.args});
        ASSERT_TRUE(run.Start());
        const int status = run.WaitForExit(30000);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == row.status) << status;
        EXPECT_NE(run.Output().find(row.says), std::string::npos) << run.Output();
        EXPECT_EQ(ModeOf(Dir() + "/Ringvale.dbg"), 0u) << "nothing written";
    }
}

} // namespace
