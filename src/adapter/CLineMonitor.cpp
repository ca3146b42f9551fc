#include "adapter/CLineMonitor.h"

#include "core/Format.h"
#include "core/Trace.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>
#include <utility>

std::string OnlineTimeText(const char* label, std::int64_t seconds) {
    const std::int64_t s = std::max<std::int64_t>(seconds, 0);
    const std::int64_t days = s / 86400;
    const std::int64_t hours = s / 3600 - 24 * days;
    const std::int64_t minutes = s / 60 - 60 * (s / 3600);
    const std::int64_t secs = s % 60;
    return StrFormat("%s: %3.3lld:%2.2lld:%2.2lld:%2.2lld", label, static_cast<long long>(days),
                     static_cast<long long>(hours), static_cast<long long>(minutes), static_cast<long long>(secs));
}

std::optional<std::string> CLineFramer::Feed(char byte) {
    if (byte == '\r') {
        std::string line;
        line.swap(m_line);
        return line;
    }
    const auto b = static_cast<unsigned char>(byte);
    if (b >= 0x20 && b <= 0x7E && m_line.size() < kMaxLine) {
        m_line += byte;
    }
    return std::nullopt;
}

CLineMonitor::CLineMonitor(IMonitoredLink& link, const IClock& clock, SHooks hooks)
    : m_link(link), m_clock(clock), m_hooks(std::move(hooks)),
      m_recovery(link, {[this](const std::string& text) { Log(text); },
                        [this](EAdapterState state) { m_hooks.post(CMessage::Make(WM_RV_ADAPTER_STATE, state)); }}) {
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0) {
        // A thread that could not be stopped is not started: the adapter's reports go unread.
        Trace("<dbg> Line monitor not started: no wake-up event: " +
              std::error_code(errno, std::generic_category()).message());
    }
}

CLineMonitor::~CLineMonitor() {
    Stop();
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
    }
}

void CLineMonitor::Start() {
    if (m_thread.joinable() || m_wakeFd < 0) {
        return;
    }
    m_stop = false;
    m_thread = std::thread([this] { Loop(); });
}

void CLineMonitor::Stop() {
    m_stop = true;
    Wake();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CLineMonitor::Wake() {
    const std::uint64_t one = 1;
    if (m_wakeFd >= 0) {
        [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof(one));
    }
}

void CLineMonitor::SetOnlineClock(const SOnlineClock& clock) {
    {
        std::lock_guard<std::mutex> lock(m_clockMutex);
        m_online = clock;
    }
    Wake();
}

CLineMonitor::SOnlineClock CLineMonitor::OnlineClock() const {
    std::lock_guard<std::mutex> lock(m_clockMutex);
    return m_online;
}

void CLineMonitor::Log(const std::string& text) {
    m_hooks.post(CMessage::WithText(WM_RV_ACTIVITY, Trace(text)));
}

void CLineMonitor::Loop() {
    std::int64_t nextWatch = m_clock.TickMs();
    std::int64_t lastClock = 0;
    // A stop or wake request leaves the wake-up descriptor readable until the wait below
    // empties it, so one made at any point of a pass ends the next wait at once.
    while (!m_stop) {
        m_passes.fetch_add(1, std::memory_order_relaxed);
        const std::int64_t now = m_clock.TickMs();
        ClockStep(now, lastClock);
        int read = 0;
        std::int64_t wait = kMaxWait.count();
        {
            // The reads stay inside the lock too: while the dial-up manager holds it around
            // its close and reopen, replies meant for the handshake are never taken here.
            std::lock_guard<std::mutex> lock(m_linkLock);
            wait = std::min(wait, WatchStep(now, nextWatch));
            read = ReadStep();
            if (!m_stop) {
                m_recovery.Step(read < 0);
            }
        }
        if (read > 0 || m_stop) {
            continue;
        }
        // Nothing to read: sleep until bytes arrive or the next clock or watch time.
        if (OnlineClock().up) {
            wait = std::min(wait, lastClock + kClockPeriodMs - now);
        }
        if (wait > 0) {
            Wait(wait);
        }
    }
}

void CLineMonitor::Wait(std::int64_t waitMs) {
    pollfd p[3] = {{m_wakeFd, POLLIN, 0}, {m_link.InputFd(), POLLIN, 0}, {m_recovery.Fd(), POLLIN, 0}};
    if (::poll(p, 3, static_cast<int>(std::min<std::int64_t>(waitMs, kMaxWait.count()))) > 0 && p[0].revents != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &count, sizeof(count));
    }
}

void CLineMonitor::ClockStep(std::int64_t now, std::int64_t& lastClock) {
    const SOnlineClock online = OnlineClock();
    if (!online.up || now - lastClock < kClockPeriodMs) {
        return;
    }
    const std::int64_t current = m_clock.Now() - online.startTime;
    lastClock = now;
    const std::int64_t total = online.totalAtStart + current;
    // The window thread shows both texts and stores the total in TotalInternetTime.
    m_hooks.post(CMessage::Make(WM_RV_ONLINE_TIME, current, total));
}

std::int64_t CLineMonitor::WatchStep(std::int64_t now, std::int64_t& nextWatch) {
    if (!m_watch) {
        return kMaxWait.count();
    }
    if (OnlineClock().up || !m_link.OnSocket()) {
        // A dial-up operation ran meanwhile (a remote-control trigger does not ask whether a
        // foreign connection holds the port): the program's own connection holds the adapter
        // now, or the link was moved off the socket. Nothing is left to watch for, and the
        // dial-up commands belong to the user again.
        m_watch = false;
        m_hooks.post(CMessage::Make(WM_RV_LINK_RESTORED));
        return kMaxWait.count();
    }
    if (now < nextWatch) {
        return nextWatch - now;
    }
    const bool stillUp = m_hooks.adapterConnectionUp ? m_hooks.adapterConnectionUp() : false;
    nextWatch += kWatchPeriodMs;
    if (nextWatch <= now) {
        // Behind schedule (the watch was idle a while): no burst of catch-up checks.
        nextWatch = now + kWatchPeriodMs;
    }
    if (stillUp) {
        return nextWatch - now;
    }
    Log("RAS disconnected - closing/opening");
    m_link.Close();
    if (!m_link.Reopen()) {
        Log("   FAILURE");
    } else if (m_link.OnSocket()) {
        Log("   Success, on socket");
    } else {
        Log("   Success, on serial");
    }
    m_watch = false;
    m_hooks.post(CMessage::Make(WM_RV_LINK_RESTORED));
    return kMaxWait.count();
}

int CLineMonitor::ReadStep() {
    char buffer[4096];
    const int n = m_link.ReadInput(buffer, static_cast<int>(sizeof buffer));
    for (int i = 0; i < n; ++i) {
        auto line = m_framer.Feed(buffer[i]);
        if (!line) {
            continue;
        }
        Trace("RX: " + *line + "\r");
        std::string trimmed = Trim(*line);
        if (!trimmed.empty()) {
            m_hooks.post(CMessage::WithText(WM_RV_MODEM_LINE, std::move(trimmed)));
        }
    }
    return n;
}
