// One finished call as the call log keeps it.
#pragma once

#include <cstdint>
#include <string>

class CCallLogRecord {
public:
    // An empty record (as the file loader starts one): empty strings, both flags false,
    // start time now, duration 0, port -1.
    CCallLogRecord();
    // A record with all seven values, in the order call control knows them.
    CCallLogRecord(std::string name, std::string number, bool outgoing, bool connected, std::int64_t timeStart,
                   std::int32_t spanDuration, std::int32_t port);

    // Copies every field; the copy gets a new m_id.
    CCallLogRecord(const CCallLogRecord& other);
    // Copies every field except m_id.
    CCallLogRecord& operator=(const CCallLogRecord& other);
    ~CCallLogRecord() = default;

    std::string m_strName;           // the other party's name, or "Unknown caller" / "Unknown callee"
    std::string m_strNumber;         // the other party's number; empty when none was sent
    bool m_bOutgoing = false;        // the user placed the call
    bool m_bConnected = false;       // the call was answered at least once
    std::int64_t m_timeStart = 0;    // seconds since 1970 UTC
    std::int32_t m_spanDuration = 0; // end minus start, seconds
    std::int32_t m_nPort = -1;       // 0 = "Phone 1", 1 = "Phone 2", -1 = no port recorded

    // Stable identity, unique in the process and never reused; windows key rows on it.
    const std::uint64_t m_id;

private:
    friend class CCallLog;
    // List position key given by the store: larger = nearer the head (newer).
    std::int64_t m_seq = 0;
};
