#include "calls/CCallList.h"

#include <algorithm>
#include <utility>

template <typename Pred> CCall* CCallList::FindFirst(Pred pred) const {
    for (const auto& call : m_calls) {
        if (pred(*call)) {
            return call.get();
        }
    }
    return nullptr;
}

CCall& CCallList::Add(std::unique_ptr<CCall> call) {
    m_calls.push_back(std::move(call));
    return *m_calls.back();
}

std::unique_ptr<CCall> CCallList::Remove(std::uint64_t id) {
    auto it = std::find_if(m_calls.begin(), m_calls.end(), [id](const auto& call) { return call->m_id == id; });
    if (it == m_calls.end()) {
        return nullptr;
    }
    std::unique_ptr<CCall> call = std::move(*it);
    m_calls.erase(it);
    RemoveHeld(*call);
    ClearCurrentCall(*call);
    return call;
}

CCall* CCallList::FindCallById(int callId) const {
    return FindFirst([callId](const CCall& call) { return call.m_nCallId == callId; });
}

CCall* CCallList::FindCallOnPort(int port) const {
    return FindFirst([port](const CCall& call) { return call.m_nPort == port; });
}

CCall* CCallList::FindCallOnPortInState(int port, int state) const {
    return FindFirst([port, state](const CCall& call) { return call.m_nPort == port && call.m_nState == state; });
}

CCall* CCallList::FindActiveCallOnPort(int port) const {
    return FindFirst([port](const CCall& call) {
        return call.m_nPort == port && call.m_nState != CS_Hold && !call.m_bHoldPending && !call.m_bHangUpPending;
    });
}

CCall* CCallList::Get(std::uint64_t id) const {
    return FindFirst([id](const CCall& call) { return call.m_id == id; });
}

CCall* CCallList::CurrentCall(int port) const {
    if (!ValidPort(port) || !m_current[port]) {
        return nullptr;
    }
    return Get(*m_current[port]);
}

void CCallList::SetCurrentCall(int port, const CCall& call) {
    if (ValidPort(port)) {
        m_current[port] = call.m_id;
    }
}

void CCallList::ClearCurrentCall(const CCall& call) {
    for (auto& slot : m_current) {
        if (slot == call.m_id) {
            slot.reset();
        }
    }
}

void CCallList::AddHeld(const CCall& call) {
    if (!ValidPort(call.m_nPort)) {
        return;
    }
    std::lock_guard lock(m_heldLock);
    auto& held = m_held[call.m_nPort];
    if (std::find(held.begin(), held.end(), call.m_id) == held.end()) {
        held.push_back(call.m_id);
    }
}

void CCallList::RemoveHeld(const CCall& call) {
    std::lock_guard lock(m_heldLock);
    for (auto& held : m_held) {
        std::erase(held, call.m_id);
    }
}

CCall* CCallList::OldestHeld(int port) const {
    if (!ValidPort(port)) {
        return nullptr;
    }
    std::optional<std::uint64_t> first;
    {
        std::lock_guard lock(m_heldLock);
        if (!m_held[port].empty()) {
            first = m_held[port].front();
        }
    }
    return first ? Get(*first) : nullptr;
}

std::vector<std::uint64_t> CCallList::Held(int port) const {
    if (!ValidPort(port)) {
        return {};
    }
    std::lock_guard lock(m_heldLock);
    return m_held[port];
}

void CCallList::ClearHeld() {
    std::lock_guard lock(m_heldLock);
    for (auto& held : m_held) {
        held.clear();
    }
}

void CCallList::SetOffHook(int port, bool offHook) {
    if (ValidPort(port)) {
        m_offHook[port] = offHook;
    }
}

void CCallList::Clear() {
    ClearHeld();
    m_current = {};
    m_calls.clear();
}
