// Announces an offered call that passed screening: with the caller-ID popup, a desktop
// notification, or both, as the CIDAnnounce setting says. A notification offers "Reject"
// (the call's hang-up command), "Block" (as Reject, with the number marked "Ignore Caller"
// in the phone book, in a new entry when it has none) and "Add to phone book" (the entry
// dialog for the number); it is taken away as soon as the call is answered, rejected or
// ends. Where no notification service shows it (none is running, or it fails or goes away
// while the call is offered) and the popup was not chosen too, the popup is shown instead,
// so no call goes unannounced.
#pragma once

#include "calls/CCall.h"
#include "calls/CCallContext.h"
#include "calls/CCallList.h"

#include <cstdint>
#include <set>

class CCallAnnouncer {
public:
    static constexpr const char* kBlockedMemo = "Blocked from the call notification";

    CCallAnnouncer(CCallContext& context, CCallList& calls);

    // An offered call that passed screening.
    void Announce(const CCall& call);
    // WM_RV_CALL_NOTIFICATION: an action chosen on a call's notification, or its failure.
    void OnNotificationEvent(std::uint64_t callId, ENotificationEvent event);
    // After every adapter report: the notifications of calls that are no longer offered (or
    // that this program is hanging up) are taken away.
    void CloseSettled();
    // Shut-down: every notification still up is taken away.
    void CloseAll();

private:
    // The call, when it is still an offered call nobody hangs up yet.
    CCall* StillOffered(std::uint64_t callId) const;
    void ShowPopup(const CCall& call) const;
    void Reject(CCall& call, const char* why) const;

    CCallContext& m_ctx;
    CCallList& m_calls;
    std::set<std::uint64_t> m_open; // ids of the calls whose notification is up
};
