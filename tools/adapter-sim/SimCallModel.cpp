#include "SimCallModel.h"

#include "AtCommand.h"
#include "core/Format.h"

#include <algorithm>

namespace {

bool DigitsOnly(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A number dialed digit by digit is complete at once when it has the length of a full
// number: 11 digits with the long-distance 1, 10 digits otherwise, or when it ends in #.
bool NumberComplete(const std::string& dialed) {
    if (dialed.empty()) {
        return false;
    }
    if (dialed.back() == '#') {
        return true;
    }
    return dialed.size() >= (dialed[0] == '1' ? 11u : 10u);
}

} // namespace

CSimCallModel::CSimCallModel(Config config, LineFn emit, LineFn note, ClockFn clock)
    : m_config(config), m_emit(std::move(emit)), m_note(std::move(note)), m_clock(std::move(clock)),
      m_nextId(config.firstId) {}

std::string CSimCallModel::CheckPort(int port) const {
    return port == 1 || port == 2 ? "" : "port must be 1 or 2";
}

bool CSimCallModel::IsOffHook(int port) const {
    return (port == 1 || port == 2) && m_offHook[port - 1];
}

CSimCall* CSimCallModel::Find(int port, int id) {
    for (auto& call : m_calls) {
        if (call.id == id && call.port == port) {
            return &call;
        }
    }
    return nullptr;
}

CSimCall* CSimCallModel::FindInState(int port, std::initializer_list<int> states) {
    for (auto& call : m_calls) {
        if (call.port == port && std::find(states.begin(), states.end(), call.state) != states.end()) {
            return &call;
        }
    }
    return nullptr;
}

void CSimCallModel::Report(const CSimCall& call, int type) {
    m_emit(
        StrFormat("CALL:0,%d;2,%d;3,%d;4,%s;5,%s", type, call.port, call.id, call.local.c_str(), call.remote.c_str()));
}

void CSimCallModel::SetState(CSimCall& call, int state, int reportType) {
    call.state = state;
    m_note(StrFormat("call %d port %d state %d", call.id, call.port, state));
    Report(call, reportType);
}

void CSimCallModel::Remove(int id) {
    auto it = std::find_if(m_calls.begin(), m_calls.end(), [id](const CSimCall& c) { return c.id == id; });
    if (it != m_calls.end()) {
        CSimCall call = *it;
        m_calls.erase(it);
        m_note(StrFormat("call %d port %d disconnected", call.id, call.port));
        Report(call, kReportDisconnected);
    }
}

void CSimCallModel::Audio(int port, const std::string& field) {
    m_emit(StrFormat("AUD:2,%d;%s", port, field.c_str()));
}

std::string CSimCallModel::Ring(int port, const std::string& remote, const std::string& local) {
    if (auto err = CheckPort(port); !err.empty()) {
        return err;
    }
    if (!DigitsOnly(remote) || !DigitsOnly(local)) {
        return "numbers must be digits";
    }
    bool busy = std::any_of(m_calls.begin(), m_calls.end(), [port](const CSimCall& c) { return c.port == port; });
    if (busy) {
        if ((m_callWaiting & (1 << (port - 1))) == 0) {
            return StrFormat("port %d busy and call waiting is off", port);
        }
        if (FindInState(port, {SCS_Offering}) != nullptr) {
            return StrFormat("a call is already offered on port %d", port);
        }
    }
    CSimCall call;
    call.id = m_nextId++;
    call.port = port;
    call.remote = remote;
    call.local = local;
    m_calls.push_back(call);
    SetState(m_calls.back(), SCS_Offering, SCS_Offering);
    return "";
}

std::string CSimCallModel::AnswerFar(int port) {
    if (auto err = CheckPort(port); !err.empty()) {
        return err;
    }
    CSimCall* call = FindInState(port, {SCS_Connecting, SCS_Forwarding});
    if (call == nullptr) {
        return StrFormat("no outgoing call connecting on port %d", port);
    }
    call->answerAt.reset();
    SetState(*call, SCS_Connected, SCS_Connected);
    return "";
}

std::string CSimCallModel::HangUpFar(int port) {
    if (auto err = CheckPort(port); !err.empty()) {
        return err;
    }
    // The call on the line first, then one on hold.
    CSimCall* call = FindInState(port, {SCS_Connected, SCS_Connecting, SCS_Forwarding, SCS_Offering});
    if (call == nullptr) {
        call = FindInState(port, {SCS_Hold});
    }
    if (call == nullptr) {
        return StrFormat("no call with a far end on port %d", port);
    }
    Remove(call->id);
    return "";
}

std::string CSimCallModel::SetHook(int port, bool offHook) {
    if (auto err = CheckPort(port); !err.empty()) {
        return err;
    }
    if (m_offHook[port - 1] == offHook) {
        return StrFormat("phone %d is already %s", port, offHook ? "off-hook" : "on-hook");
    }
    m_offHook[port - 1] = offHook;
    Audio(port, offHook ? "40,2" : "40,1");
    return "";
}

std::string CSimCallModel::OffHook(int port) {
    return SetHook(port, true);
}

std::string CSimCallModel::OnHook(int port) {
    return SetHook(port, false);
}

// A flash or a dialed digit needs the handset lifted.
std::string CSimCallModel::CheckOffHook(int port) const {
    if (auto err = CheckPort(port); !err.empty()) {
        return err;
    }
    return m_offHook[port - 1] ? "" : StrFormat("phone %d is on-hook", port);
}

std::string CSimCallModel::Flash(int port) {
    if (auto err = CheckOffHook(port); !err.empty()) {
        return err;
    }
    Audio(port, "40,3");
    return "";
}

std::string CSimCallModel::Digit(int port, char digit) {
    if (!IsDialChar(digit)) {
        return "a digit is 0-9, * or #";
    }
    if (auto err = CheckOffHook(port); !err.empty()) {
        return err;
    }
    Audio(port, std::string("42,") + digit);
    return "";
}

std::string CSimCallModel::Dtmf(int port, const std::string& digits) {
    if (auto err = CheckPort(port); !err.empty()) {
        return err;
    }
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), IsDialChar)) {
        return "digits are 0-9, * or #";
    }
    if (FindInState(port, {SCS_Connected}) == nullptr) {
        return StrFormat("no connected call on port %d", port);
    }
    for (char d : digits) {
        Audio(port, std::string("42,") + d);
    }
    return "";
}

