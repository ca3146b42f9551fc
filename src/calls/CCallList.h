// The calls the controller tracks and the per-port state that goes with them:
//  - the call list, in order of creation; every lookup scans from the head and returns the
//    first match;
//  - per port, the held list: the port's calls in the order the adapter reported them on
//    hold, guarded by the call-list lock;
//  - per port, the current call (the call on the line) and the off-hook flag;
//  - the last dialed number, waiting for the outgoing call it belongs to.
// The list owns the calls; the held lists and current-call slots hold stable call ids
// (CCall::m_id), so they can never point at a call that has gone.
//
// Window thread only, except the held lists, which any thread may read under the lock.
#pragma once

#include "calls/CCall.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CCallList {
public:
    static constexpr int kPorts = 2;

    static bool ValidPort(int port) { return port >= 0 && port < kPorts; }

    // Appends the call at the tail; returns it.
    CCall& Add(std::unique_ptr<CCall> call);
    // Takes the call out of everything here: the call list, its port's held list and every
    // current-call slot. Returns it (nullptr when it is not in the list).
    std::unique_ptr<CCall> Remove(std::uint64_t id);

    // Lookups; nullptr when nothing matches.
    CCall* FindCallById(int callId) const;
    CCall* FindCallOnPort(int port) const;
    CCall* FindCallOnPortInState(int port, int state) const;
    // A call on the port that is not on hold and has no hold or hang-up pending.
    CCall* FindActiveCallOnPort(int port) const;
    // By stable id.
    CCall* Get(std::uint64_t id) const;

    // Current call per port (nullptr when the slot is empty or the port is not 0 or 1).
    CCall* CurrentCall(int port) const;
    void SetCurrentCall(int port, const CCall& call);
    // Empties every port's slot that holds the call.
    void ClearCurrentCall(const CCall& call);

    // Held lists, under the call-list lock. A call is in its port's list at most once: a
    // repeated on-hold report keeps its place.
    void AddHeld(const CCall& call);
    void RemoveHeld(const CCall& call);
    // The call of the port held longest, or nullptr.
    CCall* OldestHeld(int port) const;
    std::vector<std::uint64_t> Held(int port) const;
    // Empties both held lists (shut-down; the calls stay in the call list).
    void ClearHeld();

    bool OffHook(int port) const { return ValidPort(port) && m_offHook[port]; }
    void SetOffHook(int port, bool offHook);

    std::string& LastDialedNumber() { return m_strLastDialed; }

    const std::deque<std::unique_ptr<CCall>>& Calls() const { return m_calls; }
    std::size_t Size() const { return m_calls.size(); }
    // Deletes every call (after ClearHeld at shut-down).
    void Clear();

private:
    template <typename Pred> CCall* FindFirst(Pred pred) const;

    std::deque<std::unique_ptr<CCall>> m_calls;
    std::array<std::optional<std::uint64_t>, kPorts> m_current;
    std::array<bool, kPorts> m_offHook{};
    std::string m_strLastDialed;

    mutable std::mutex m_heldLock; // the call-list lock
    std::array<std::vector<std::uint64_t>, kPorts> m_held;
};
