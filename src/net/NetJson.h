// The JSON forms of the network model: what the publisher writes on its topics and what the
// viewer and the publisher read back. Writers never fail (text that is not UTF-8 is replaced);
// readers take untrusted input and return false, with the reason, for anything malformed.
#pragma once

#include "net/NetModel.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// The longest command message read; anything longer is refused unread.
inline constexpr std::size_t kMaxNetCommandBytes = 1024;
// The longest event, record or state message a viewer reads.
inline constexpr std::size_t kMaxNetMessageBytes = 256 * 1024;

std::string NetCallEventJson(const SNetCallEvent& event);
std::string NetLogRecordJson(const SNetLogRecord& record);
std::string NetStateJson(const SNetState& state);
std::string NetCommandJson(const SNetCommand& command);

// {"action":"reject"|"block","callId":<id>}; other members are ignored.
bool ParseNetCommand(const std::string& text, SNetCommand& command, std::string& why);

bool ParseNetCallEvent(const std::string& text, SNetCallEvent& event, std::string& why);
bool ParseNetLogRecord(const std::string& text, SNetLogRecord& record, std::string& why);
bool ParseNetState(const std::string& text, SNetState& state, std::string& why);

// Home Assistant's discovery messages (topic, retained payload) for the publisher with this
// topic prefix: a "Last caller" sensor and a "Line busy" binary sensor, both read from
// "<prefix>/state" and available while "<prefix>/status" is "online".
std::vector<std::pair<std::string, std::string>> HomeAssistantDiscovery(const std::string& prefix);
