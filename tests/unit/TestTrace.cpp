// The trace file and the activity list: escaping, line format, truncation, concurrency.
#include "core/ActivityList.h"
#include "core/Format.h"
#include "core/Trace.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override { SetTraceFilePath(m_dir.File("Ringvale.dbg")); }
    void TearDown() override { SetTraceFilePath("Ringvale.dbg"); }
    std::string Content() const { return ReadFileText(m_dir.File("Ringvale.dbg")); }
    TempDir m_dir;
};

TEST(Escape, EveryByteValue) {
    for (int b = 0; b < 256; ++b) {
        const std::string in(1, static_cast<char>(b));
        const std::string out = EscapeText(in);
        if (b >= 0x20 && b <= 0x7E) {
            EXPECT_EQ(out, in);
        } else {
            EXPECT_EQ(out, StrFormat("<%2.2X>", b));
        }
    }
    EXPECT_EQ(EscapeText("ATI\r\n"), "ATI<0D><0A>");
    EXPECT_EQ(EscapeText(std::string("\xC8", 1)), "<C8>");
    EXPECT_EQ(EscapeText(std::string("\0", 1)), "<00>");
}

TEST_F(TraceTest, LineFormatAndReturnValue) {
    const std::string text = "TX: ATI\r";
    EXPECT_EQ(&Trace(text), &text);
    const std::string content = Content();
    EXPECT_TRUE(std::regex_match(content, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d TX: ATI<0D>\r\n)"))) << content;
}

TEST_F(TraceTest, TruncateEmptiesThePreviousRun) {
    Trace("old line");
    ASSERT_FALSE(Content().empty());
    TruncateTrace();
    EXPECT_TRUE(Content().empty());
    Trace("new");
    EXPECT_NE(Content().find(" new\r\n"), std::string::npos);
}

TEST_F(TraceTest, NewTraceIsTheOwnersOnlyAndAPlantedSymlinkIsNotFollowed) {
    Trace("a caller's number");
    struct stat st {};
    ASSERT_EQ(::stat(m_dir.File("Ringvale.dbg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::unlink(m_dir.File("Ringvale.dbg").c_str()), 0);
    WriteFileText(m_dir.File("victim"), "mine");
    ASSERT_EQ(::symlink(m_dir.File("victim").c_str(), m_dir.File("Ringvale.dbg").c_str()), 0);
    TruncateTrace();
    Trace("line");
    EXPECT_EQ(ReadFileText(m_dir.File("victim")), "mine");
}

TEST_F(TraceTest, ConcurrentLinesStayWhole) {
    constexpr int kThreads = 4;
    constexpr int kLines = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                Trace(StrFormat("thread %d line %04d %s", t, i, std::string(64, char('a' + t)).c_str()));
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    const std::string content = Content();
    const auto lines = SplitLines(content);
    ASSERT_EQ(lines.size(), std::size_t{kThreads * kLines});
    const std::regex shape(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d thread (\d) line \d{4} ([a-d])\2{63})");
    std::vector<int> next(kThreads, 0);
    for (auto line : lines) {
        std::cmatch m;
        ASSERT_TRUE(std::regex_match(line.begin(), line.end(), m, shape)) << line;
        const int t = m[1].str()[0] - '0';
        EXPECT_EQ(m[2].str()[0], 'a' + t);
        // Lines of one thread keep their order.
        EXPECT_EQ(std::stoi(std::string(line.substr(line.find("line ") + 5, 4))), next[t]++);
    }
}

TEST_F(TraceTest, UnwritableFileDropsTheLineQuietly) {
    SetTraceFilePath(m_dir.File("missing-dir/Ringvale.dbg"));
    EXPECT_EQ(Trace("lost"), "lost");
}

TEST(ActivityList, KeepsTheNewestTwoHundred) {
    CActivityList list;
    for (int i = 1; i <= 201; ++i) {
        list.Add(StrFormat("event %d", i), 0);
    }
    ASSERT_EQ(list.Lines().size(), 200u);
    EXPECT_NE(list.Lines().front().find("event 2"), std::string::npos);
    EXPECT_NE(list.Lines().back().find("event 201"), std::string::npos);
    EXPECT_EQ(list.TopIndex(10), 190);
    EXPECT_EQ(list.TopIndex(500), 0);
}

TEST(ActivityList, LineFormat) {
    CActivityList list;
    const std::string& line = list.Add("Call offering: 4085551212\x01", 86400 * 365);
    EXPECT_EQ(line, FormatLocalTime(86400 * 365, "%Y-%m-%d %H:%M:%S") + " : Call offering: 4085551212<01>");
}

TEST(Format, SplitLinesAcceptsEveryLineEnd) {
    const auto lines = SplitLines("a\r\nb\nc\rd");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "a");
    EXPECT_EQ(lines[3], "d");
    EXPECT_EQ(SplitLines("\n\n").size(), 2u);
    EXPECT_TRUE(SplitLines("").empty());
}

} // namespace
