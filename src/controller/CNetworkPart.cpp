#include "controller/CNetworkPart.h"

#include "core/Format.h"
#include "core/Trace.h"
#include "records/CCallLogRecord.h"

#include <utility>

CNetworkPart::CNetworkPart(CCallControl& calls, const IClock& clock, SHooks hooks)
    : m_calls(calls), m_clock(clock), m_hooks(std::move(hooks)) {}

CNetworkPart::~CNetworkPart() = default;

void CNetworkPart::Configure(const CSettings& settings) {
    std::optional<SMqttConfig> wanted;
    if (settings.m_bMqttEnabled) {
        SMqttConfig config;
        std::string why;
        if (MqttConfigFromSettings(settings, false, config, why)) {
            wanted = std::move(config);
        } else {
            m_hooks.log("Network: not publishing: " + why);
        }
    }
    if (wanted == m_config && (m_publisher != nullptr) == wanted.has_value()) {
        return;
    }
    if (m_publisher) {
        m_publisher->Stop();
        m_publisher.reset();
    }
    m_config = wanted;
    if (!wanted) {
        return;
    }
    CCallPublisher::SHooks hooks;
    hooks.post = m_hooks.post;
    hooks.log = m_hooks.log;
    hooks.trace = [](const std::string& text) { Trace(text); };
    hooks.command = [this](const SNetCommand& command) { OnNetworkCommand(command); };
    m_publisher = std::make_unique<CCallPublisher>(*wanted, std::move(hooks));
    if (!m_publisher->Start()) {
        m_publisher.reset();
        return;
    }
    PublishState();
}

bool CNetworkPart::OnMessage(CMessage& msg) {
    if (msg.id != WM_RV_NET_CONNECTION && msg.id != WM_RV_NET_MESSAGE) {
        return false;
    }
    if (m_publisher) {
        m_publisher->OnMessage(msg);
    }
    return true; // a report of a publisher that has gone is dropped
}

void CNetworkPart::OnShutDown() {
    if (m_publisher) {
        PublishState(); // the calls were dropped: none is in progress any more
        m_publisher->Stop();
        m_publisher.reset();
    }
}

const char* CNetworkPart::NetStateName(int state) {
    switch (state) {
    case CS_Offering:
        return "offering";
    case CS_Initiating:
        return "dialing";
    case CS_Connecting:
        return "connecting";
    case CS_Forwarding:
        return "forwarding";
    case CS_Connected:
        return "connected";
    case CS_Hold:
        return "held";
    case CS_Existing:
        return "existing";
    default:
        return "unknown";
    }
}

SNetCall CNetworkPart::NetCall(const CCall& call) const {
    SNetCall out;
    out.port = call.m_nPort + 1;
    out.callId = call.m_nCallId;
    out.outgoing = call.m_bOutgoing;
    out.state = NetStateName(call.m_nState);
    out.number = call.m_strRemoteNumber;
    out.name = call.m_strName;
    out.start = call.m_timeStart;
    out.tile = call.m_nTile;
    return out;
}

void CNetworkPart::PublishEvent(ENetCallEvent event, const CCall& call, std::string reason) {
    SNetCallEvent out;
    out.event = event;
    out.call = NetCall(call);
    out.time = m_clock.Now();
    out.reason = std::move(reason);
    out.answered = call.m_bConnected;
    out.duration = static_cast<std::int32_t>(call.m_timeEnd - call.m_timeStart);
    m_publisher->PublishCallEvent(out);
}

void CNetworkPart::OnCallEvent(ECallChange event, const CCall& call) {
    if (!m_publisher) {
        return;
    }
    if (!call.m_bOutgoing && (event == ECallChange::Offered || event == ECallChange::Rejected)) {
        m_lastCaller = SNetLastCaller{call.m_strName, call.m_strRemoteNumber, m_clock.Now()};
    }
    // The network's name of each change, in the order of ECallChange.
    static constexpr ENetCallEvent kNetEvents[] = {ENetCallEvent::Offered, ENetCallEvent::Connected,
                                                   ENetCallEvent::OnHold, ENetCallEvent::Disconnected,
                                                   ENetCallEvent::Rejected};
    std::string reason;
    if (event == ECallChange::Rejected) {
        reason = call.m_strRemoteNumber.empty() ? "withheld" : "ignored";
    }
    PublishEvent(kNetEvents[static_cast<int>(event)], call, std::move(reason));
    PublishState();
}

void CNetworkPart::OnCallLogged(const CCallLogRecord& record) {
    if (!m_publisher) {
        return;
    }
    SNetLogRecord out;
    out.name = record.m_strName;
    out.number = record.m_strNumber;
    out.outgoing = record.m_bOutgoing;
    out.answered = record.m_bConnected;
    out.start = record.m_timeStart;
    out.duration = record.m_spanDuration;
    out.port = record.m_nPort >= 0 ? record.m_nPort + 1 : 0;
    m_publisher->PublishLogRecord(out);
}

void CNetworkPart::OnCallsChanged() {
    if (m_publisher) {
        PublishState();
    }
}

void CNetworkPart::PublishState() {
    SNetState state;
    for (const auto& call : m_calls.Calls().Calls()) {
        state.calls.push_back(NetCall(*call));
    }
    state.commands = m_config && m_config->allowCommands;
    state.lastCaller = m_lastCaller;
    m_publisher->PublishState(state);
}

void CNetworkPart::OnNetworkCommand(const SNetCommand& command) {
    const bool block = command.action == SNetCommand::EAction::Block;
    CCall* call = m_calls.Calls().FindCallById(command.callId);
    if (call == nullptr || call->m_nState != CS_Offering || call->m_bHangUpPending) {
        m_hooks.log(StrFormat("Network command ignored (call %d is not offering): %s", command.callId,
                              block ? "block" : "reject"));
        return;
    }
    m_calls.Screening().RejectOnRequest(*call, block);
    if (m_publisher) {
        PublishEvent(ENetCallEvent::Rejected, *call, "network");
    }
}
