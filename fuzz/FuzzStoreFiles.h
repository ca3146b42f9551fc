// Shared by the record store fuzzers: a private scratch directory per fuzzing process.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

inline const std::string& FuzzScratchDir() {
    static const std::string dir = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/ringvale-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        return pattern;
    }();
    return dir;
}

inline void FuzzWriteFile(const std::string& path, std::string_view data) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::abort();
    }
    if (!data.empty() && std::fwrite(data.data(), 1, data.size(), file) != data.size()) {
        std::abort();
    }
    std::fclose(file);
}

// Loads data as a store file, saves it under a second name and loads that again: the reader
// must survive anything, a file it refused (no store at all) is never written, and what the
// store writes must read back with the same count.
template <typename Store> void FuzzStoreRoundTrip(std::string_view data) {
    const std::string input = FuzzScratchDir() + "/input";
    const std::string copy = FuzzScratchDir() + "/copy";
    FuzzWriteFile(input, data);
    std::remove(copy.c_str());
    std::size_t count = 0;
    {
        Store store(input, "408");
        count = store.GetCount();
        if (!store.IsLoaded()) { // the file exists: refused
            if (store.Save(copy) || std::fopen(copy.c_str(), "rb") != nullptr) {
                std::abort();
            }
            return;
        }
        if (!store.Save(copy)) {
            std::abort();
        }
    }
    Store again(copy, "408");
    if (again.GetCount() != count) {
        std::abort();
    }
}