std::string CSimCallModel::Existing(int port, const std::string& remote, const std::string& local) {
    if (auto err = CheckPort(port); !err.empty()) {
        return err;
    }
    if (!DigitsOnly(remote) || !DigitsOnly(local)) {
        return "numbers must be digits";
    }
    CSimCall call;
    call.id = m_nextId++;
    call.port = port;
    call.remote = remote;
    call.local = local;
    call.state = SCS_Connected;
    m_calls.push_back(call);
    m_offHook[port - 1] = true;
    m_note(StrFormat("call %d port %d existing", call.id, call.port));
    Report(call, kReportExisting);
    return "";
}

bool CSimCallModel::Answer(int port, int id) {
    CSimCall* call = Find(port, id);
    if (call == nullptr || call->state != SCS_Offering) {
        return false;
    }
    m_offHook[port - 1] = true;
    SetState(*call, SCS_Connected, SCS_Connected);
    return true;
}

bool CSimCallModel::HangUp(int port, int id) {
    if (Find(port, id) == nullptr) {
        return false;
    }
    Remove(id);
    return true;
}

bool CSimCallModel::Hold(int port, int id) {
    CSimCall* call = Find(port, id);
    if (call == nullptr || call->state == SCS_Offering || call->state == SCS_Hold) {
        return false;
    }
    if (call->state == SCS_Initiating) {
        // A dial tone cannot be held: the half-dialed call is dropped.
        Remove(id);
        return true;
    }
    call->answerAt.reset();
    SetState(*call, SCS_Hold, SCS_Hold);
    return true;
}

bool CSimCallModel::Retrieve(int port, int id) {
    CSimCall* call = Find(port, id);
    if (call == nullptr || call->state != SCS_Hold) {
        return false;
    }
    SetState(*call, SCS_Connected, kReportRecalled);
    return true;
}

bool CSimCallModel::NewCall(int port) {
    if (!CheckPort(port).empty() || FindInState(port, {SCS_Initiating}) != nullptr) {
        return false;
    }
    SetState(AddCall(port), SCS_Initiating, SCS_Initiating);
    return true;
}

CSimCall& CSimCallModel::AddCall(int port) {
    CSimCall call;
    call.id = m_nextId++;
    call.port = port;
    m_calls.push_back(call);
    return m_calls.back();
}

void CSimCallModel::CompleteNumber(CSimCall& call) {
    call.digitEnd.reset();
    call.remote = call.dialed;
    if (!call.remote.empty() && call.remote.back() == '#') {
        call.remote.pop_back();
    }
    if (m_config.answerDelayMs >= 0) {
        call.answerAt = m_clock() + m_config.answerDelayMs;
    }
    SetState(call, SCS_Connecting, SCS_Connecting);
}

bool CSimCallModel::DialDigit(int port, char digit, int id) {
    CSimCall* call = Find(port, id);
    if (call == nullptr) {
        return false;
    }
    switch (call->state) {
    case SCS_Initiating:
        call->dialed.push_back(digit);
        if (NumberComplete(call->dialed)) {
            CompleteNumber(*call);
        } else {
            call->digitEnd = m_clock() + m_config.digitTimeoutMs;
        }
        return true;
    case SCS_Connected:
    case SCS_Hold:
        m_note(StrFormat("call %d port %d far end hears DTMF %c", id, port, digit));
        return true;
    case SCS_Connecting:
    case SCS_Forwarding:
        return true;
    default:
        return false;
    }
}

bool CSimCallModel::DialNumber(int port, const std::string& number) {
    if (!CheckPort(port).empty() || number.empty()) {
        return false;
    }
    CSimCall* call = FindInState(port, {SCS_Initiating});
    if (call == nullptr) {
        // A dial from the desktop with the handset down: the adapter reports the call first
        // when it is connecting.
        call = &AddCall(port);
    }
    call->dialed = number;
    CompleteNumber(*call);
    return true;
}

void CSimCallModel::ReportAll() {
    for (const auto& call : m_calls) {
        Report(call, call.state == SCS_Offering || call.state == SCS_Initiating ? call.state : kReportExisting);
    }
}

void CSimCallModel::Tick() {
    std::int64_t now = m_clock();
    // Handle one due timer at a time: a state change may alter the list.
    for (bool again = true; again;) {
        again = false;
        for (auto& call : m_calls) {
            if (call.digitEnd && *call.digitEnd <= now) {
                CompleteNumber(call);
                again = true;
                break;
            }
            if (call.answerAt && *call.answerAt <= now) {
                call.answerAt.reset();
                SetState(call, SCS_Connected, SCS_Connected);
                again = true;
                break;
            }
        }
    }
}

std::optional<std::int64_t> CSimCallModel::NextDeadline() const {
    std::optional<std::int64_t> next;
    for (const auto& call : m_calls) {
        for (const auto& t : {call.digitEnd, call.answerAt}) {
            if (t && (!next || *t < *next)) {
                next = t;
            }
        }
    }
    return next;
}
