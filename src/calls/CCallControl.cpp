#include "calls/CCallControl.h"

#include "records/CPhoneBook.h"

#include <memory>
#include <utility>

namespace {
const char* const kUnknownCaller = "Unknown caller";
const char* const kUnknownCallee = "Unknown callee";
} // namespace

CCallControl::CCallControl(CWindowHost& host, const IClock& clock, CSettings& settings, SCallHooks hooks)
    : m_ctx(host, clock, settings, std::move(hooks)), m_tiles(m_ctx, m_calls), m_recorder(m_ctx, m_calls, m_tiles),
      m_remoteControl(m_ctx, m_recorder), m_announcer(m_ctx, m_calls), m_screening(m_ctx, m_remoteControl, m_announcer),
      m_phones(m_ctx, m_calls, m_tiles, m_remoteControl), m_dialer(m_ctx, m_calls) {
    m_ctx.SetRefreshFallback([this] { m_tiles.RefreshTiles(); });
}

CCallControl::~CCallControl() = default;

bool CCallControl::OnCommand(int id) {
    for (int tile = 0; tile < CTileSet::kTiles; ++tile) {
        if (id == ctl::kTileSelect[tile]) {
            m_tiles.SelectTile(tile);
            return true;
        }
    }
    if (const char key = CLocalPhones::KeypadCharacter(id)) {
        m_phones.SendKeypadDigit(key);
        return true;
    }
    switch (id) {
    case ctl::kHangUp:
        m_tiles.HangUpSelectedTile();
        return true;
    case ctl::kHold:
        m_tiles.HoldSelectedTile();
        return true;
    default:
        return false;
    }
}

bool CCallControl::OnMessage(const CMessage& msg) {
    switch (msg.id) {
    case WM_RV_REFRESH_TILES:
        m_tiles.RefreshTiles();
        return true;
    case WM_RV_DIAL_NUMBER:
        m_dialer.DialNumber(msg.text);
        return true;
    case WM_RV_CALL_NOTIFICATION:
        m_announcer.OnNotificationEvent(msg.key, static_cast<ENotificationEvent>(msg.wParam));
        return true;
    default:
        return false;
    }
}

std::string CCallControl::CallerText(const std::string& number, bool outgoing) {
    std::string key = number.size() < 10 ? m_ctx.Settings().m_strDefaultAreaCode + number : number;
    if (key.starts_with('1')) {
        key.erase(0, 1);
    }
    std::string name = kUnknownCaller;
    if (CPhoneBook* phoneBook = m_ctx.PhoneBook()) {
        name = phoneBook->GetCallerName(key);
    }
    if (outgoing && name == kUnknownCaller) {
        name = kUnknownCallee;
    }
    return name;
}

CCall& CCallControl::NewCall(const CModemReport& report, int state, bool outgoing) {
    return m_calls.Add(std::make_unique<CCall>(state, report.m_nPort, report.m_nCallId, outgoing, m_ctx.Now()));
}

