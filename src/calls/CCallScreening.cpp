#include "calls/CCallScreening.h"

#include "calls/BlockNumber.h"

#include "records/CPhoneBook.h"

#include <memory>

namespace {
const char* const kUnknownCaller = "Unknown caller";
}

CCallScreening::CCallScreening(CCallContext& context, CRemoteControl& remoteControl, CCallAnnouncer& announcer)
    : m_ctx(context), m_remoteControl(remoteControl), m_announcer(announcer) {}

bool CCallScreening::ShowNumberInPopup(const CCall& call, const CSettings& settings) {
    return PopupFor(call, settings).showNumber;
}

SCallerIdPopup CCallScreening::PopupFor(const CCall& call, const CSettings& settings) {
    return PopupFor(call.m_strName, call.m_strRemoteNumber, call.m_nPort, settings);
}

SCallerIdPopup CCallScreening::PopupFor(const std::string& name, const std::string& number, int portIndex,
                                        const CSettings& settings) {
    SCallerIdPopup popup;
    popup.name = name;
    popup.showNumber = !number.empty() && settings.m_bCIDShowNumber &&
                       (!settings.m_bCIDOnlyIfNotInPhoneBook || name == kUnknownCaller);
    popup.number = popup.showNumber ? number : std::string();
    popup.portIndex = portIndex;
    popup.autoDismiss = settings.m_bCallerIDTimer;
    popup.seconds = settings.m_nCIDTimerValue;
    popup.faceName = settings.m_strCIDFontName;
    popup.pointSizeTenths = settings.m_nCIDFontSize;
    popup.bold = settings.m_bCIDFontBold;
    popup.italic = settings.m_bCIDFontItalic;
    popup.textColor = settings.m_dwCIDFontColor;
    popup.backgroundColor = settings.m_dwCIDBackgroundColor;
    return popup;
}

void CCallScreening::Reject(CCall& call, const char* why) {
    m_ctx.Commands().HangUp(call.m_nPort, call.m_nCallId);
    call.m_bHangUpPending = true;
    m_ctx.Log(why);
}

CCallScreening::EResult CCallScreening::ScreenOfferedCall(CCall& call) {
    const CSettings& settings = m_ctx.Settings();
    if (call.m_strRemoteNumber.empty()) {
        if (settings.m_bIgnoreBlocked) {
            Reject(call, "Caller Ignored - no phone number sent");
            return EResult::Rejected;
        }
    } else {
        const CPhoneBook* phoneBook = m_ctx.PhoneBook();
        if (phoneBook != nullptr && phoneBook->IsIgnored(call.m_strRemoteNumber)) {
            Reject(call, "Caller Ignored - by phone book setting");
            return EResult::Rejected;
        }
        if (m_remoteControl.MatchesWatchNumbers(call)) {
            m_remoteControl.TriggerOnWatchNumbers(call);
            return EResult::RemoteControl;
        }
    }
    m_announcer.Announce(call);
    return EResult::Announced;
}

void CCallScreening::RejectOnRequest(CCall& call, bool block) {
    Reject(call, block ? "Caller blocked - asked for on the network" : "Caller rejected - asked for on the network");
    if (block) {
        BlockCaller(call);
    }
}

void CCallScreening::BlockCaller(const CCall& call) {
    CPhoneBook* phoneBook = m_ctx.PhoneBook();
    if (call.m_strRemoteNumber.empty() || phoneBook == nullptr) {
        m_ctx.Log(phoneBook == nullptr ? "Caller not blocked - no phone book"
                                       : "Caller not blocked - no phone number sent");
        return;
    }
    BlockNumber(*phoneBook, m_ctx.Host(), call.m_strRemoteNumber, "", "Blocked from a viewer on the network");
}
