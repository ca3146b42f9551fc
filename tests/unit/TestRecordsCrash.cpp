// A store killed with SIGKILL in the middle of its saves leaves either the file before the save
// or the file after it, complete, never a mix or a truncated file.
#include "records/CCallLog.h"
#include "records/CPhoneBook.h"
#include "records/RecordText.h"
#include "support/TempDir.h"
#include "support/WholeProgramRig.h"

#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kRounds = 10;

// Runs body in a child process that reports on a pipe once it is saving, kills it with SIGKILL
// at a random moment while it keeps saving, and returns once it is gone.
void KillWhileSaving(const std::function<void(int readyFd)>& body, std::mt19937& rng) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(fds[0]);
        body(fds[1]);
        _exit(0); // body never returns; it is killed
    }
    close(fds[1]);
    pollfd pfd{fds[0], POLLIN, 0};
    ASSERT_EQ(poll(&pfd, 1, 10000), 1) << "the child never started saving";
    char c = 0;
    ASSERT_EQ(read(fds[0], &c, 1), 1);
    close(fds[0]);
    // The kill moment is the stimulus of this test, picked at random within a few saves.
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 20000)(rng)));
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped on its own";
}

void SignalReady(int fd) {
    const char c = 'r';
    if (write(fd, &c, 1) != 1) {
        _exit(2);
    }
    close(fd);
}

std::string CallLine(int n) {
    return "\"call " + std::to_string(n) + "\",\"4085550100\",\"0\",\"1\",\"1999,7,4,18,30,5\",\"10\",\"0\"";
}

TEST(RecordsCrash, CallLogKilledDuringSavesIsAlwaysTheOldOrTheNewFile) {
    setenv("TZ", "America/New_York", 1);
    tzset();
    TempDir dir;
    const std::string path = dir.File("RV.log");
    std::string seed = "CallLogVersion2\r\n";
    for (int i = 2999; i >= 0; --i) {
        seed += CallLine(i) + "\r\n";
    }
    WriteFileText(path, seed);
    std::mt19937 rng(12345);
    std::size_t previous = 3000;
    for (int round = 0; round < kRounds; ++round) {
        KillWhileSaving(
            [&](int readyFd) {
                CCallLog log(path, "408");
                for (bool first = true;; first = false) {
                    log.Add(std::make_unique<CCallLogRecord>("call " + std::to_string(log.GetCount()), "4085550100",
                                                             false, true, 931127405, 10, 0));
                    if (first) {
                        SignalReady(readyFd);
                    }
                }
            },
            rng);
        const std::string text = ReadFileText(path);
        ASSERT_TRUE(text.ends_with("\r\n")) << "round " << round;
        const auto lines = SplitStoreLines(text);
        ASSERT_FALSE(lines.empty());
        ASSERT_EQ(lines.front(), "CallLogVersion2");
        const std::size_t n = lines.size() - 1;
        ASSERT_GE(n, previous) << "round " << round << ": records were lost";
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(lines[i + 1], CallLine(static_cast<int>(n - 1 - i))) << "round " << round << " line " << i;
        }
        previous = n;
    }
    EXPECT_GT(previous, 3000u) << "no save ever finished";
}

TEST(RecordsCrash, PhoneBookKilledDuringSavesIsAlwaysTheOldOrTheNewFile) {
    setenv("TZ", "America/New_York", 1);
    tzset();
    TempDir dir;
    const std::string path = dir.File("RV.pbk");
    constexpr int kEntries = 2000;
    std::vector<SPbkLine> seed;
    for (int i = 0; i < kEntries; ++i) {
        seed.push_back({std::to_string(4080000000LL + i), "Name" + std::to_string(i), "First", "Company", "Memo"});
    }
    WriteFileText(path, PhoneBookText(seed));
    std::mt19937 rng(54321);
    std::int32_t previousCount = 0;
    for (int round = 0; round < kRounds; ++round) {
        KillWhileSaving(
            [&](int readyFd) {
                CPhoneBook pb(path, "408");
                for (bool first = true;; first = false) {
                    pb.RecordCall("4080000000", false, 931093500, 65);
                    if (first) {
                        SignalReady(readyFd);
                    }
                }
            },
            rng);
        const std::string text = ReadFileText(path);
        ASSERT_TRUE(text.ends_with("\r\n")) << "round " << round;
        const auto lines = SplitStoreLines(text);
        ASSERT_EQ(lines.size(), static_cast<std::size_t>(kEntries) + 1) << "round " << round;
        ASSERT_EQ(lines.front(), "PhoneBookVersion2");
        for (std::size_t i = 1; i < lines.size(); ++i) {
            ASSERT_TRUE(lines[i].starts_with("\"40800")) << "round " << round << " line " << i;
            ASSERT_TRUE(lines[i].ends_with("\"0x00000000\"")) << "round " << round << " line " << i;
        }
        CPhoneBook check(path, "408");
        ASSERT_EQ(check.GetCount(), static_cast<std::size_t>(kEntries));
        const CPhoneBookEntry* e = check.Find("4080000000");
        ASSERT_NE(e, nullptr);
        ASSERT_GE(e->m_nIncomingCalls, previousCount) << "round " << round << ": calls were lost";
        EXPECT_EQ(e->m_spanTotalIncoming, 65 * e->m_nIncomingCalls);
        previousCount = e->m_nIncomingCalls;
    }
    EXPECT_GT(previousCount, 0) << "no save ever finished";
}

} // namespace
