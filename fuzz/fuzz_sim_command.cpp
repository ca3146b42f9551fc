// The simulator's parsers: AT command lines from the program and control-socket commands.
#include "AtCommand.h"
#include "ControlCommand.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const CAtCommand at = ParseAtCommand(line);
    if (at.kind == EAtKind::RegQuery || at.kind == EAtKind::RegSet) {
        if (at.reg < 0 || at.reg > 255) {
            std::abort();
        }
    }
    if (at.kind == EAtKind::Answer || at.kind == EAtKind::HangUp || at.kind == EAtKind::Hold ||
        at.kind == EAtKind::Retrieve) {
        if (at.port != 1 && at.port != 2) {
            std::abort();
        }
    }
    CControlCommand control;
    std::string error;
    (void)ParseControlCommand(line, control, error);
    (void)UnescapeText(line);
    return 0;
}
