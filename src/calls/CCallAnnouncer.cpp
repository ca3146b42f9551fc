#include "calls/CCallAnnouncer.h"

#include "calls/BlockNumber.h"

#include "calls/CCallScreening.h"
#include "core/Format.h"
#include "records/CPhoneBook.h"

#include <memory>
#include <vector>

CCallAnnouncer::CCallAnnouncer(CCallContext& context, CCallList& calls) : m_ctx(context), m_calls(calls) {}

void CCallAnnouncer::ShowPopup(const CCall& call) const {
    m_ctx.Host().CreateCallerIdPopup(CCallScreening::PopupFor(call, m_ctx.Settings()));
}

void CCallAnnouncer::Announce(const CCall& call) {
    const CSettings& settings = m_ctx.Settings();
    if (settings.AnnounceWithPopup()) {
        ShowPopup(call);
    }
    if (!settings.AnnounceWithNotification()) {
        return;
    }
    SCallNotification notification;
    notification.key = call.m_id;
    notification.summary = call.m_strName;
    const std::string phone = StrFormat("Phone %d", call.m_nPort + 1);
    if (call.m_strRemoteNumber.empty()) {
        notification.body = "No number sent - " + phone;
    } else if (CCallScreening::ShowNumberInPopup(call, settings)) {
        notification.body = call.m_strRemoteNumber + " - " + phone;
    } else {
        notification.body = phone;
    }
    notification.actions.push_back(NE_Reject);
    if (!call.m_strRemoteNumber.empty()) {
        notification.actions.push_back(NE_Block);
        const CPhoneBook* phoneBook = m_ctx.PhoneBook();
        if (phoneBook != nullptr && phoneBook->Find(call.m_strRemoteNumber) == nullptr) {
            notification.actions.push_back(NE_AddToPhoneBook);
        }
    }
    if (m_ctx.Host().ShowCallNotification(notification)) {
        m_open.insert(call.m_id);
    } else if (!settings.AnnounceWithPopup()) {
        ShowPopup(call); // no notification service: the popup instead
    }
}

CCall* CCallAnnouncer::StillOffered(std::uint64_t callId) const {
    CCall* call = m_calls.Get(callId);
    return call != nullptr && call->m_nState == CS_Offering && !call->m_bHangUpPending ? call : nullptr;
}

void CCallAnnouncer::OnNotificationEvent(std::uint64_t callId, ENotificationEvent event) {
    CCall* call = StillOffered(callId);
    if (event == NE_Failed) {
        // Shown by nobody: the popup takes over while the call is still offered.
        m_open.erase(callId);
        if (call != nullptr && !m_ctx.Settings().AnnounceWithPopup()) {
            ShowPopup(*call);
        }
        return;
    }
    if (call == nullptr) {
        return; // answered, rejected or ended meanwhile: the choice comes too late
    }
    switch (event) {
    case NE_Reject:
        Reject(*call, "Caller rejected from the call notification");
        break;
    case NE_Block:
        if (CPhoneBook* phoneBook = m_ctx.PhoneBook()) {
            BlockNumber(*phoneBook, m_ctx.Host(), call->m_strRemoteNumber, "", kBlockedMemo);
        }
        Reject(*call, "Caller blocked from the call notification");
        break;
    case NE_AddToPhoneBook:
        m_ctx.Host().SendToWindow(EWindow::PhoneBook,
                                  CMessage::WithText(WM_RV_NUMBER_TO_PHONE_BOOK, call->m_strRemoteNumber));
        break;
    default:
        break;
    }
    CloseSettled();
}

void CCallAnnouncer::Reject(CCall& call, const char* why) const {
    m_ctx.Commands().HangUp(call.m_nPort, call.m_nCallId);
    call.m_bHangUpPending = true;
    m_ctx.Log(why);
}

void CCallAnnouncer::CloseSettled() {
    std::vector<std::uint64_t> settled;
    for (const std::uint64_t id : m_open) {
        if (StillOffered(id) == nullptr) {
            settled.push_back(id);
        }
    }
    for (const std::uint64_t id : settled) {
        m_open.erase(id);
        m_ctx.Host().CloseCallNotification(id);
    }
}

void CCallAnnouncer::CloseAll() {
    for (const std::uint64_t id : m_open) {
        m_ctx.Host().CloseCallNotification(id);
    }
    m_open.clear();
}
