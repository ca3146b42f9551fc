// The controller's link to the network: it follows call control (ICallObserver) and hands
// each call event, call log record and change of the calls in progress to the MQTT publisher
// as the network model; it routes the broker client's messages back to the publisher, and
// carries out the Reject and Block commands of viewers for calls that are offering.
// Window thread only.
#pragma once

#include "calls/CCallControl.h"
#include "calls/ICallObserver.h"
#include "controller/IControllerPart.h"
#include "core/CSettings.h"
#include "core/Clock.h"
#include "net/CCallPublisher.h"
#include "net/MqttConfig.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

class CNetworkPart final : public IControllerPart, public ICallObserver {
public:
    struct SHooks {
        std::function<void(CMessage msg)> post;           // the controller's queue, any thread
        std::function<void(const std::string& text)> log; // trace and activity list
    };

    CNetworkPart(CCallControl& calls, const IClock& clock, SHooks hooks);
    ~CNetworkPart() override;
    CNetworkPart(const CNetworkPart&) = delete;
    CNetworkPart& operator=(const CNetworkPart&) = delete;

    // Starts, restarts or stops the publisher as the settings say (start-up, and after the
    // settings changed); nothing happens when the network settings are as before.
    void Configure(const CSettings& settings);

    // IControllerPart
    bool OnCommand(int /*id*/) override { return false; }
    bool OnMessage(CMessage& msg) override;
    void OnShutDown() override;

    // ICallObserver
    void OnCallEvent(ECallChange event, const CCall& call) override;
    void OnCallLogged(const CCallLogRecord& record) override;
    void OnCallsChanged() override;

    // "offering", "dialing", ... for a call state.
    static const char* NetStateName(int state);

private:
    SNetCall NetCall(const CCall& call) const;
    void PublishEvent(ENetCallEvent event, const CCall& call, std::string reason = {});
    void PublishState();
    void OnNetworkCommand(const SNetCommand& command);

    CCallControl& m_calls;
    const IClock& m_clock;
    SHooks m_hooks;
    std::optional<SMqttConfig> m_config; // what the running publisher was started with
    std::unique_ptr<CCallPublisher> m_publisher;
    std::optional<SNetLastCaller> m_lastCaller;
};
