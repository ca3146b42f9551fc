#include "records/ListColumns.h"

#include "core/Format.h"
#include "records/CCallLogRecord.h"
#include "records/CPhoneBook.h"

std::string ListTimeText(std::int64_t t) {
    return FormatLocalTime(t, "%Y-%m-%d %H:%M:%S");
}

std::string ListDurationText(std::int32_t seconds) {
    return StrFormat("%d:%2.2d", seconds / 60, seconds % 60);
}

namespace phonebookcols {

SCallStats CallStats(const CPhoneBookEntry& e, bool outgoing) {
    if (outgoing) {
        return {e.m_bHasOutgoing, e.m_timeLastOutgoing, e.m_spanLastOutgoing, e.m_nOutgoingCalls,
                e.m_spanTotalOutgoing};
    }
    return {e.m_bHasIncoming, e.m_timeLastIncoming, e.m_spanLastIncoming, e.m_nIncomingCalls, e.m_spanTotalIncoming};
}

std::vector<int> ColumnBitsFor(std::uint32_t mask) {
    std::vector<int> bits{0};
    for (int bit = 1; bit < kBitCount; ++bit) {
        if ((mask & (1U << bit)) != 0) {
            bits.push_back(bit);
        }
    }
    return bits;
}

const char* Heading(int bit) {
    static const char* const kHeadings[kBitCount] = {"Name",          "Company",  "Memo",  "Number", "Flags",
                                                     "Last Incoming", "Duration", "Count", "Total",  "Last Outgoing",
                                                     "Duration",      "Count",    "Total"};
    return bit >= 0 && bit < kBitCount ? kHeadings[bit] : "";
}

const char* LongHeading(int bit) {
    static const char* const kLong[kBitCount] = {"Name",
                                                 "Company",
                                                 "Memo",
                                                 "Number",
                                                 "Flags",
                                                 "Last Incoming Time",
                                                 "Last Incoming Duration",
                                                 "Total Incoming Calls",
                                                 "Total Incoming Time",
                                                 "Last Outgoing Time",
                                                 "Last Outgoing Duration",
                                                 "Total Outgoing Calls",
                                                 "Total Outgoing Time"};
    return bit >= 0 && bit < kBitCount ? kLong[bit] : "";
}

std::string CellText(const CPhoneBook& phoneBook, const CPhoneBookEntry& entry, int bit) {
    switch (bit) {
    case 0:
        return entry.m_strFirstName + " " + entry.m_strLastName;
    case 1:
        return entry.m_strCompany;
    case 2:
        return entry.m_strMemo;
    case 3:
        return entry.m_strNumber;
    case 4:
        return phoneBook.IsIgnored(entry.m_strNumber) ? "I" : "";
    default:
        break;
    }
    if (bit < 5 || bit > 12) {
        return {};
    }
    const SCallStats stats = CallStats(entry, bit >= 9);
    if (!stats.has) {
        return {};
    }
    switch ((bit - 5) % 4) {
    case 0:
        return ListTimeText(stats.last);
    case 1:
        return ListDurationText(stats.lastSpan);
    case 2:
        return StrFormat("%d", stats.count);
    default:
        return ListDurationText(stats.total);
    }
}

} // namespace phonebookcols

namespace calllogcols {

const char* Heading(int column) {
    static const char* const kHeadings[Count] = {"Name", "Number", "Time", "Duration", "Port"};
    return column >= 0 && column < Count ? kHeadings[column] : "";
}

std::string CellText(const CCallLogRecord& record, int column) {
    switch (column) {
    case Name:
        return record.m_strName;
    case Number:
        return record.m_strNumber;
    case Time:
        return ListTimeText(record.m_timeStart);
    case Duration:
        return ListDurationText(record.m_spanDuration);
    case Port:
        return record.m_nPort == -1 ? std::string() : StrFormat("%d", record.m_nPort + 1);
    default:
        return {};
    }
}

} // namespace calllogcols
