#include "core/CMessageQueue.h"

#include <chrono>
#include <utility>

void CMessageQueue::SetWakeUp(WakeFn wake) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_wake = std::move(wake);
}

void CMessageQueue::Post(CMessage msg) {
    WakeFn wake;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(msg));
        wake = m_wake;
    }
    m_cv.notify_all();
    if (wake) {
        wake();
    }
}

bool CMessageQueue::TryTake(CMessage& msg) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_queue.empty()) {
        return false;
    }
    msg = std::move(m_queue.front());
    m_queue.pop_front();
    return true;
}

std::size_t CMessageQueue::Drain(const HandlerFn& handler) {
    // Only what is queued now: messages the handler posts wait for the next drain (their
    // post has asked for one), so a handler that keeps posting cannot starve the caller.
    std::size_t pending = Size();
    std::size_t handled = 0;
    CMessage msg;
    while (handled < pending && TryTake(msg)) {
        handler(std::move(msg));
        ++handled;
    }
    return handled;
}

bool CMessageQueue::WaitForMessage(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !m_queue.empty(); });
}

std::size_t CMessageQueue::Size() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queue.size();
}
