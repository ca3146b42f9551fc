#include "support/CFakeClock.h"

#include <utility>

namespace {
constexpr std::int64_t kTickStart = 1000000;
}

CFakeClock::CFakeClock(std::int64_t startSeconds) : m_startSeconds(startSeconds) {}

std::int64_t CFakeClock::Now() const {
    return m_startSeconds + m_elapsedMs.load() / 1000;
}

std::int64_t CFakeClock::TickMs() const {
    return kTickStart + m_elapsedMs.load();
}

void CFakeClock::AdvanceMs(std::int64_t ms) {
    m_elapsedMs += ms;
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(m_hookMutex);
        hook = m_onAdvance;
    }
    if (hook) {
        hook();
    }
}

void CFakeClock::SetOnAdvance(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(m_hookMutex);
    m_onAdvance = std::move(hook);
}
