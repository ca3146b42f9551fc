// Phone book and call log stores at scale: the indexed Find against a literal linear scan of
// the same list, and load / save / RecordCall with its save / call-log Add with its save for
// 1,000, 10,000 and 100,000 records. Prints one table.
#include "records/CCallLog.h"
#include "records/CPhoneBook.h"
#include "support/TempDir.h"
#include "support/WholeProgramRig.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Milliseconds per run: CPU time of this process, and wall time (which adds the waits for
// fsync and whatever else the machine is doing at the time).
struct Cost {
    double cpu = 0;
    double wall = 0;
};

// Runs f at least minRuns times and until minMs of wall time passed. Only the calls to f are
// timed; reset() runs untimed after each.
template <typename F, typename R> Cost TimePerRun(F&& f, R&& reset, double minMs = 200.0, int minRuns = 3) {
    Cost total;
    int runs = 0;
    while (runs < minRuns || total.wall < minMs) {
        const double cpu = CpuMs();
        const auto start = Clock::now();
        f();
        total.wall += MsSince(start);
        total.cpu += CpuMs() - cpu;
        ++runs;
        reset();
    }
    return {total.cpu / runs, total.wall / runs};
}

template <typename F> Cost TimePerRun(F&& f, double minMs = 200.0, int minRuns = 3) {
    return TimePerRun(
        std::forward<F>(f), [] {}, minMs, minRuns);
}

// Constructing (loading) a store; the save its destructor makes is not counted.
template <typename Store> Cost LoadTime(const std::string& path) {
    std::unique_ptr<Store> store;
    return TimePerRun([&] { store = std::make_unique<Store>(path, "408"); }, [&] { store.reset(); });
}

std::string Number(int i) {
    return "408" + std::to_string(1000000 + i);
}

std::string LastName(std::mt19937& rng) {
    static const char* const kNames[] = {"Abbot", "Baker", "Chen", "Diaz", "Evans",  "Fox",  "Garcia", "Huang",
                                         "Ito",   "Jones", "Kim",  "Lee",  "Miller", "Nagy", "Olsen",  "Patel"};
    return std::string(kNames[rng() % 16]) + std::to_string(rng() % 1000);
}

// Writes a phone book file of n entries in last-name order, as the store writes it.
void WritePhoneBook(const std::string& path, int n) {
    std::mt19937 rng(7);
    std::vector<SPbkLine> entries;
    for (int i = 0; i < n; ++i) {
        SPbkLine e{Number(i), LastName(rng), "First", "Company", "a memo"};
        e.lastIncoming = LocalDateField(931093500 + i);
        e.incomingCalls = 3;
        e.totalIncomingSecs = 200;
        entries.push_back(std::move(e));
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const SPbkLine& a, const SPbkLine& b) { return a.lastName < b.lastName; });
    WriteFileText(path, PhoneBookText(entries));
}

// Writes a call log file of n records, newest first.
void WriteCallLog(const std::string& path, int n) {
    std::vector<SLogLine> records;
    for (int i = n - 1; i >= 0; --i) {
        records.push_back({"Caller " + std::to_string(i), Number(i), i % 3 == 0, i % 2 == 0,
                           LocalDateField(931093500 + 60LL * i), 125, i % 2});
    }
    WriteFileText(path, CallLogText(records));
}

// The lookup rule followed by a scan of the list from its head: what Find would cost without
// its index.
const CPhoneBookEntry* ScanFind(const CPhoneBook& pb, const std::string& number) {
    std::string key = number;
    if (key.size() <= 7) {
        key.insert(0, pb.GetAreaCode());
    }
    if (!key.empty() && key.front() == '1') {
        key.erase(0, 1);
    }
    auto lock = pb.Lock();
    for (const auto& e : pb.Entries()) {
        if (e->m_strNumber == key) {
            return e.get();
        }
    }
    return nullptr;
}

