#include "core/Clock.h"

#include <chrono>

std::int64_t CSystemClock::Now() const {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::int64_t CSystemClock::TickMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

CSystemClock& CSystemClock::Instance() {
    static CSystemClock clock;
    return clock;
}
