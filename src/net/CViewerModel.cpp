#include "net/CViewerModel.h"

#include "net/NetJson.h"

CViewerModel::SChange CViewerModel::OnMessage(const std::string& topic, const std::string& payload, bool retained) {
    SChange change;
    const std::size_t slash = topic.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        change.problem = "a message on " + topic + " was ignored";
        return change;
    }
    const std::string prefix = topic.substr(0, slash);
    const std::string leaf = topic.substr(slash + 1);
    std::string why;
    if (leaf == "status") {
        if (payload != "online" && payload != "offline") {
            change.problem = "status \"" + payload.substr(0, 40) + "\" of " + prefix + " was ignored";
            return change;
        }
        SPublisher& publisher = m_publishers[prefix];
        change.status = publisher.online != (payload == "online");
        publisher.online = payload == "online";
    } else if (leaf == "state") {
        SNetState state;
        if (!ParseNetState(payload, state, why)) {
            change.problem = "the state of " + prefix + " was ignored: " + why;
            return change;
        }
        m_publishers[prefix].state = std::move(state);
    } else if (leaf == "calls") {
        SNetCallEvent event;
        if (!ParseNetCallEvent(payload, event, why)) {
            change.problem = "a call event of " + prefix + " was ignored: " + why;
            return change;
        }
        if (event.event == ENetCallEvent::Offered && !event.call.outgoing && !retained) {
            change.announce = std::move(event);
        }
    } else if (leaf == "log") {
        SNetLogRecord record;
        if (!ParseNetLogRecord(payload, record, why)) {
            change.problem = "a call log record of " + prefix + " was ignored: " + why;
            return change;
        }
        change.record = std::move(record);
    } else {
        return change; // a topic of a later version
    }
    change.tiles = PlaceTiles();
    return change;
}

bool CViewerModel::PlaceTiles() {
    Tiles tiles;
    std::vector<STileCall> unplaced;
    for (const auto& [prefix, publisher] : m_publishers) {
        if (!publisher.online) {
            continue; // a publisher that went away left its retained state behind: stale
        }
        for (const SNetCall& call : publisher.state.calls) {
            STileCall shown{prefix, call, publisher.state.commands};
            if (call.tile >= 0 && call.tile < kTiles && !tiles[static_cast<std::size_t>(call.tile)]) {
                tiles[static_cast<std::size_t>(call.tile)] = std::move(shown);
            } else {
                unplaced.push_back(std::move(shown));
            }
        }
    }
    for (STileCall& call : unplaced) {
        for (auto& tile : tiles) {
            if (!tile) {
                tile = std::move(call);
                break;
            }
        }
    }
    if (tiles == m_tiles) {
        return false;
    }
    m_tiles = std::move(tiles);
    return true;
}

std::string CViewerModel::StatusText() const {
    std::string text;
    for (const auto& [prefix, publisher] : m_publishers) {
        text += (text.empty() ? "" : ", ") + prefix + (publisher.online ? " online" : " offline");
    }
    return text;
}

bool CViewerModel::Command(int tile, SNetCommand::EAction action, std::string& topic, std::string& payload) const {
    if (tile < 0 || tile >= kTiles || !m_tiles[static_cast<std::size_t>(tile)]) {
        return false;
    }
    const STileCall& shown = *m_tiles[static_cast<std::size_t>(tile)];
    if (!shown.commands || shown.call.state != "offering" || shown.call.outgoing) {
        return false;
    }
    topic = shown.prefix + "/command";
    payload = NetCommandJson(SNetCommand{action, shown.call.callId});
    return true;
}
