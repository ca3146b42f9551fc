#include "calls/CLocalPhones.h"

#include "core/CWindowHost.h"

namespace {
// Keypad buttons ctl::kKeypadFirst..ctl::kKeypadLast in id order.
constexpr char kKeypad[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', '*', '0', '#'};
static_assert(sizeof kKeypad == ctl::kKeypadLast - ctl::kKeypadFirst + 1);

// A dialed digit joins the number of a call being set up, except a leading 1 (the
// long-distance prefix), which the adapter gets but the number never shows.
void AppendDialedDigit(CCall& call, char digit) {
    if (!(call.m_strRemoteNumber.empty() && digit == '1')) {
        call.m_strRemoteNumber.push_back(digit);
    }
}
} // namespace

CLocalPhones::CLocalPhones(CCallContext& context, CCallList& calls, CTileSet& tiles, CRemoteControl& remoteControl)
    : m_ctx(context), m_calls(calls), m_tiles(tiles), m_remoteControl(remoteControl) {}

char CLocalPhones::KeypadCharacter(int buttonId) {
    const int index = buttonId - ctl::kKeypadFirst;
    return index >= 0 && index < static_cast<int>(sizeof kKeypad) ? kKeypad[index] : 0;
}

bool CLocalPhones::IsKeypadCharacter(char c) {
    return (c >= '0' && c <= '9') || c == '*' || c == '#';
}

CCall* CLocalPhones::CallOnTheLine(int port) const {
    CCall* call = m_calls.CurrentCall(port);
    if (call == nullptr) {
        return nullptr;
    }
    switch (call->m_nState) {
    case CS_Initiating:
    case CS_Connecting:
    case CS_Forwarding:
    case CS_Connected:
    case CS_Existing:
        return call;
    default:
        return nullptr;
    }
}

void CLocalPhones::OnAudioReport(const CModemReport& report) {
    const int port = report.m_nPort;
    const std::string text = AudioReportText(report);
    if (!CCallList::ValidPort(port) || text.empty()) {
        return;
    }
    m_ctx.Log(text);
    if (report.m_bAudioCodeFound) {
        switch (report.m_nAudioCode) {
        case AE_OnHook:
            OnHook(port);
            break;
        case AE_OffHook:
            OffHook(port);
            break;
        case AE_Flash:
            Flash(port);
            break;
        default:
            break;
        }
    } else if (report.HasDigit()) {
        Digit(port, report.m_cDigit);
    }
}

void CLocalPhones::OnHook(int port) {
    m_calls.SetOffHook(port, false);
    if (CCall* call = CallOnTheLine(port)) {
        m_ctx.Commands().HangUp(port, call->m_nCallId);
        call->m_bHangUpPending = true;
    }
}

void CLocalPhones::OffHook(int port) {
    m_calls.SetOffHook(port, true);
    if (const CCall* offered = m_calls.FindCallOnPortInState(port, CS_Offering)) {
        m_ctx.Commands().Answer(port, offered->m_nCallId);
        return;
    }
    CCall* selected = m_tiles.SelectedCall();
    if (selected != nullptr && selected->m_nState == CS_Hold && selected->m_nPort == port) {
        m_ctx.Commands().Retrieve(port, selected->m_nCallId);
        selected->m_bRetrievePending = true;
        return;
    }
    if (m_calls.CurrentCall(port) != nullptr) {
        return;
    }
    m_ctx.Commands().NewCall(port);
}

void CLocalPhones::Flash(int port) {
    m_calls.SetOffHook(port, true);
    if (CCall* call = CallOnTheLine(port)) {
        m_ctx.Commands().Hold(port, call->m_nCallId);
        call->m_bHoldPending = true;
        m_ctx.WaitInPlace(500);
    }
    if (const CCall* offered = m_calls.FindCallOnPortInState(port, CS_Offering)) {
        m_ctx.Commands().Answer(port, offered->m_nCallId);
        return;
    }
    // The call held just now is not in the held list yet (the adapter's on-hold report adds
    // it), so this takes back a call held earlier.
    if (CCall* held = m_calls.OldestHeld(port)) {
        m_ctx.Commands().Retrieve(port, held->m_nCallId);
        held->m_bRetrievePending = true;
        return;
    }
    m_ctx.Commands().NewCall(port);
}

void CLocalPhones::Digit(int port, char digit) {
    if (CCall* dialing = m_calls.FindCallOnPortInState(port, CS_Initiating)) {
        AppendDialedDigit(*dialing, digit);
        m_ctx.Commands().Digit(port, digit, dialing->m_nCallId);
        m_ctx.RefreshTiles();
    }
    if (const CCall* connected = m_calls.FindCallOnPortInState(port, CS_Connected)) {
        m_remoteControl.WatchRemoteControlDigit(port, digit, *connected);
    }
}

void CLocalPhones::SendKeypadDigit(char c) {
    CCall* call = m_tiles.SelectedCall();
    if (call == nullptr) {
        return;
    }
    m_ctx.Commands().Digit(call->m_nPort, c, call->m_nCallId);
    if (call->m_nState == CS_Initiating) {
        AppendDialedDigit(*call, c);
    }
}

bool CLocalPhones::OnTypedChar(char c) {
    if (!IsKeypadCharacter(c)) {
        return false;
    }
    SendKeypadDigit(c);
    return true;
}
