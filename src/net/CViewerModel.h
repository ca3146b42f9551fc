// What a viewer on another desktop shows, from the messages of the publishers it reads
// ("<prefix>/status", "/state", "/calls", "/log"): which publisher is online, its calls in
// progress placed in four tiles as the publisher places them, the incoming calls to announce
// and the call log records as they arrive. Plain logic; the viewer window shows it.
#pragma once

#include "net/NetModel.h"

#include <array>
#include <map>
#include <optional>
#include <string>

class CViewerModel {
public:
    static constexpr int kTiles = 4;

    struct STileCall {
        std::string prefix; // the publisher's topic prefix
        SNetCall call;
        bool commands = false; // its publisher takes Reject and Block
        bool operator==(const STileCall&) const = default;
    };
    using Tiles = std::array<std::optional<STileCall>, kTiles>;

    // What one message changed.
    struct SChange {
        bool tiles = false;                    // Tiles() differs
        bool status = false;                   // a publisher went online or offline
        std::optional<SNetCallEvent> announce; // an incoming call offered: popup and notification
        std::optional<SNetLogRecord> record;   // a call log record arrived
        std::string problem;                   // why the message was not taken
    };

    SChange OnMessage(const std::string& topic, const std::string& payload, bool retained);

    // The calls of the online publishers: each in the tile its publisher shows it in when
    // that one is free, the others in the first free tiles; at most four.
    const Tiles& TileCalls() const { return m_tiles; }
    // "ringvale/pc online", one part per publisher; "" before any was heard of.
    std::string StatusText() const;
    // The command message (topic and payload) asking for the action on the call in a tile;
    // false when that call may not be asked about (none, not offering, commands off).
    bool Command(int tile, SNetCommand::EAction action, std::string& topic, std::string& payload) const;

private:
    struct SPublisher {
        bool online = false;
        SNetState state;
    };
    bool PlaceTiles();

    std::map<std::string, SPublisher> m_publishers;
    Tiles m_tiles;
};
