// What one hand-over between threads costs on this machine when the CPUs have been idle, as
// they are between two phone events: a thread blocked in poll() is woken through an eventfd
// and answers the same way; the round trip after 30 ms of quiet, with both threads on one
// CPU and on two. The off-hook -> command path of the program makes three such hand-overs
// (simulator -> line monitor -> window thread -> simulator), so this is its floor.
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSamples = 200;
constexpr auto kQuiet = std::chrono::milliseconds(30);

bool PinTo(int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    return pthread_setaffinity_np(pthread_self(), sizeof set, &set) == 0;
}

void Signal(int fd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
}

void Await(int fd) {
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, -1) < 0) {
    }
    std::uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd, &value, sizeof value);
}

// Round trips in microseconds, sorted; empty when the CPUs cannot be chosen.
std::vector<double> RoundTrips(int cpuA, int cpuB) {
    const int ping = ::eventfd(0, EFD_CLOEXEC);
    const int pong = ::eventfd(0, EFD_CLOEXEC);
    std::vector<double> us;
    bool echoPinned = false; // written by the echo thread, read after the join
    std::thread echo([&] {
        echoPinned = PinTo(cpuB);
        for (int i = 0; i < kSamples; ++i) {
            Await(ping);
            Signal(pong);
        }
    });
    const bool pinned = PinTo(cpuA);
    for (int i = 0; i < kSamples; ++i) {
        std::this_thread::sleep_for(kQuiet);
        const auto start = Clock::now();
        Signal(ping);
        Await(pong);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    echo.join();
    ::close(ping);
    ::close(pong);
    std::sort(us.begin(), us.end());
    return pinned && echoPinned ? us : std::vector<double>{};
}

void Print(const char* label, const std::vector<double>& us) {
    if (us.empty()) {
        std::printf("%-28s %10s\n", label, "n/a");
        return;
    }
    std::printf("%-28s %10.1f %10.1f\n", label, us[us.size() / 2], us[us.size() * 99 / 100]);
}

} // namespace

int main() {
    std::printf("thread hand-over round trip after %lld ms idle, %d samples (us)\n",
                static_cast<long long>(kQuiet.count()), kSamples);
    std::printf("%-28s %10s %10s\n", "threads", "p50", "p99");
    Print("both on CPU 0", RoundTrips(0, 0));
    if (std::thread::hardware_concurrency() > 1) {
        Print("CPU 0 <-> CPU 1", RoundTrips(0, 1));
    }
    return 0;
}
