// A private MQTT broker for a test: the system's mosquitto program started on 127.0.0.1 on a
// free port with a configuration generated in the test's directory — a password file when
// users are given, TLS with a certificate authority and a server certificate for 127.0.0.1
// made with openssl at test time, and optionally persistence, so that a restart keeps the
// retained messages and the sessions of persistent subscribers. Never the system's broker.
//
// CMqttSubscriber is a real subscriber beside it (mosquitto_sub), whose messages a test waits
// for.
#pragma once

#include "support/ChildProcess.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

class CMosquittoBroker {
public:
    struct Options {
        std::string dir;                                        // configuration, certificates, database
        std::vector<std::pair<std::string, std::string>> users; // empty: anonymous clients allowed
        bool tls = false;
        bool persistence = false;
        int port = 0; // 0: a free port
    };

    explicit CMosquittoBroker(Options options);
    ~CMosquittoBroker();
    CMosquittoBroker(const CMosquittoBroker&) = delete;
    CMosquittoBroker& operator=(const CMosquittoBroker&) = delete;

    // Starts the broker (on the same port after a Stop) and waits until it listens.
    bool Start();
    // SIGTERM (the broker saves its database) and wait.
    void Stop();
    bool Running() const { return m_process.Started(); }

    int Port() const { return m_port; }
    // With TLS: the certificate authority that signed the broker's certificate.
    std::string CaFile() const { return m_options.dir + "/ca.crt"; }
    std::string Output() const { return m_process.Log(); }
    // Waits for a line of the broker's log, which has every packet it receives (e.g.
    // "Received PUBLISH from").
    bool WaitForLog(const std::string& text, int timeoutMs = 10000, std::size_t from = 0) {
        return m_process.WaitForLogAfter(from, text, timeoutMs);
    }

    // mosquitto_sub / mosquitto_pub arguments for this broker: host, port, CA file, first user.
    std::vector<std::string> ClientArgs() const;

    // A port on 127.0.0.1 nobody listens on right now.
    static int FreePort();
    // Makes a certificate authority <dir>/<name>.crt (and .key) and, signed by it, a certificate
    // for 127.0.0.1 in <dir>/server.crt and server.key.
    static bool MakeCertificates(const std::string& dir, const std::string& name);

private:
    bool WriteConfig();

    Options m_options;
    int m_port;
    bool m_configured = false;
    CChildProcess m_process;
};

class CMqttSubscriber {
public:
    struct SMessage {
        bool retained = false;
        std::string topic;
        std::string payload;
    };

    // Subscribes (QoS 1) to the topics with mosquitto_sub; extraArgs are added to its command
    // line (e.g. {"-c", "-i", "name"} for a persistent session). Waits until the subscription
    // is acknowledged.
    CMqttSubscriber(const CMosquittoBroker& broker, const std::vector<std::string>& topics,
                    const std::vector<std::string>& extraArgs = {});
    ~CMqttSubscriber() { m_process.Stop(); }
    bool Subscribed() const { return m_subscribed; }

    std::vector<SMessage> Messages() const;
    std::vector<SMessage> MessagesOn(const std::string& topic) const;
    // Waits until a message for which the predicate holds has arrived; returns it (an empty
    // topic after the time).
    SMessage WaitFor(const std::function<bool(const SMessage&)>& predicate, int timeoutMs = 10000);
    // Waits for a message on the topic whose payload contains the text.
    SMessage WaitFor(const std::string& topic, const std::string& text = "", int timeoutMs = 10000);

private:
    static std::vector<SMessage> Parse(const std::string& output);

    CChildProcess m_process;
    bool m_subscribed = false;
};

// Publishes one message with mosquitto_pub; true when it was delivered to the broker.
bool PublishWithClient(const CMosquittoBroker& broker, const std::string& topic, const std::string& payload,
                       bool retain = false);
