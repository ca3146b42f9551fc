#include "records/CallStatistics.h"

#include "records/CCallLog.h"

#include <algorithm>
#include <ctime>
#include <unordered_map>

namespace {

// A local calendar day as one number (year, month, day).
int DayKey(std::int64_t t) {
    const std::time_t time = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&time, &tm);
    return (tm.tm_year + 1900) * 10000 + (tm.tm_mon + 1) * 100 + tm.tm_mday;
}

// Local midnight of the day `back` days before the day of now.
std::int64_t DayStart(std::int64_t now, int back) {
    const std::time_t time = static_cast<std::time_t>(now);
    std::tm tm{};
    localtime_r(&time, &tm);
    tm.tm_mday -= back;
    tm.tm_hour = 0;
    tm.tm_min = 0;
    tm.tm_sec = 0;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

} // namespace

SCallStatistics CallStatistics(const CCallLog& log, std::int64_t now, int days, std::size_t top) {
    SCallStatistics stats;
    std::unordered_map<int, std::size_t> dayIndex;
    for (int back = days - 1; back >= 0; --back) {
        SDayCalls day;
        day.dayStart = DayStart(now, back);
        dayIndex[DayKey(day.dayStart)] = stats.days.size();
        stats.days.push_back(day);
    }
    std::unordered_map<std::string, std::size_t> callerIndex;
    const auto lock = log.Lock();
    for (const auto& r : log.Records()) { // newest first
        const auto found = dayIndex.find(DayKey(r->m_timeStart));
        if (found == dayIndex.end() || r->m_timeStart > now) {
            continue;
        }
        SDayCalls& day = stats.days[found->second];
        if (r->m_bOutgoing) {
            ++day.outgoing;
            continue;
        }
        ++(r->m_bConnected ? day.answered : day.missed);
        if (r->m_strNumber.empty()) {
            continue;
        }
        const auto [it, fresh] = callerIndex.try_emplace(r->m_strNumber, stats.topCallers.size());
        if (fresh) {
            stats.topCallers.push_back({r->m_strName, r->m_strNumber, 0});
        }
        ++stats.topCallers[it->second].calls;
    }
    std::stable_sort(stats.topCallers.begin(), stats.topCallers.end(), [](const auto& a, const auto& b) {
        return a.calls != b.calls ? a.calls > b.calls : a.name < b.name;
    });
    if (stats.topCallers.size() > top) {
        stats.topCallers.resize(top);
    }
    return stats;
}
