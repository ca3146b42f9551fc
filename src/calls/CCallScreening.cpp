#include "calls/CCallScreening.h"

#include "records/CPhoneBook.h"

namespace {
const char* const kUnknownCaller = "Unknown caller";
}

CCallScreening::CCallScreening(CCallContext& context, CRemoteControl& remoteControl, CCallAnnouncer& announcer)
    : m_ctx(context), m_remoteControl(remoteControl), m_announcer(announcer) {}

bool CCallScreening::ShowNumberInPopup(const CCall& call, const CSettings& settings) {
    return !call.m_strRemoteNumber.empty() && settings.m_bCIDShowNumber &&
           (!settings.m_bCIDOnlyIfNotInPhoneBook || call.m_strName == kUnknownCaller);
}

SCallerIdPopup CCallScreening::PopupFor(const CCall& call, const CSettings& settings) {
    SCallerIdPopup popup;
    popup.name = call.m_strName;
    popup.showNumber = ShowNumberInPopup(call, settings);
    popup.number = popup.showNumber ? call.m_strRemoteNumber : std::string();
    popup.portIndex = call.m_nPort;
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

void CCallScreening::ScreenOfferedCall(CCall& call) {
    const CSettings& settings = m_ctx.Settings();
    if (call.m_strRemoteNumber.empty()) {
        if (settings.m_bIgnoreBlocked) {
            Reject(call, "Caller Ignored - no phone number sent");
            return;
        }
    } else {
        const CPhoneBook* phoneBook = m_ctx.PhoneBook();
        if (phoneBook != nullptr && phoneBook->IsIgnored(call.m_strRemoteNumber)) {
            Reject(call, "Caller Ignored - by phone book setting");
            return;
        }
        if (m_remoteControl.MatchesWatchNumbers(call)) {
            m_remoteControl.TriggerOnWatchNumbers(call);
            return;
        }
    }
    m_announcer.Announce(call);
}
