// The line monitor: a worker thread that runs from start-up to shut-down and
//  - frames the adapter's output into lines (CR ends a line, only printable bytes are kept)
//    and posts every trimmed, non-empty line to the window thread as WM_RV_MODEM_LINE;
//  - while the program's own dial-up connection is up, reports the on-line time once a
//    second (WM_RV_ONLINE_TIME);
//  - while a dial-up connection the program did not make holds the adapter's serial port,
//    watches every 500 ms for its end and then moves the link back to the serial port; the
//    watch also ends when a dial-up operation has moved the link meanwhile (the program's own
//    connection is up, or the link is off the socket);
//  - when the adapter's serial device goes away, waits for it to come back and opens the link
//    on it again (CLinkRecovery), posting WM_RV_ADAPTER_STATE.
// The same thread reads the device: it blocks in one poll() on the link's input descriptor
// and its own wake-up descriptor, with the next clock or watch time as the time limit, so an
// adapter report goes from the device to the posted line without another thread in between.
// It never touches a window: everything visible is posted to the window thread. It never
// polls on a timer: a quiet link costs no wake-ups.
#pragma once

#include "adapter/CLinkRecovery.h"
#include "adapter/IMonitoredLink.h"
#include "core/Clock.h"
#include "core/Messages.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// "Current: %3.3d:%2.2d:%2.2d:%2.2d" and the like: days, hours, minutes, seconds of a
// duration (negative durations show as zero).
std::string OnlineTimeText(const char* label, std::int64_t seconds);

// Frames a byte stream into lines. A line holds at most kMaxLine characters (the 500-byte
// line buffer less its terminator): the characters of a longer line beyond that are dropped
// until its CR, so one over-long line yields one truncated line and never runs into the next.
class CLineFramer {
public:
    static constexpr std::size_t kMaxLine = 499;

    // Feeds one byte; returns the finished line (not trimmed) when the byte is CR.
    std::optional<std::string> Feed(char byte);

private:
    std::string m_line;
};

class CLineMonitor {
public:
    // The program's own dial-up connection as the on-line clock needs it.
    struct SOnlineClock {
        bool up = false;               // the own connection handle is set
        std::int64_t startTime = 0;    // connection start time (seconds since 1970)
        std::int32_t totalAtStart = 0; // TotalInternetTime when the connection came up
    };

    struct SHooks {
        // Posts a message to the window thread (thread-safe).
        std::function<void(CMessage)> post;
        // Foreign-connection watch: whether a dial-up connection still holds the adapter's
        // device (some active connection's device equals the ModemName setting).
        std::function<bool()> adapterConnectionUp;
    };

    // Longest time one wait for adapter bytes may last while nothing else is due. Stop and
    // wake requests end a wait at once, so this only bounds an idle sleep.
    static constexpr std::chrono::milliseconds kMaxWait{60000};
    static constexpr std::int64_t kWatchPeriodMs = 500;
    static constexpr std::int64_t kClockPeriodMs = 1000;

    CLineMonitor(IMonitoredLink& link, const IClock& clock, SHooks hooks);
    ~CLineMonitor(); // stops the thread
    CLineMonitor(const CLineMonitor&) = delete;
    CLineMonitor& operator=(const CLineMonitor&) = delete;

    // Starts the thread (the stop flag is cleared first). Does nothing while it runs, or when
    // its wake-up descriptor could not be created (traced at construction).
    void Start();
    // Sets the stop flag, wakes the thread and waits without time limit for it to end; the
    // thread finishes its current pass first. Safe to call more than once.
    void Stop();
    bool Running() const { return m_thread.joinable(); }

    // Wakes the thread to look at its clock and watch times and the link now (e.g. after a
    // fake clock moved, or another thread opened the link).
    void Wake();

    // The link lock: held by the monitor around its watch step and its reads of the link, and
    // by the dial-up manager while it closes and reopens the link.
    std::mutex& LinkLock() { return m_linkLock; }

    // Foreign-connection watch flag: set by the start-up open when the link could only be
    // reached over the socket; cleared by the monitor when that connection has gone or a
    // dial-up operation has moved the link (it then posts WM_RV_LINK_RESTORED).
    void SetForeignWatch(bool on) { m_watch = on; }
    bool ForeignWatch() const { return m_watch.load(); }

    void SetOnlineClock(const SOnlineClock& clock);
    SOnlineClock OnlineClock() const;

    // Passes the thread has made through its loop (each ends in a wait unless bytes were
    // read): an idle monitor makes about one a second at most.
    std::uint64_t Passes() const { return m_passes.load(std::memory_order_relaxed); }

private:
    void Loop();
    void ClockStep(std::int64_t now, std::int64_t& lastClock);
    // The foreign-connection watch; returns the milliseconds until it is due again.
    std::int64_t WatchStep(std::int64_t now, std::int64_t& nextWatch);
    // The bytes read and posted as lines, or -1 when the link is closed or broken.
    int ReadStep();
    // Blocks until input waits, a device comes or goes while the link is down, a wake-up
    // request comes or waitMs passes.
    void Wait(std::int64_t waitMs);
    void Log(const std::string& text);

    IMonitoredLink& m_link;
    const IClock& m_clock;
    SHooks m_hooks;
    CLinkRecovery m_recovery; // monitor thread only
    std::mutex m_linkLock;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_watch{false};
    std::atomic<std::uint64_t> m_passes{0};
    mutable std::mutex m_clockMutex;
    SOnlineClock m_online; // guarded by m_clockMutex
    CLineFramer m_framer;  // monitor thread only
    int m_wakeFd = -1;     // eventfd: Stop and Wake make it readable, the thread empties it
    std::thread m_thread;
};
