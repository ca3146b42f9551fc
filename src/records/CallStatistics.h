// The call log in figures: calls per day over the last days, split by incoming answered,
// incoming missed and outgoing, and the most frequent callers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CCallLog;

struct SDayCalls {
    std::int64_t dayStart = 0; // local midnight
    int answered = 0;          // incoming, answered
    int missed = 0;            // incoming, not answered
    int outgoing = 0;
};

struct SCallerCount {
    std::string name; // of the caller's newest call
    std::string number;
    int calls = 0;
};

struct SCallStatistics {
    std::vector<SDayCalls> days; // oldest first, the day of now last
    std::vector<SCallerCount> topCallers;
};

// The days local days up to and including the day of now; callers are the numbers of the
// incoming calls of those days (calls without a number are not counted), the most calls
// first, equal counts by name; at most top of them.
SCallStatistics CallStatistics(const CCallLog& log, std::int64_t now, int days, std::size_t top = 10);
