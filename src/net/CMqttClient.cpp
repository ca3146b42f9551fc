#include "net/CMqttClient.h"

#include "core/Format.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <unistd.h>

namespace {

void InitLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

const char* NullIfEmpty(const std::string& text) {
    return text.empty() ? nullptr : text.c_str();
}

constexpr const char* kSystemCaPath = "/etc/ssl/certs";

} // namespace

CMqttClient::CMqttClient(SMqttOptions options, SHandlers handlers)
    : m_options(std::move(options)), m_handlers(std::move(handlers)) {}

CMqttClient::~CMqttClient() {
    Stop();
    if (m_mosq != nullptr) {
        mosquitto_destroy(m_mosq);
    }
}

int CMqttClient::ReconnectDelaySeconds(int failures, int minSeconds, int maxSeconds) {
    int delay = std::max(minSeconds, 1);
    for (int i = 0; i < failures && delay < maxSeconds; ++i) {
        delay *= 2;
    }
    return std::min(delay, std::max(maxSeconds, 1));
}

bool CMqttClient::Start(std::string& error) {
    if (m_started) {
        return true;
    }
    if (m_options.host.empty()) {
        error = "no broker host is set";
        return false;
    }
    if (m_options.port < 1 || m_options.port > 65535) {
        error = StrFormat("%d is not a port number", m_options.port);
        return false;
    }
    InitLibraryOnce();
    m_mosq = mosquitto_new(nullptr, true, this);
    if (m_mosq == nullptr) {
        error = "the MQTT library could not create a client";
        return false;
    }
    // The loop runs on this object's thread; Publish from other threads only queues and wakes it.
    mosquitto_threaded_set(m_mosq, true);
    mosquitto_connect_callback_set(m_mosq, &CMqttClient::OnConnect);
    mosquitto_disconnect_callback_set(m_mosq, &CMqttClient::OnDisconnect);
    mosquitto_message_callback_set(m_mosq, &CMqttClient::OnMessage);
    mosquitto_publish_callback_set(m_mosq, &CMqttClient::OnPublish);
    mosquitto_log_callback_set(m_mosq, &CMqttClient::OnLog);
    if (!m_options.userName.empty() && mosquitto_username_pw_set(m_mosq, m_options.userName.c_str(),
                                                                 NullIfEmpty(m_options.password)) != MOSQ_ERR_SUCCESS) {
        error = "the user name was refused";
        return false;
    }
    if (!m_options.willTopic.empty() &&
        mosquitto_will_set(m_mosq, m_options.willTopic.c_str(), static_cast<int>(m_options.willPayload.size()),
                           m_options.willPayload.data(), 1, true) != MOSQ_ERR_SUCCESS) {
        error = "the last-will topic \"" + m_options.willTopic + "\" was refused";
        return false;
    }
    if (m_options.tls) {
        if (!m_options.caFile.empty() && ::access(m_options.caFile.c_str(), R_OK) != 0) {
            error = "the CA file " + m_options.caFile + " cannot be read: " + std::strerror(errno);
            return false;
        }
        const int rc = mosquitto_tls_set(m_mosq, NullIfEmpty(m_options.caFile),
                                         m_options.caFile.empty() ? kSystemCaPath : nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            error = std::string("TLS could not be set up: ") + mosquitto_strerror(rc);
            return false;
        }
    }
    m_started = true;
    m_thread = std::thread([this] { Run(); });
    return true;
}

bool CMqttClient::Publish(const std::string& topic, const std::string& payload, int qos, bool retain) {
    if (m_mosq == nullptr || Stopping()) {
        return false;
    }
    const int rc = mosquitto_publish(m_mosq, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                                     qos, retain);
    // A QoS 1 message stays queued in the library while the connection is down.
    return rc == MOSQ_ERR_SUCCESS || (rc == MOSQ_ERR_NO_CONN && qos > 0);
}

void CMqttClient::Stop(const std::string& lastTopic, const std::string& lastPayload) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping || !m_started) {
            m_stopping = true;
            return;
        }
    }
    int mid = 0;
    if (m_connected && !lastTopic.empty() &&
        mosquitto_publish(m_mosq, &mid, lastTopic.c_str(), static_cast<int>(lastPayload.size()), lastPayload.data(), 1,
                          true) == MOSQ_ERR_SUCCESS) {
        // The broker acknowledges messages in order: once it has this one, it has taken
        // everything before it, and nothing is left unread on the socket when the library
        // closes it after the disconnect (unread data would turn the close into a reset, which
        // can cost the broker the last messages). A broker that does not answer is not waited
        // for longer than a second.
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_for(lock, std::chrono::seconds(1), [&] { return m_lastAcked == mid || !m_connected; });
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    // Queued after everything published so far; the loop writes it, closes the socket and
    // returns. A connection still being set up is closed the same way.
    mosquitto_disconnect(m_mosq);
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_connected = false;
}

bool CMqttClient::Stopping() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stopping;
}

void CMqttClient::Trace(const std::string& text) const {
    if (m_handlers.trace) {
        m_handlers.trace(text);
    }
}

