// A connection to an MQTT broker over libmosquitto, kept up by one thread of its own: it
// connects, runs the library's network loop (blocked in the library's wait on the socket and
// its wake-up pipe, which every publish writes to), and after a failure or a lost connection
// waits a growing delay (1 s, 2 s, 4 s ... 60 s) before it tries again. Nothing here blocks the
// caller: Publish only queues the message for that thread.
//
// The thread runs the library's loop itself instead of the library's own loop thread because
// that one ends for good after a TLS, protocol or name-lookup error, and its first connection
// attempt (with the host name lookup) runs on the caller's thread.
//
// The handlers run on the client's thread; the owner hands what they report on to its own
// thread. Trace lines (connection failures, the library's warnings) are written from the
// client's thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;

struct SMqttOptions {
    std::string host = "localhost";
    int port = 1883;
    bool tls = false;
    std::string caFile; // with TLS; empty: the system's certificate authorities
    std::string userName;
    std::string password;
    int keepAliveSeconds = 30; // also how long a broker may stay silent after the connection
    // The last will, published by the broker (retained, QoS 1) when the connection breaks.
    std::string willTopic;
    std::string willPayload;
    // Subscribed to (QoS 1) after every connect.
    std::vector<std::string> subscriptions;
    int reconnectMinSeconds = 1;
    int reconnectMaxSeconds = 60;
    bool operator==(const SMqttOptions&) const = default;
};

class CMqttClient {
public:
    struct SHandlers {
        // The connection came up (true) or went down or was refused (false); text says how.
        std::function<void(bool up, const std::string& text)> connection;
        std::function<void(const std::string& topic, const std::string& payload, bool retained)> message;
        // A diagnostic line (failed attempts, the library's errors and warnings).
        std::function<void(const std::string& text)> trace;
    };

    CMqttClient(SMqttOptions options, SHandlers handlers);
    // Stop().
    ~CMqttClient();
    CMqttClient(const CMqttClient&) = delete;
    CMqttClient& operator=(const CMqttClient&) = delete;

    // Starts the thread. False, with the reason, when the options are refused (no host, a CA
    // file that cannot be read); nothing runs then.
    bool Start(std::string& error);

    // Queues a message (QoS 0 or 1). A QoS 1 message queued while the connection is down goes
    // out after the next connect. False when the library refuses it.
    bool Publish(const std::string& topic, const std::string& payload, int qos, bool retain);

    // Publishes a last message (retained, QoS 1) when connected and waits (at most a second)
    // for the broker to acknowledge it, disconnects cleanly and waits for the thread to end.
    // Idempotent.
    void Stop(const std::string& lastTopic = {}, const std::string& lastPayload = {});

    bool Connected() const { return m_connected; }

    // How long the thread waits after the n-th failure in a row (n from 0).
    static int ReconnectDelaySeconds(int failures, int minSeconds, int maxSeconds);

private:
    void Run();
    bool Stopping() const;
    void Trace(const std::string& text) const;
    void Report(bool up, const std::string& text);
    // A failure of the current attempt: reported once per outage, kept for the trace line.
    void ReportDown(const std::string& why);
    std::string FailureText(int rc, int err) const;

    static void OnConnect(mosquitto* mosq, void* self, int rc);
    static void OnDisconnect(mosquitto* mosq, void* self, int rc);
    static void OnMessage(mosquitto* mosq, void* self, const mosquitto_message* message);
    static void OnPublish(mosquitto* mosq, void* self, int mid);
    static void OnLog(mosquitto* mosq, void* self, int level, const char* text);

    SMqttOptions m_options;
    SHandlers m_handlers;
    mosquitto* m_mosq = nullptr;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    int m_lastAcked = 0; // the id of the last message the broker acknowledged
    bool m_started = false;
    std::atomic<bool> m_connected{false};
    // Client thread only.
    std::string m_failureWhy; // why the current attempt failed ("" while it has not)
    bool m_downReported = false;
    bool m_wasUp = false; // the current attempt got connected
};
