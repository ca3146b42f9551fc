#include "records/CCallLogRecord.h"

#include "records/RecordText.h"

#include <ctime>
#include <utility>

CCallLogRecord::CCallLogRecord()
    : CCallLogRecord({}, {}, false, false, static_cast<std::int64_t>(std::time(nullptr)), 0, -1) {}

CCallLogRecord::CCallLogRecord(std::string name, std::string number, bool outgoing, bool connected,
                               std::int64_t timeStart, std::int32_t spanDuration, std::int32_t port)
    : m_strName(std::move(name)), m_strNumber(std::move(number)), m_bOutgoing(outgoing), m_bConnected(connected),
      m_timeStart(timeStart), m_spanDuration(spanDuration), m_nPort(port), m_id(NewRecordId()) {}

CCallLogRecord::CCallLogRecord(const CCallLogRecord& other) : m_id(NewRecordId()) {
    *this = other;
}

CCallLogRecord& CCallLogRecord::operator=(const CCallLogRecord& other) {
    if (this != &other) {
        m_strName = other.m_strName;
        m_strNumber = other.m_strNumber;
        m_bOutgoing = other.m_bOutgoing;
        m_bConnected = other.m_bConnected;
        m_timeStart = other.m_timeStart;
        m_spanDuration = other.m_spanDuration;
        m_nPort = other.m_nPort;
    }
    return *this;
}
