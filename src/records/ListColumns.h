// The columns of the two list windows as text: headings and cell texts, shared by the windows
// and by the CSV export, which writes what the windows show.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CCallLogRecord;
class CPhoneBook;
class CPhoneBookEntry;

// A time as local "%Y-%m-%d %H:%M:%S".
std::string ListTimeText(std::int64_t t);
// A span of seconds as "%d:%2.2d": whole minutes, colon, two-digit seconds.
std::string ListDurationText(std::int32_t seconds);

namespace phonebookcols {
// Column bits: 0 Name, 1 Company, 2 Memo, 3 Number, 4 Flags, 5 Last Incoming, 6 its
// Duration, 7 incoming Count, 8 incoming Total, 9 Last Outgoing, 10 its Duration,
// 11 outgoing Count, 12 outgoing Total.
inline constexpr int kBitCount = 13;
// The visible columns a mask gives: "Name", then every set bit from 1 to 12.
std::vector<int> ColumnBitsFor(std::uint32_t mask);
const char* Heading(int bit);
// The name of the column that says what it holds on its own ("Last Incoming Duration" for
// bit 6, where the window's heading is "Duration").
const char* LongHeading(int bit);
// The cell text of one column bit; the store answers "Flags".
std::string CellText(const CPhoneBook& phoneBook, const CPhoneBookEntry& entry, int bit);
// The incoming (or outgoing) statistics of an entry, so that bits 5-8 and 9-12 share code.
struct SCallStats {
    bool has;
    std::int64_t last;
    std::int32_t lastSpan;
    std::int32_t count;
    std::int32_t total;
};
SCallStats CallStats(const CPhoneBookEntry& entry, bool outgoing);
} // namespace phonebookcols

namespace calllogcols {
enum EColumn { Name, Number, Time, Duration, Port, Count };
const char* Heading(int column);
std::string CellText(const CCallLogRecord& record, int column);
} // namespace calllogcols