void CMqttClient::Report(bool up, const std::string& text) {
    if (m_handlers.connection) {
        m_handlers.connection(up, text);
    }
}

std::string CMqttClient::FailureText(int rc, int err) const {
    switch (rc) {
    case MOSQ_ERR_ERRNO:
        return std::strerror(err);
    case MOSQ_ERR_KEEPALIVE:
        return StrFormat("the broker did not answer within %d s", m_options.keepAliveSeconds);
    case MOSQ_ERR_EAI:
        return "the host name " + m_options.host + " could not be looked up";
    case MOSQ_ERR_NO_CONN:
    case MOSQ_ERR_CONN_LOST:
        return "the connection was lost";
    default:
        return mosquitto_strerror(rc);
    }
}

void CMqttClient::ReportDown(const std::string& why) {
    m_failureWhy = why;
    if (!m_downReported) {
        m_downReported = true;
        Report(false, why);
    }
}

void CMqttClient::Run() {
    int failures = 0;
    while (!Stopping()) {
        m_failureWhy.clear();
        m_wasUp = false;
        errno = 0;
        int rc = mosquitto_connect_async(m_mosq, m_options.host.c_str(), m_options.port, m_options.keepAliveSeconds);
        int err = errno;
        // The library's wait ends on traffic, on a publish from another thread (its wake-up
        // pipe) and when the next keep-alive message is due. Once Stop has asked, the loop goes
        // on (for at most a second) until the last message and the disconnect are out and the
        // library has closed the socket.
        std::optional<std::chrono::steady_clock::time_point> stopBy;
        while (rc == MOSQ_ERR_SUCCESS) {
            int timeoutMs = m_options.keepAliveSeconds * 1000;
            if (Stopping()) {
                const auto now = std::chrono::steady_clock::now();
                stopBy = stopBy.value_or(now + std::chrono::seconds(1));
                if (now >= *stopBy) {
                    break;
                }
                timeoutMs =
                    static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(*stopBy - now).count() + 1);
            }
            errno = 0;
            rc = mosquitto_loop(m_mosq, timeoutMs, 1);
            err = errno;
        }
        if (Stopping()) {
            break;
        }
        m_connected = false;
        if (m_wasUp) {
            failures = 0;
        }
        if (m_failureWhy.empty()) {
            ReportDown(FailureText(rc, err));
        }
        const int delay =
            ReconnectDelaySeconds(failures++, m_options.reconnectMinSeconds, m_options.reconnectMaxSeconds);
        Trace(StrFormat("MQTT: %s:%d: %s; next attempt in %d s", m_options.host.c_str(), m_options.port,
                        m_failureWhy.c_str(), delay));
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_for(lock, std::chrono::seconds(delay), [this] { return m_stopping; });
    }
    m_connected = false;
}

void CMqttClient::OnConnect(mosquitto* mosq, void* self, int rc) {
    auto& client = *static_cast<CMqttClient*>(self);
    if (rc != 0) {
        // Refused (a bad user name or password, not authorised): the loop ends and retries.
        client.ReportDown(std::string("refused: ") + mosquitto_connack_string(rc));
        return;
    }
    client.m_wasUp = true;
    client.m_downReported = false;
    client.m_connected = true;
    for (const std::string& topic : client.m_options.subscriptions) {
        mosquitto_subscribe(mosq, nullptr, topic.c_str(), 1);
    }
    client.Report(true, StrFormat("connected to %s:%d", client.m_options.host.c_str(), client.m_options.port));
}

void CMqttClient::OnDisconnect(mosquitto* /*mosq*/, void* self, int rc) {
    auto& client = *static_cast<CMqttClient*>(self);
    if (rc == 0 || client.Stopping()) {
        return; // our own disconnect
    }
    client.m_connected = false;
    client.m_wake.notify_all(); // a Stop waiting for an acknowledgement
    client.ReportDown(client.FailureText(rc, errno));
}

void CMqttClient::OnPublish(mosquitto* /*mosq*/, void* self, int mid) {
    auto& client = *static_cast<CMqttClient*>(self);
    {
        std::lock_guard<std::mutex> lock(client.m_mutex);
        client.m_lastAcked = mid;
    }
    client.m_wake.notify_all();
}

void CMqttClient::OnMessage(mosquitto* /*mosq*/, void* self, const mosquitto_message* message) {
    auto& client = *static_cast<CMqttClient*>(self);
    if (client.m_handlers.message && message != nullptr && message->topic != nullptr) {
        const char* payload = static_cast<const char*>(message->payload);
        client.m_handlers.message(
            message->topic,
            payload != nullptr ? std::string(payload, static_cast<std::size_t>(message->payloadlen)) : std::string(),
            message->retain);
    }
}

void CMqttClient::OnLog(mosquitto* /*mosq*/, void* self, int level, const char* text) {
    if ((level & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING)) != 0 && text != nullptr) {
        static_cast<CMqttClient*>(self)->Trace(std::string("MQTT: ") + text);
    }
}
