// A clock that tests move by hand. Wall-clock seconds and the millisecond tick advance
// together; readable from any thread.
#pragma once

#include "core/Clock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

class CFakeClock final : public IClock {
public:
    // Starts at the given wall-clock time (seconds since 1970) with the tick at 1000000 ms.
    explicit CFakeClock(std::int64_t startSeconds = 1700000000);

    std::int64_t Now() const override;
    std::int64_t TickMs() const override;

    // Moves both clocks forward, then runs the advance hook (if any) on the calling thread.
    void AdvanceMs(std::int64_t ms);
    void AdvanceSeconds(std::int64_t seconds) { AdvanceMs(seconds * 1000); }

    // Called after every advance, e.g. to wake a thread that waits for a clock deadline.
    void SetOnAdvance(std::function<void()> hook);

private:
    const std::int64_t m_startSeconds;
    std::atomic<std::int64_t> m_elapsedMs{0};
    std::mutex m_hookMutex;
    std::function<void()> m_onAdvance;
};
