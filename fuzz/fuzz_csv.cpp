// Phone book import from CSV files: arbitrary content, then an export and a second import.
#include "FuzzImport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzImportRoundTrip(std::string_view(reinterpret_cast<const char*>(data), size), EExchangeFormat::Csv);
    return 0;
}
