// Phone book reader: arbitrary file content, then a save and a second load.
#include "FuzzStoreFiles.h"
#include "records/CPhoneBook.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzStoreRoundTrip<CPhoneBook>(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
