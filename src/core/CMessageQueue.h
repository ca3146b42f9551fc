// The window thread's queue of private messages. Any thread posts; only the window thread
// takes. After each post the wake-up function runs (outside the lock), so the window host can
// schedule a drain on its own thread (the Qt host queues a call on its event loop).
#pragma once

#include "core/Messages.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

class CMessageQueue {
public:
    using WakeFn = std::function<void()>;
    using HandlerFn = std::function<void(CMessage&&)>;

    // Set before any thread posts; called after every post, on the posting thread.
    void SetWakeUp(WakeFn wake);

    void Post(CMessage msg);

    // Takes the oldest message; false when the queue is empty.
    bool TryTake(CMessage& msg);

    // Hands the messages queued at the moment of the call to the handler, oldest first.
    // Returns how many were handled.
    std::size_t Drain(const HandlerFn& handler);

    // Blocks until a message is queued or timeoutMs (real time) has passed; true when one is.
    bool WaitForMessage(int timeoutMs);

    std::size_t Size() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<CMessage> m_queue;
    WakeFn m_wake;
};
