#include "net/NetJson.h"

#include <nlohmann/json.hpp>

#include <climits>

using nlohmann::json;

namespace {

std::string Dump(const json& value) {
    // Names come from files that may hold any bytes: invalid UTF-8 is replaced, never thrown.
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

json CallJson(const SNetCall& call) {
    return json{{"port", call.port},   {"callId", call.callId}, {"direction", call.outgoing ? "outgoing" : "incoming"},
                {"state", call.state}, {"number", call.number}, {"name", call.name},
                {"start", call.start}, {"tile", call.tile}};
}

// Reads the members of one JSON object; the first problem is kept in `why` and makes every
// later read fail too, so a reader checks once at the end.
class CFields {
public:
    CFields(const json& object, std::string& why) : m_object(object), m_why(why) {
        if (!m_object.is_object()) {
            Fail("not a JSON object");
        }
    }

    bool Ok() const { return m_ok; }

    void Text(const char* key, std::string& out, bool required = true) {
        if (const json* v = Find(key, required)) {
            if (v->is_string()) {
                out = v->get_ref<const std::string&>();
            } else {
                Fail(std::string("\"") + key + "\" is not a string");
            }
        }
    }

    template <typename Int> void Integer(const char* key, Int& out, std::int64_t low, std::int64_t high) {
        if (const json* v = Find(key, true)) {
            if (!v->is_number_integer()) {
                Fail(std::string("\"") + key + "\" is not an integer");
                return;
            }
            // Unsigned values beyond the signed range are out of range too.
            const bool fits = v->is_number_unsigned() ? v->get<std::uint64_t>() <= static_cast<std::uint64_t>(high)
                                                      : v->get<std::int64_t>() >= low && v->get<std::int64_t>() <= high;
            if (!fits) {
                Fail(std::string("\"") + key + "\" is out of range");
                return;
            }
            out = static_cast<Int>(v->get<std::int64_t>());
        }
    }

    void Flag(const char* key, bool& out) {
        if (const json* v = Find(key, true)) {
            if (v->is_boolean()) {
                out = v->get<bool>();
            } else {
                Fail(std::string("\"") + key + "\" is not true or false");
            }
        }
    }

    // "incoming" or "outgoing".
    void Direction(bool& outgoing) {
        std::string direction;
        Text("direction", direction);
        if (m_ok && direction != "incoming" && direction != "outgoing") {
            Fail("\"direction\" is neither incoming nor outgoing");
        }
        outgoing = direction == "outgoing";
    }

    const json* Find(const char* key, bool required) {
        if (!m_ok) {
            return nullptr;
        }
        const auto it = m_object.find(key);
        if (it == m_object.end()) {
            if (required) {
                Fail(std::string("no \"") + key + "\"");
            }
            return nullptr;
        }
        return &*it;
    }

    void Fail(std::string why) {
        if (m_ok) {
            m_ok = false;
            m_why = std::move(why);
        }
    }

private:
    const json& m_object;
    std::string& m_why;
    bool m_ok = true;
};

// Parses the text (refused unread beyond the limit) and hands its members to read; true when
// both went well.
template <typename Read> bool ParseObject(const std::string& text, std::size_t limit, std::string& why, Read read) {
    if (text.size() > limit) {
        why = "longer than " + std::to_string(limit) + " bytes";
        return false;
    }
    const json root = json::parse(text, nullptr, false);
    if (root.is_discarded()) {
        why = "not JSON";
        return false;
    }
    CFields fields(root, why);
    read(fields);
    return fields.Ok();
}

void ReadCall(CFields& fields, SNetCall& call) {
    fields.Integer("port", call.port, 1, 2);
    fields.Integer("callId", call.callId, 0, INT_MAX);
    fields.Direction(call.outgoing);
    fields.Text("number", call.number);
    fields.Text("name", call.name);
}

void ReadCallEvent(CFields& fields, SNetCallEvent& event) {
    std::string name;
    fields.Text("event", name);
    bool known = false;
    for (const ENetCallEvent e : {ENetCallEvent::Offered, ENetCallEvent::Connected, ENetCallEvent::OnHold,
                                  ENetCallEvent::Disconnected, ENetCallEvent::Rejected}) {
        if (name == NetCallEventName(e)) {
            event.event = e;
            known = true;
        }
    }
    if (fields.Ok() && !known) {
        fields.Fail("unknown event \"" + name + "\"");
    }
    ReadCall(fields, event.call);
    fields.Integer("time", event.time, INT64_MIN, INT64_MAX);
    event.call.start = event.time;
    if (event.event == ENetCallEvent::Disconnected) {
        fields.Flag("answered", event.answered);
        fields.Integer("duration", event.duration, INT32_MIN, INT32_MAX);
    }
    if (event.event == ENetCallEvent::Rejected) {
        fields.Text("reason", event.reason, false);
    }
}

// A member that is itself an object: read by `read`; its problem becomes the message's.
template <typename Read> bool ReadInner(CFields& outer, const json& object, std::string& why, Read read) {
    CFields inner(object, why);
    read(inner);
    if (!inner.Ok()) {
        outer.Fail(std::string(why));
    }
    return inner.Ok();
}

void ReadState(CFields& fields, SNetState& state, std::string& why) {
    fields.Flag("commands", state.commands);
    if (const json* calls = fields.Find("calls", true)) {
        if (!calls->is_array()) {
            fields.Fail("\"calls\" is not a list");
            return;
        }
        for (const json& item : *calls) {
            SNetCall call;
            const bool ok = ReadInner(fields, item, why, [&](CFields& callFields) {
                ReadCall(callFields, call);
                callFields.Text("state", call.state);
                callFields.Integer("start", call.start, INT64_MIN, INT64_MAX);
                callFields.Integer("tile", call.tile, -1, 3);
            });
            if (!ok) {
                return;
            }
            state.calls.push_back(std::move(call));
        }
    }
    if (const json* last = fields.Find("lastCaller", false); last != nullptr && !last->is_null()) {
        SNetLastCaller caller;
        if (ReadInner(fields, *last, why, [&](CFields& lastFields) {
                lastFields.Text("name", caller.name);
                lastFields.Text("number", caller.number);
                lastFields.Integer("time", caller.time, INT64_MIN, INT64_MAX);
            })) {
            state.lastCaller = std::move(caller);
        }
    }
}

} // namespace

const char* NetCallEventName(ENetCallEvent event) {
    switch (event) {
    case ENetCallEvent::Offered:
        return "offered";
    case ENetCallEvent::Connected:
        return "connected";
    case ENetCallEvent::OnHold:
        return "held";
    case ENetCallEvent::Disconnected:
        return "disconnected";
    case ENetCallEvent::Rejected:
        return "rejected";
    }
    return "?";
}

std::string NetCallEventJson(const SNetCallEvent& event) {
    json out{{"event", NetCallEventName(event.event)},
             {"port", event.call.port},
             {"callId", event.call.callId},
             {"direction", event.call.outgoing ? "outgoing" : "incoming"},
             {"number", event.call.number},
             {"name", event.call.name},
             {"time", event.time}};
    if (event.event == ENetCallEvent::Disconnected) {
        out["answered"] = event.answered;
        out["duration"] = event.duration;
    }
    if (event.event == ENetCallEvent::Rejected) {
        out["reason"] = event.reason;
    }
    return Dump(out);
}

std::string NetLogRecordJson(const SNetLogRecord& record) {
    return Dump(json{{"name", record.name},
                     {"number", record.number},
                     {"direction", record.outgoing ? "outgoing" : "incoming"},
                     {"answered", record.answered},
                     {"start", record.start},
                     {"duration", record.duration},
                     {"port", record.port == 0 ? json(nullptr) : json(record.port)}});
}

std::string NetStateJson(const SNetState& state) {
    json calls = json::array();
    for (const SNetCall& call : state.calls) {
        calls.push_back(CallJson(call));
    }
    json last = nullptr;
    if (state.lastCaller) {
        last = json{
            {"name", state.lastCaller->name}, {"number", state.lastCaller->number}, {"time", state.lastCaller->time}};
    }
    return Dump(
        json{{"calls", std::move(calls)}, {"busy", state.Busy()}, {"commands", state.commands}, {"lastCaller", last}});
}

std::string NetCommandJson(const SNetCommand& command) {
    return Dump(json{{"action", command.action == SNetCommand::EAction::Block ? "block" : "reject"},
                     {"callId", command.callId}});
}

bool ParseNetCommand(const std::string& text, SNetCommand& command, std::string& why) {
    return ParseObject(text, kMaxNetCommandBytes, why, [&](CFields& fields) {
        std::string action;
        fields.Text("action", action);
        fields.Integer("callId", command.callId, 0, INT_MAX);
        if (fields.Ok() && action != "reject" && action != "block") {
            fields.Fail("unknown action \"" + action + "\"");
        }
        command.action = action == "block" ? SNetCommand::EAction::Block : SNetCommand::EAction::Reject;
    });
}

bool ParseNetCallEvent(const std::string& text, SNetCallEvent& event, std::string& why) {
    return ParseObject(text, kMaxNetMessageBytes, why, [&](CFields& fields) { ReadCallEvent(fields, event); });
}

bool ParseNetLogRecord(const std::string& text, SNetLogRecord& record, std::string& why) {
    return ParseObject(text, kMaxNetMessageBytes, why, [&](CFields& fields) {
        fields.Text("name", record.name);
        fields.Text("number", record.number);
        fields.Direction(record.outgoing);
        fields.Flag("answered", record.answered);
        fields.Integer("start", record.start, INT64_MIN, INT64_MAX);
        fields.Integer("duration", record.duration, INT32_MIN, INT32_MAX);
        record.port = 0;
        if (const json* port = fields.Find("port", false); port != nullptr && !port->is_null()) {
            fields.Integer("port", record.port, 1, 2);
        }
    });
}

bool ParseNetState(const std::string& text, SNetState& state, std::string& why) {
    state = SNetState{};
    return ParseObject(text, kMaxNetMessageBytes, why, [&](CFields& fields) { ReadState(fields, state, why); });
}

std::vector<std::pair<std::string, std::string>> HomeAssistantDiscovery(const std::string& prefix) {
    std::string node = prefix;
    for (char& c : node) {
        const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alnum) {
            c = '_';
        }
    }
    const json device{{"identifiers", json::array({node})},
                      {"name", "Ringvale " + prefix},
                      {"manufacturer", "Ringvale"},
                      {"model", "ISDN call console"}};
    const std::string state = prefix + "/state";
    const std::string status = prefix + "/status";
    json lastCaller{{"name", "Last caller"},
                    {"unique_id", node + "_last_caller"},
                    {"state_topic", state},
                    {"value_template", "{{ value_json.lastCaller.name if value_json.lastCaller else '' }}"},
                    {"json_attributes_topic", state},
                    {"json_attributes_template", "{{ (value_json.lastCaller or {}) | tojson }}"},
                    {"availability_topic", status},
                    {"icon", "mdi:phone-incoming"},
                    {"device", device}};
    json lineBusy{{"name", "Line busy"},
                  {"unique_id", node + "_line_busy"},
                  {"state_topic", state},
                  {"value_template", "{{ 'ON' if value_json.busy else 'OFF' }}"},
                  {"availability_topic", status},
                  {"icon", "mdi:phone-in-talk"},
                  {"device", device}};
    return {{"homeassistant/sensor/" + node + "/last_caller/config", Dump(lastCaller)},
            {"homeassistant/binary_sensor/" + node + "/line_busy/config", Dump(lineBusy)}};
}