void FindAgainstScan(const TempDir& dir) {
    constexpr int kN = 100000;
    constexpr std::size_t kScanQueries = 200; // the scan is slow: a prefix of the same queries
    const std::string path = dir.File("find.pbk");
    WritePhoneBook(path, kN);
    CPhoneBook pb(path, "408");
    std::mt19937 rng(11);
    std::vector<std::string> queries;
    for (int i = 0; i < 1000; ++i) {
        // Nine hits in ten, as local numbers and with a leading 1; one miss in ten.
        const int k = static_cast<int>(rng() % kN);
        if (i % 10 == 9) {
            queries.push_back("4159999999");
        } else if (i % 2 == 0) {
            queries.push_back(Number(k).substr(3));
        } else {
            queries.push_back("1" + Number(k));
        }
    }
    std::size_t hitsIndex = 0; // counted so that the lookups cannot be optimised away
    std::size_t hitsScan = 0;
    const Cost index = TimePerRun([&] {
        for (const auto& q : queries) {
            hitsIndex += pb.Find(q) != nullptr;
        }
    });
    const Cost scan = TimePerRun(
        [&] {
            for (std::size_t i = 0; i < kScanQueries; ++i) {
                hitsScan += ScanFind(pb, queries[i]) != nullptr;
            }
        },
        [] {}, 200.0, 1);
    const double indexUs = index.cpu * 1000.0 / static_cast<double>(queries.size());
    const double scanUs = scan.cpu * 1000.0 / static_cast<double>(kScanQueries);
    std::printf("Find at %d entries, CPU time (90%% hits; %zu / %zu hits counted)\n", kN, hitsIndex, hitsScan);
    std::printf("  %-28s %12.3f us/lookup\n", "indexed Find", indexUs);
    std::printf("  %-28s %12.3f us/lookup\n", "linear scan (baseline)", scanUs);
    std::printf("  %-28s %12.0fx   %s\n", "ratio", scanUs / indexUs,
                scanUs / indexUs >= 100.0 ? "(>= 100x: met)" : "(< 100x: NOT MET)");
    for (std::size_t i = 0; i < kScanQueries; ++i) {
        if (pb.Find(queries[i]) != ScanFind(pb, queries[i])) {
            std::printf("  MISMATCH between Find and the scan for %s\n", queries[i].c_str());
        }
    }
    std::printf("\n");
}

void PrintRow(const char* label, int n, const Cost (&c)[6], double Cost::*which) {
    std::printf("%-5s %-8d", label, n);
    for (const Cost& cost : c) {
        std::printf(" %14.2f", cost.*which);
    }
    std::printf("\n");
}

void Sizes(const TempDir& dir) {
    std::printf("ms per operation (cpu = CPU time of this process; wall adds fsync and machine load)\n");
    std::printf("%-5s %-8s %14s %14s %14s %14s %14s %14s\n", "", "records", "pb load", "pb save", "RecordCall+sv",
                "log load", "log save", "log Add+save");
    for (const int n : {1000, 10000, 100000}) {
        const std::string pbPath = dir.File("pb" + std::to_string(n) + ".pbk");
        const std::string logPath = dir.File("log" + std::to_string(n) + ".log");
        WritePhoneBook(pbPath, n);
        WriteCallLog(logPath, n);

        Cost c[6];
        c[0] = LoadTime<CPhoneBook>(pbPath);
        {
            CPhoneBook pb(pbPath, "408");
            c[1] = TimePerRun([&] { pb.Save(); });
            int k = 0;
            c[2] = TimePerRun([&] { pb.RecordCall(Number(k++ % n), false, 931093500, 30); });
        }
        c[3] = LoadTime<CCallLog>(logPath);
        {
            CCallLog log(logPath, "408");
            c[4] = TimePerRun([&] { log.Save(); });
            c[5] = TimePerRun([&] {
                log.Add(std::make_unique<CCallLogRecord>("New caller", "5551212", false, true, 931093500, 60, 0));
            });
        }
        PrintRow("cpu", n, c, &Cost::cpu);
        PrintRow("wall", n, c, &Cost::wall);
    }
}

} // namespace

int main() {
    TempDir dir;
    FindAgainstScan(dir);
    Sizes(dir);
    return 0;
}
