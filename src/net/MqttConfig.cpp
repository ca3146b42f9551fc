#include "net/MqttConfig.h"

#include "core/Format.h"

#include <arpa/inet.h>
#include <climits>
#include <unistd.h>

bool IsLoopbackHost(const std::string& host) {
    if (host == "localhost" || host == "ip6-localhost" || host == "::1") {
        return true;
    }
    in_addr address{};
    return ::inet_pton(AF_INET, host.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

std::string DefaultTopicPrefix() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "ringvale/ringvale";
    }
    std::string host = name;
    for (char& c : host) {
        if (c == '+' || c == '#' || c == '/' || c < 0x21 || c > 0x7E) {
            c = '_';
        }
    }
    return "ringvale/" + host;
}

bool MqttConfigFromSettings(const CSettings& settings, bool viewer, SMqttConfig& config, std::string& why) {
    config = SMqttConfig{};
    config.client.host = Trim(settings.m_strMqttHost);
    config.client.port = settings.m_nMqttPort;
    config.client.tls = settings.m_eMqttTls == EMqttTls::On ||
                        (settings.m_eMqttTls == EMqttTls::Auto && !IsLoopbackHost(config.client.host));
    config.client.caFile = settings.m_strMqttCAFile;
    config.client.userName = settings.m_strMqttUserName;
    config.client.password = settings.m_strMqttPassword;
    config.allowCommands = settings.m_bMqttAllowCommands;
    config.homeAssistant = settings.m_bMqttHomeAssistant;

    std::string prefix = Trim(settings.m_strMqttTopicPrefix);
    while (!prefix.empty() && prefix.back() == '/') {
        prefix.pop_back();
    }
    if (prefix.empty()) {
        prefix = viewer ? "ringvale/+" : DefaultTopicPrefix();
    } else if (prefix.find_first_of("+#") != std::string::npos || prefix.front() == '$') {
        why = "the topic prefix \"" + prefix + "\" may not contain + or # nor begin with $";
        return false;
    }
    config.prefix = prefix;
    if (!viewer) {
        config.client.willTopic = config.Topic("status");
        config.client.willPayload = "offline";
        config.client.subscriptions = {config.Topic("command")};
    } else {
        for (const char* leaf : {"status", "state", "calls", "log"}) {
            config.client.subscriptions.push_back(config.Topic(leaf));
        }
    }
    if (config.client.host.empty()) {
        why = "no broker host is set";
        return false;
    }
    return true;
}
