// Screening of offered calls: a caller who sends no number (with IgnoreBlocked on) or whom
// the phone book marks "Ignore Caller" is rejected at once; a call from the remote-control
// watch numbers triggers the dial-up toggle; every other offered call is announced (the
// caller-ID popup, a desktop notification or both).
#pragma once

#include "calls/CCall.h"
#include "calls/CCallAnnouncer.h"
#include "calls/CCallContext.h"
#include "calls/CRemoteControl.h"
#include "core/CWindowHost.h"

class CCallScreening {
public:
    CCallScreening(CCallContext& context, CRemoteControl& remoteControl, CCallAnnouncer& announcer);

    enum class EResult { Announced, Rejected, RemoteControl };
    // For every offered call, after it was created, named and placed in a tile.
    EResult ScreenOfferedCall(CCall& call);

    // A viewer on the network asks to reject an offered call; with block, its caller is also
    // marked "Ignore Caller" in the phone book (an entry is added when there is none), so
    // later calls are rejected too. The caller checks that the call is offering.
    void RejectOnRequest(CCall& call, bool block);

    // Whether the popup shows the number: the call has one, CIDShowNumber is on, and either
    // CIDOnlyIfNotInPhoneBook is off or the caller has no phone book entry.
    static bool ShowNumberInPopup(const CCall& call, const CSettings& settings);
    // The popup for the call with the caller-ID settings.
    static SCallerIdPopup PopupFor(const CCall& call, const CSettings& settings);
    // The same for a caller known by name and number (a viewer's call from the network).
    static SCallerIdPopup PopupFor(const std::string& name, const std::string& number, int portIndex,
                                   const CSettings& settings);

private:
    void Reject(CCall& call, const char* why);
    void BlockCaller(const CCall& call);

    CCallContext& m_ctx;
    CRemoteControl& m_remoteControl;
    CCallAnnouncer& m_announcer;
};
