// Where the program's files go: the folders chosen from the command line, the environment
// and the working directory, and the folders made for them.
#include "core/DataFolders.h"
#include "core/ProgramArguments.h"
#include "support/AsUnprivileged.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>

namespace {

TEST(DataFolders, ChosenByOptionEnvironmentWorkingDirectoryOrBaseDirectories) {
    TempDir withConfig;
    WriteFileText(withConfig.File("RV.cfg"), "ComPort=COM1\r\n");
    TempDir empty;
    const std::string cfg = withConfig.Path();
    const std::string none = empty.Path();
    struct Row {
        const char* label;
        std::string option;
        std::map<std::string, std::string> env;
        std::string cwd;
        SDataFolders expected;
    };
    const std::map<std::string, std::string> home = {{"HOME", "/home/ann"}};
    const Row rows[] = {
        {"a working directory with RV.cfg keeps everything", "", home, cfg, {cfg, cfg, cfg}},
        {"--data-dir beats the working directory", "/srv/rv", home, cfg, {"/srv/rv", "/srv/rv", "/srv/rv"}},
        {"--data-dir beats RINGVALE_HOME",
         "/srv/rv",
         {{"RINGVALE_HOME", "/other"}},
         none,
         {"/srv/rv", "/srv/rv", "/srv/rv"}},
        {"a relative --data-dir is taken from the working directory",
         "sub",
         home,
         none,
         {none + "/sub", none + "/sub", none + "/sub"}},
        {"RINGVALE_HOME beats the working directory", "", {{"RINGVALE_HOME", "/r"}}, cfg, {"/r", "/r", "/r"}},
        {"base directory defaults below the home folder",
         "",
         home,
         none,
         {"/home/ann/.config/ringvale", "/home/ann/.local/share/ringvale", "/home/ann/.local/state/ringvale"}},
        {"base directories from their variables",
         "",
         {{"HOME", "/home/ann"}, {"XDG_CONFIG_HOME", "/c"}, {"XDG_DATA_HOME", "/d"}, {"XDG_STATE_HOME", "/s"}},
         none,
         {"/c/ringvale", "/d/ringvale", "/s/ringvale"}},
        {"a relative base directory is ignored",
         "",
         {{"HOME", "/home/ann"}, {"XDG_CONFIG_HOME", "rel"}, {"XDG_DATA_HOME", ""}},
         none,
         {"/home/ann/.config/ringvale", "/home/ann/.local/share/ringvale", "/home/ann/.local/state/ringvale"}},
    };
    for (const Row& row : rows) {
        SDataFolderInputs in;
        in.dataDirOption = row.option;
        in.env = [&row](const char* name) {
            const auto it = row.env.find(name);
            return it != row.env.end() ? it->second : std::string();
        };
        in.workingDirectory = row.cwd;
        const SDataFolders got = ChooseDataFolders(in);
        EXPECT_EQ(got.config, row.expected.config) << row.label;
        EXPECT_EQ(got.data, row.expected.data) << row.label;
        EXPECT_EQ(got.state, row.expected.state) << row.label;
    }
}

TEST(DataFolders, ArgumentsTakeOnlyTheDataFolder) {
    struct Row {
        std::vector<std::string> args;
        bool ok;
        std::string dataDir;
        std::string error;
    };
    const Row rows[] = {
        {{}, true, "", ""},
        {{"--data-dir", "/x"}, true, "/x", ""},
        {{"--data-dir=/y"}, true, "/y", ""},
        {{"--data-dir"}, false, "", "--data-dir needs a folder"},
        {{"--data-dir="}, false, "", "--data-dir needs a folder"},
        {{"--viewr"}, false, "", "unknown argument \"--viewr\""},
        {{"/x"}, false, "", "unknown argument \"/x\""},
    };
    for (const Row& row : rows) {
        SProgramArguments parsed;
        std::string error;
        EXPECT_EQ(ParseProgramArguments(row.args, parsed, error), row.ok) << error;
        EXPECT_EQ(parsed.dataDir, row.dataDir);
        EXPECT_EQ(error, row.error);
    }
}

TEST(DataFolders, MissingFoldersAreMadeForTheOwnerOnlyAndAFolderNobodyMayWriteIsRefused) {
    TempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    const std::string deep = dir.File("home/.local/state/ringvale");
    std::string problem;
    ASSERT_TRUE(PrepareDataFolders({dir.File("cfg"), dir.File("cfg"), deep}, problem)) << problem;
    for (const std::string& folder : {dir.File("cfg"), dir.File("home"), deep}) {
        struct stat st {};
        ASSERT_EQ(::stat(folder.c_str(), &st), 0) << folder;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
    }

    // Not written by this user, or a file where the folder should be: said, nothing made.
    WriteFileText(dir.File("plain"), "");
    const int status = RunAsNobody([&] {
        std::string why;
        const bool refused = !PrepareDataFolders({dir.Path(), dir.Path(), dir.Path()}, why) &&
                             why.find(dir.Path() + ": Permission denied") != std::string::npos &&
                             !PrepareDataFolders({"/tmp", dir.File("plain/ringvale"), "/tmp"}, why) &&
                             why.find("plain/ringvale: Not a directory") != std::string::npos;
        return refused ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

} // namespace
