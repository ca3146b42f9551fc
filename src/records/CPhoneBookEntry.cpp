#include "records/CPhoneBookEntry.h"

#include "records/RecordText.h"

#include <ctime>
#include <utility>

CPhoneBookEntry::CPhoneBookEntry() : CPhoneBookEntry({}, {}, {}, {}, {}) {}

CPhoneBookEntry::CPhoneBookEntry(std::string number, std::string lastName, std::string firstName, std::string company,
                                 std::string memo)
    : m_strLastName(std::move(lastName)), m_strFirstName(std::move(firstName)), m_strCompany(std::move(company)),
      m_strMemo(std::move(memo)), m_strNumber(std::move(number)),
      m_timeLastOutgoing(static_cast<std::int64_t>(std::time(nullptr))), m_timeLastIncoming(m_timeLastOutgoing),
      m_id(NewRecordId()) {
    GetName();
}

CPhoneBookEntry::CPhoneBookEntry(const CPhoneBookEntry& other) : m_id(NewRecordId()) {
    *this = other;
}

CPhoneBookEntry& CPhoneBookEntry::operator=(const CPhoneBookEntry& other) {
    if (this != &other) {
        m_strLastName = other.m_strLastName;
        m_strFirstName = other.m_strFirstName;
        m_strCompany = other.m_strCompany;
        m_strMemo = other.m_strMemo;
        m_strNumber = other.m_strNumber;
        m_bHasOutgoing = other.m_bHasOutgoing;
        m_bHasIncoming = other.m_bHasIncoming;
        m_timeLastOutgoing = other.m_timeLastOutgoing;
        m_timeLastIncoming = other.m_timeLastIncoming;
        m_spanLastOutgoing = other.m_spanLastOutgoing;
        m_spanLastIncoming = other.m_spanLastIncoming;
        m_spanTotalOutgoing = other.m_spanTotalOutgoing;
        m_spanTotalIncoming = other.m_spanTotalIncoming;
        m_nOutgoingCalls = other.m_nOutgoingCalls;
        m_nIncomingCalls = other.m_nIncomingCalls;
        m_dwFlags = other.m_dwFlags;
        // m_seq is the store's business: a copy is not filed anywhere yet.
    }
    GetName();
    return *this;
}

std::string CPhoneBookEntry::GetName() {
    m_strName = m_strFirstName + " " + m_strLastName;
    return m_strName;
}
