// The network settings of RV.cfg as the broker client, the publisher and the viewer use them:
// the connection, the topic prefix and what is published.
#pragma once

#include "core/CSettings.h"
#include "net/CMqttClient.h"

#include <string>

struct SMqttConfig {
    SMqttOptions client;
    // "<prefix>/status", "/calls", "/log", "/state" and "/command". A viewer whose setting is
    // empty reads every publisher's topics: "ringvale/+".
    std::string prefix;
    bool allowCommands = false;
    bool homeAssistant = false;

    std::string Topic(const char* leaf) const { return prefix + "/" + leaf; }
    bool operator==(const SMqttConfig&) const = default;
};

// True for "localhost", "ip6-localhost", 127.0.0.0/8 and ::1.
bool IsLoopbackHost(const std::string& host);

// "ringvale/<host name>", with characters that may not stand in a topic replaced by '_'.
std::string DefaultTopicPrefix();

// The configuration for the program that owns the adapter (viewer false) or for a viewer.
// False, with the reason, for settings that cannot work (a prefix with a wildcard, say).
bool MqttConfigFromSettings(const CSettings& settings, bool viewer, SMqttConfig& config, std::string& why);
