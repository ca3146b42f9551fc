#include "net/CCallPublisher.h"

#include "core/Format.h"
#include "net/NetJson.h"

#include <utility>

CCallPublisher::CCallPublisher(SMqttConfig config, SHooks hooks)
    : m_config(std::move(config)), m_hooks(std::move(hooks)) {}

CCallPublisher::~CCallPublisher() {
    Stop();
}

bool CCallPublisher::Start() {
    if (m_client) {
        return true;
    }
    CMqttClient::SHandlers handlers;
    handlers.connection = [this](bool up, const std::string& text) {
        m_hooks.post(CMessage::WithText(WM_RV_NET_CONNECTION, text, up ? 1 : 0));
    };
    handlers.message = [this](const std::string& topic, const std::string& payload, bool retained) {
        CMessage msg = CMessage::WithText(WM_RV_NET_MESSAGE, payload, retained ? 1 : 0);
        msg.object = topic;
        m_hooks.post(std::move(msg));
    };
    handlers.trace = [this](const std::string& text) { Trace(text); };
    auto client = std::make_unique<CMqttClient>(m_config.client, std::move(handlers));
    std::string why;
    if (!client->Start(why)) {
        Log("Network: cannot publish to the broker: " + why);
        return false;
    }
    m_client = std::move(client);
    Log(StrFormat("Network: publishing to %s:%d%s as %s", m_config.client.host.c_str(), m_config.client.port,
                  m_config.client.tls ? " (TLS)" : "", m_config.prefix.c_str()));
    return true;
}

void CCallPublisher::Stop() {
    if (!m_client) {
        return;
    }
    if (!m_queue.empty()) {
        Trace(StrFormat("MQTT: %zu call log records never reached the broker", m_queue.size()));
        m_queue.clear();
    }
    m_client->Stop(m_config.Topic("status"), "offline");
    m_client.reset();
    m_connected = false;
}

void CCallPublisher::Send(const std::string& leaf, const std::string& payload, bool retain) {
    const std::string topic = m_config.Topic(leaf.c_str());
    if (!m_client->Publish(topic, payload, 1, retain)) {
        Trace("MQTT: the library refused the message on " + topic);
    }
}

void CCallPublisher::PublishCallEvent(const SNetCallEvent& event) {
    if (!m_client) {
        return;
    }
    if (!m_connected) {
        // A viewer that connects later learns the calls in progress from the retained state.
        Trace(StrFormat("MQTT: not connected; call %d %s not published", event.call.callId,
                        NetCallEventName(event.event)));
        return;
    }
    Send("calls", NetCallEventJson(event), false);
}

void CCallPublisher::PublishLogRecord(const SNetLogRecord& record) {
    if (!m_client) {
        return;
    }
    std::string payload = NetLogRecordJson(record);
    if (m_connected) {
        Send("log", payload, false);
        return;
    }
    if (m_queue.size() >= kMaxQueuedRecords) {
        Trace("MQTT: queue full; the oldest call log record was dropped: " + m_queue.front());
        m_queue.pop_front();
    }
    m_queue.push_back(std::move(payload));
}

void CCallPublisher::PublishState(const SNetState& state) {
    if (!m_client) {
        return;
    }
    std::string payload = NetStateJson(state);
    if (m_state == payload && m_statePublished) {
        return;
    }
    m_state = std::move(payload);
    m_statePublished = m_connected;
    if (m_connected) {
        Send("state", *m_state, true);
    }
}

bool CCallPublisher::OnMessage(const CMessage& msg) {
    switch (msg.id) {
    case WM_RV_NET_CONNECTION:
        OnConnection(msg.wParam != 0, msg.text);
        return true;
    case WM_RV_NET_MESSAGE: {
        const auto* topic = std::any_cast<std::string>(&msg.object);
        OnCommandMessage(topic != nullptr ? *topic : std::string(), msg.text, msg.wParam != 0);
        return true;
    }
    default:
        return false;
    }
}

void CCallPublisher::OnConnection(bool up, const std::string& text) {
    if (!m_client) {
        return; // a report that was queued before Stop
    }
    if (!up) {
        if (m_connected) {
            Log("Network: lost the broker (" + text + "); reconnecting");
        } else {
            Log("Network: cannot reach the broker (" + text + "); trying again");
        }
        m_connected = false;
        return;
    }
    m_connected = true;
    Log("Network: " + text);
    Send("status", "online", true);
    if (m_config.homeAssistant) {
        for (const auto& [topic, payload] : HomeAssistantDiscovery(m_config.prefix)) {
            if (!m_client->Publish(topic, payload, 1, true)) {
                Trace("MQTT: the library refused the message on " + topic);
            }
        }
    }
    if (m_state) {
        Send("state", *m_state, true);
        m_statePublished = true;
    }
    if (!m_queue.empty()) {
        Trace(StrFormat("MQTT: sending %zu call log records that waited for the broker", m_queue.size()));
    }
    while (!m_queue.empty()) {
        Send("log", m_queue.front(), false);
        m_queue.pop_front();
    }
}

void CCallPublisher::OnCommandMessage(const std::string& topic, const std::string& payload, bool retained) {
    std::string shown = payload.substr(0, kTracedPayloadBytes);
    if (payload.size() > kTracedPayloadBytes) {
        shown += "...";
    }
    const auto refuse = [&](const std::string& why) { Log("Network command ignored (" + why + "): " + shown); };
    if (topic != m_config.Topic("command")) {
        Trace("MQTT: message on an unexpected topic ignored: " + topic);
        return;
    }
    if (retained) {
        refuse("retained message");
        return;
    }
    if (!m_config.allowCommands) {
        refuse("commands from the network are off");
        return;
    }
    SNetCommand command;
    std::string why;
    if (!ParseNetCommand(payload, command, why)) {
        refuse(why);
        return;
    }
    if (m_hooks.command) {
        m_hooks.command(command);
    }
}

void CCallPublisher::Log(const std::string& text) const {
    if (m_hooks.log) {
        m_hooks.log(text);
    }
}

void CCallPublisher::Trace(const std::string& text) const {
    if (m_hooks.trace) {
        m_hooks.trace(text);
    }
}
