// Saving a whole file where the folder or the file is not plain: a symlinked file, a folder
// that takes no new file, another user's file, names planted in a folder others can write to.
#include "core/SafeFile.h"
#include "core/Trace.h"
#include "support/AsUnprivileged.h"
#include "support/TempDir.h"

#include <dirent.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kOld = "old content\r\n";
constexpr const char* kNew = "new content, longer than the old one\r\n";

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

// The names in a folder, sorted.
std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") {
                names.emplace_back(e->d_name);
            }
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SafeFile, SavesKeepTheFileWhereAndWhatItIs) {
    struct Row {
        const char* label;
        // Prepares the folder and returns the path to save; then the save runs (as nobody when
        // asNobody), then check looks at the result.
        std::function<std::string(const TempDir&)> prepare;
        EFileMode policy;
        bool asNobody;
        std::function<void(const TempDir&)> check;
    };
    const Row rows[] = {
        {"a symlinked file is saved at its target and stays linked",
         [](const TempDir& d) {
             ::mkdir(d.File("real").c_str(), 0700);
             WriteFileText(d.File("real/RV.pbk"), kOld);
             EXPECT_EQ(::symlink("real/RV.pbk", d.File("RV.pbk").c_str()), 0);
             return d.File("RV.pbk");
         },
         EFileMode::KeepExisting, false,
         [](const TempDir& d) {
             EXPECT_TRUE(S_ISLNK(StatOf(d.File("RV.pbk")).st_mode));
             EXPECT_EQ(ReadFileText(d.File("real/RV.pbk")), kNew);
             EXPECT_EQ(Names(d.File("real")), std::vector<std::string>{"RV.pbk"});
         }},
        {"an existing file keeps its mode, a new one is its owner's only",
         [](const TempDir& d) {
             WriteFileText(d.File("RV.pbk"), kOld);
             ::chmod(d.File("RV.pbk").c_str(), 0640);
             return d.File("RV.pbk");
         },
         EFileMode::KeepExisting, false,
         [](const TempDir& d) {
             EXPECT_EQ(StatOf(d.File("RV.pbk")).st_mode & 07777, 0640u);
             int err = 0;
             ASSERT_TRUE(SaveFileAtomically(d.File("RV.log"), kNew, 0600, err));
             EXPECT_EQ(StatOf(d.File("RV.log")).st_mode & 07777, 0600u);
         }},
        {"another user's file keeps its owner",
         [](const TempDir& d) {
             if (::geteuid() != 0) {
                 return std::string(); // only root can give a file away
             }
             WriteFileText(d.File("RV.pbk"), kOld);
             EXPECT_EQ(::chown(d.File("RV.pbk").c_str(), kNobodyId, kNobodyId), 0);
             return d.File("RV.pbk");
         },
         EFileMode::KeepExisting, false,
         [](const TempDir& d) {
             if (::geteuid() == 0) {
                 EXPECT_EQ(StatOf(d.File("RV.pbk")).st_uid, kNobodyId);
                 EXPECT_EQ(StatOf(d.File("RV.pbk")).st_gid, kNobodyId);
             }
         }},
        {"planted temporary names are never opened; the mode is exact",
         [](const TempDir& d) {
             WriteFileText(d.File("victim"), kOld);
             EXPECT_EQ(::symlink(d.File("victim").c_str(), d.File("RV.cfg.tmp").c_str()), 0);
             WriteFileText(d.File("RV.cfg"), kOld);
             ::chmod(d.File("RV.cfg").c_str(), 0666);
             ::chmod(d.Path().c_str(), 01777);
             return d.File("RV.cfg");
         },
         EFileMode::Exactly, false,
         [](const TempDir& d) {
             EXPECT_EQ(ReadFileText(d.File("victim")), kOld);
             EXPECT_TRUE(S_ISLNK(StatOf(d.File("RV.cfg.tmp")).st_mode));
             EXPECT_EQ(StatOf(d.File("RV.cfg")).st_mode & 07777, 0600u);
         }},
        {"a folder that takes no new file: the file is rewritten in place",
         [](const TempDir& d) {
             ::mkdir(d.File("ro").c_str(), 0755);
             WriteFileText(d.File("ro/RV.pbk"), kOld);
             if (::geteuid() == 0) {
                 EXPECT_EQ(::chown(d.File("ro/RV.pbk").c_str(), kNobodyId, kNobodyId), 0);
             } else {
                 ::chmod(d.File("ro").c_str(), 0555);
             }
             ::chmod(d.Path().c_str(), 0755);
             return d.File("ro/RV.pbk");
         },
         EFileMode::KeepExisting, true,
         [](const TempDir& d) {
             EXPECT_EQ(Names(d.File("ro")), std::vector<std::string>{"RV.pbk"});
             EXPECT_NE(ReadFileText(d.File("Ringvale.dbg")).find("this save was not crash-safe"), std::string::npos);
         }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        TempDir dir;
        SetTraceFilePath(dir.File("Ringvale.dbg"));
        const std::string path = r.prepare(dir);
        if (path.empty()) {
            continue;
        }
        const auto save = [&] {
            int err = 0;
            return SaveFileAtomically(path, kNew, 0600, err, r.policy) ? 0 : 10 + err;
        };
        if (r.asNobody) {
            WriteFileText(dir.File("Ringvale.dbg"), "");
            ::chmod(dir.File("Ringvale.dbg").c_str(), 0666);
            EXPECT_EQ(RunAsNobody(save), 0);
        } else {
            EXPECT_EQ(save(), 0);
        }
        EXPECT_EQ(ReadFileText(path), kNew);
        r.check(dir);
        SetTraceFilePath("Ringvale.dbg");
    }
}

} // namespace
