// What the program tells the network about its calls, and what a viewer may ask of it: plain
// values, independent of the call state machine, so that the publisher, the viewer and their
// JSON forms share one model. Ports are 1 and 2 ("Phone 1", "Phone 2"); times are seconds since
// 1970 UTC.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One call in progress.
struct SNetCall {
    int port = 1;
    int callId = 0;
    bool outgoing = false;
    // "offering", "dialing", "connecting", "forwarding", "connected", "held" or "existing".
    std::string state;
    std::string number; // empty when the caller sent none
    std::string name;
    std::int64_t start = 0; // offered or dialed; the moment it connected once it has
    int tile = -1;          // 0..3 on the main window, -1 when in none
    bool operator==(const SNetCall&) const = default;
};

enum class ENetCallEvent { Offered, Connected, OnHold, Disconnected, Rejected };

// "offered", "connected", "held", "disconnected", "rejected".
const char* NetCallEventName(ENetCallEvent event);

// One event of a call, published as it happens.
struct SNetCallEvent {
    ENetCallEvent event = ENetCallEvent::Offered;
    SNetCall call;
    std::int64_t time = 0;
    // Rejected: "withheld" (no number sent), "ignored" (marked in the phone book) or
    // "network" (a viewer asked for it).
    std::string reason;
    // Disconnected: whether it was answered, and its length in seconds from connect or offer.
    bool answered = false;
    std::int32_t duration = 0;
    bool operator==(const SNetCallEvent&) const = default;
};

// One call log record as it is written.
struct SNetLogRecord {
    std::string name;
    std::string number;
    bool outgoing = false;
    bool answered = false;
    std::int64_t start = 0;
    std::int32_t duration = 0;
    int port = 0; // 1, 2, or 0 when the record has none
    bool operator==(const SNetLogRecord&) const = default;
};

struct SNetLastCaller {
    std::string name;
    std::string number;
    std::int64_t time = 0;
    bool operator==(const SNetLastCaller&) const = default;
};

// Everything in progress, published retained so that a viewer that starts mid-call sees it.
struct SNetState {
    std::vector<SNetCall> calls;
    bool commands = false; // viewers may ask for Reject and Block
    std::optional<SNetLastCaller> lastCaller;
    bool Busy() const { return !calls.empty(); }
    bool operator==(const SNetState&) const = default;
};

// What a viewer may ask for an offered call.
struct SNetCommand {
    enum class EAction { Reject, Block };
    EAction action = EAction::Reject;
    int callId = 0;
    bool operator==(const SNetCommand&) const = default;
};
