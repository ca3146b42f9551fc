#include "calls/CCallRecorder.h"

#include "core/CWindowHost.h"
#include "records/CCallLog.h"
#include "records/CPhoneBook.h"

#include <memory>

CCallRecorder::CCallRecorder(CCallContext& context, CCallList& calls, CTileSet& tiles)
    : m_ctx(context), m_calls(calls), m_tiles(tiles) {}

void CCallRecorder::OnCallDisconnected(int callId) {
    if (const CCall* found = m_calls.FindCallById(callId)) {
        EndCall(found->m_id);
    }
}

void CCallRecorder::EndCall(std::uint64_t id) {
    std::unique_ptr<CCall> call = m_calls.Remove(id);
    if (!call) {
        return;
    }
    m_tiles.RemoveCallFromTiles(*call);
    call->m_timeEnd = m_ctx.Now();
    if (ICallObserver* observer = m_ctx.Observer()) {
        observer->OnCallEvent(ECallChange::Disconnected, *call);
    }

    if (m_ctx.Settings().m_bIncompleteCallsToPhoneBook || call->m_nState == CS_Connected || call->m_nState == CS_Hold) {
        const auto duration = static_cast<std::int32_t>(call->m_timeEnd - call->m_timeStart);
        const CPhoneBookEntry* entry = nullptr;
        if (CPhoneBook* phoneBook = m_ctx.PhoneBook()) {
            entry = phoneBook->RecordCall(call->m_strRemoteNumber, call->m_bOutgoing, call->m_timeStart, duration);
        }
        if (entry != nullptr) {
            m_ctx.PhoneBookEntryUpdated(entry->m_id);
            m_ctx.Log("Phone book updated");
        } else {
            m_ctx.Log("Number not in phone book, not updated");
        }
    }
    LogFinishedCall(*call);
    call.reset();
    m_ctx.RefreshTiles();
}

void CCallRecorder::LogFinishedCall(const CCall& call) {
    if (call.m_nState == CS_Initiating) {
        return;
    }
    auto record = std::make_unique<CCallLogRecord>(
        call.m_strName, call.m_strRemoteNumber, call.m_bOutgoing, call.m_bConnected, call.m_timeStart,
        static_cast<std::int32_t>(call.m_timeEnd - call.m_timeStart), call.m_nPort);
    const std::uint64_t recordId = record->m_id;
    const CCallLogRecord* written = record.get(); // the store keeps the object where it is
    if (CCallLog* callLog = m_ctx.CallLog()) {
        callLog->Add(std::move(record));
        m_ctx.Host().SendToWindow(EWindow::CallLog, CMessage::WithKey(WM_RV_LOG_ADD_RECORD, recordId));
    }
    if (ICallObserver* observer = m_ctx.Observer()) {
        observer->OnCallLogged(*written);
    }
    if (!call.m_bOutgoing) {
        m_ctx.AnnounceNewCall();
    }
    m_ctx.Log("Call log updated");
}
