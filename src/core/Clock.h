// Time as the system reads it: wall-clock seconds for call times and durations, and a
// monotonic millisecond count for waits. Tests substitute a clock they advance by hand.
#pragma once

#include <cstdint>

class IClock {
public:
    virtual ~IClock() = default;
    // Seconds since 1970-01-01 00:00 UTC.
    virtual std::int64_t Now() const = 0;
    // Milliseconds of a monotonic clock (like the platform's tick count).
    virtual std::int64_t TickMs() const = 0;
};

class CSystemClock final : public IClock {
public:
    std::int64_t Now() const override;
    std::int64_t TickMs() const override;
    static CSystemClock& Instance();
};
