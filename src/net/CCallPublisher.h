// The program's calls on an MQTT broker, for viewers on other desktops and for home
// automation:
//   <prefix>/status   "online" / "offline", retained; "offline" is also the last will
//   <prefix>/calls    one JSON message per call event
//   <prefix>/log      one JSON message per call log record as it is written
//   <prefix>/state    the calls in progress, retained
//   <prefix>/command  read: Reject / Block asked for by a viewer, when the setting allows it
// and, when asked for, Home Assistant's discovery messages under homeassistant/.
//
// Everything here runs on the window thread but the broker client's own thread, whose reports
// come back through the window thread's message queue (WM_RV_NET_CONNECTION,
// WM_RV_NET_MESSAGE). Call log records written while the broker is out of reach wait in a
// bounded queue and go out after the next connect; when it is full the oldest is dropped with
// a trace line.
#pragma once

#include "core/Messages.h"
#include "net/CMqttClient.h"
#include "net/MqttConfig.h"
#include "net/NetModel.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class CCallPublisher {
public:
    static constexpr std::size_t kMaxQueuedRecords = 500;
    // The longest part of a refused command message shown in its trace line.
    static constexpr std::size_t kTracedPayloadBytes = 120;

    struct SHooks {
        std::function<void(CMessage msg)> post;             // to the window thread, from any thread
        std::function<void(const std::string& text)> log;   // trace and activity list (window thread)
        std::function<void(const std::string& text)> trace; // trace file only (any thread)
        // A well-formed command from "<prefix>/command" while commands are allowed; the owner
        // checks the call and acts (window thread).
        std::function<void(const SNetCommand& command)> command;
    };

    CCallPublisher(SMqttConfig config, SHooks hooks);
    // Stop().
    ~CCallPublisher();
    CCallPublisher(const CCallPublisher&) = delete;
    CCallPublisher& operator=(const CCallPublisher&) = delete;

    // Starts the broker client; false (logged) when it cannot start.
    bool Start();
    // Publishes "offline" (retained) and disconnects. Records still queued are lost with a
    // trace line.
    void Stop();

    void PublishCallEvent(const SNetCallEvent& event);
    void PublishLogRecord(const SNetLogRecord& record);
    // Retained; published when it differs from the last state, and again after each connect.
    void PublishState(const SNetState& state);

    // WM_RV_NET_CONNECTION and WM_RV_NET_MESSAGE; false for any other message.
    bool OnMessage(const CMessage& msg);

    bool Connected() const { return m_connected; }
    std::size_t QueuedRecords() const { return m_queue.size(); }

private:
    void OnConnection(bool up, const std::string& text);
    void OnCommandMessage(const std::string& topic, const std::string& payload, bool retained);
    void Send(const std::string& leaf, const std::string& payload, bool retain);
    void Log(const std::string& text) const;
    void Trace(const std::string& text) const;

    SMqttConfig m_config;
    SHooks m_hooks;
    std::unique_ptr<CMqttClient> m_client;
    bool m_connected = false;           // as the window thread last heard
    std::deque<std::string> m_queue;    // log records waiting for the broker, oldest first
    std::optional<std::string> m_state; // the last state published (or to publish on connect)
    bool m_statePublished = false;
};
