// Settings reader: any RV.cfg text is read; what it writes must read back to the same text.
#include "core/CSettings.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const MessageBoxFn ignore = [](const std::string&) {};
    CSettings first;
    first.SetDefaults();
    first.Parse(text, ignore);
    const std::string written = first.Serialize(false);

    CSettings second;
    second.SetDefaults();
    second.Parse(written, ignore);
    if (second.Serialize(false) != written) {
        std::abort(); // a saved file must load back unchanged
    }
    return 0;
}
