// The network messages a broker may hand the program or a viewer: command messages and the
// publishers' events, records and states, arbitrary bytes each. Whatever a reader takes must
// be written back and read again unchanged; the viewer's model takes all of it on any topic.
#include "net/CViewerModel.h"
#include "net/NetJson.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

template <typename T, typename Parse, typename Write>
void RoundTrip(const std::string& text, Parse parse, Write write) {
    T value;
    std::string why;
    if (!parse(text, value, why)) {
        if (why.empty()) {
            std::abort(); // a refusal always says why
        }
        return;
    }
    T again;
    if (!parse(write(value), again, why) || !(again == value)) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    RoundTrip<SNetCommand>(text, ParseNetCommand, NetCommandJson);
    RoundTrip<SNetLogRecord>(text, ParseNetLogRecord, NetLogRecordJson);
    RoundTrip<SNetState>(text, ParseNetState, NetStateJson);
    SNetCallEvent event;
    std::string why;
    (void)ParseNetCallEvent(text, event, why);

    CViewerModel model;
    for (const char* topic : {"ringvale/a/status", "ringvale/a/state", "ringvale/a/calls", "ringvale/a/log"}) {
        model.OnMessage("ringvale/a/status", "online", false);
        model.OnMessage(topic, text, size % 2 == 1);
        std::string commandTopic;
        std::string payload;
        for (int tile = 0; tile < CViewerModel::kTiles; ++tile) {
            (void)model.Command(tile, SNetCommand::EAction::Block, commandTopic, payload);
        }
    }
    return 0;
}