// One row per report type; a report for a call that is not tracked creates it in the
// reported state (only a disconnect for an unknown call, and an existing-call report while
// the port or id already has a call, change nothing).
void CCallControl::OnCallReport(const CModemReport& report) {
    const std::string text = CallReportText(report);
    if (text.empty() || !CCallList::ValidPort(report.m_nPort)) {
        return;
    }
    const int port = report.m_nPort;
    if (report.m_nEventType == CE_Existing &&
        (m_calls.FindCallOnPort(port) != nullptr || m_calls.FindCallById(report.m_nCallId) != nullptr)) {
        return;
    }
    m_ctx.Log(text);
    CCall* tracked = m_calls.FindCallById(report.m_nCallId);

    switch (report.m_nEventType) {
    case CE_Disconnected:
        if (tracked != nullptr) {
            m_recorder.EndCall(tracked->m_id);
        }
        break;

    case CE_Offering: {
        CCall& call = NewCall(report, CS_Offering, false);
        call.m_strLocalNumber = report.m_strLocalNumber;
        call.m_strRemoteNumber = report.m_strRemoteNumber;
        if (call.m_strLocalNumber.size() == 7) {
            call.m_strLocalNumber = m_ctx.Settings().m_strDefaultAreaCode + call.m_strLocalNumber;
        }
        call.m_strName = CallerText(call.m_strRemoteNumber, false);
        m_tiles.PlaceCallInTile(call, -1);
        const std::uint64_t id = call.m_id;
        const bool rejected = m_screening.ScreenOfferedCall(call) == CCallScreening::EResult::Rejected;
        // A remote-control trigger may have waited in place: the call is looked up again.
        if (const CCall* offered = m_calls.Get(id)) {
            Notify(rejected ? ECallChange::Rejected : ECallChange::Offered, *offered);
        }
        break;
    }

    case CE_LocalInitiating: {
        CCall& call = NewCall(report, CS_Initiating);
        m_calls.SetCurrentCall(port, call);
        m_tiles.PlaceCallInTile(call, m_tiles.TileEmpty(m_tiles.SelectedTile()) ? m_tiles.SelectedTile() : -1);
        break;
    }

    case CE_OutgoingConnecting:
        if (tracked != nullptr) {
            // A call the adapter announced as initiating before the whole-number dial it
            // came from: it has no number of its own yet, the dial has.
            std::string& lastDialed = m_calls.LastDialedNumber();
            if (tracked->m_strRemoteNumber.empty() && !lastDialed.empty()) {
                tracked->m_strRemoteNumber = std::exchange(lastDialed, std::string());
            }
            tracked->m_nState = CS_Connecting;
            tracked->m_strName = CallerText(tracked->m_strRemoteNumber, tracked->m_bOutgoing);
            m_ctx.RefreshTiles();
        } else {
            CCall& call = NewCall(report, CS_Connecting);
            m_calls.SetCurrentCall(port, call);
            std::string& lastDialed = m_calls.LastDialedNumber();
            if (!lastDialed.empty()) {
                call.m_strRemoteNumber = std::exchange(lastDialed, std::string());
            }
            call.m_strName = CallerText(call.m_strRemoteNumber, true);
            m_tiles.PlaceCallInTile(call, -1);
        }
        break;

    case CE_OutgoingForwarding:
        if (tracked != nullptr) {
            tracked->m_nState = CS_Forwarding;
            m_ctx.RefreshTiles();
        } else {
            CCall& call = NewCall(report, CS_Forwarding);
            m_calls.SetCurrentCall(port, call);
            m_tiles.PlaceCallInTile(call, -1);
        }
        break;

    case CE_Connected:
        if (tracked != nullptr) {
            m_calls.SetCurrentCall(tracked->m_nPort, *tracked);
            tracked->m_bConnected = true;
            tracked->m_nState = CS_Connected;
            tracked->m_timeStart = m_ctx.Now();
            tracked->m_strName = CallerText(tracked->m_strRemoteNumber, tracked->m_bOutgoing);
            m_ctx.RefreshTiles();
            Notify(ECallChange::Connected, *tracked);
        } else {
            CCall& call = NewCall(report, CS_Connected);
            call.m_bConnected = true;
            m_calls.SetCurrentCall(port, call);
            m_tiles.PlaceCallInTile(call, -1);
            Notify(ECallChange::Connected, call);
        }
        break;

    case CE_OnHold:
        OnHoldReport(report, tracked);
        break;

    case CE_Recalled:
        OnRecalledReport(report, tracked);
        break;

    case CE_Existing: {
        m_calls.SetOffHook(port, true);
        CCall& call = NewCall(report, CS_Existing);
        call.m_bConnected = true;
        call.m_strName = "<Existing Call>";
        m_calls.SetCurrentCall(port, call);
        m_tiles.PlaceCallInTile(call, -1);
        break;
    }

    default:
        break;
    }
    m_announcer.CloseSettled();
    if (ICallObserver* observer = m_ctx.Observer()) {
        observer->OnCallsChanged();
    }
}

void CCallControl::Notify(ECallChange event, const CCall& call) {
    if (ICallObserver* observer = m_ctx.Observer()) {
        observer->OnCallEvent(event, call);
    }
}

void CCallControl::OnHoldReport(const CModemReport& report, CCall* tracked) {
    CCall* call = tracked;
    if (call != nullptr) {
        call->m_nState = CS_Hold;
    } else {
        call = &NewCall(report, CS_Hold);
        m_tiles.PlaceCallInTile(*call, -1);
    }
    m_calls.ClearCurrentCall(*call);
    m_calls.AddHeld(*call);
    call->m_bHoldPending = false;
    m_ctx.RefreshTiles();
    Notify(ECallChange::OnHold, *call);
}

void CCallControl::OnRecalledReport(const CModemReport& report, CCall* tracked) {
    CCall* call = tracked;
    if (call != nullptr) {
        call->m_nState = CS_Connected;
        m_ctx.RefreshTiles();
    } else {
        call = &NewCall(report, CS_Connected);
        m_tiles.PlaceCallInTile(*call, -1);
    }
    m_calls.SetCurrentCall(call->m_nPort, *call);
    m_calls.RemoveHeld(*call);
    call->m_bRetrievePending = false;
    Notify(ECallChange::Connected, *call);
}

void CCallControl::ShutDown() {
    m_announcer.CloseAll();
    m_calls.ClearHeld();
    m_tiles.ForgetCalls();
    m_calls.Clear();
}
