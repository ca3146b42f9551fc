// One phone book entry: the names, the number and the call statistics of one party.
#pragma once

#include <cstdint>
#include <string>

// Bit 0 of m_dwFlags: incoming calls from this number are rejected ("Ignore Caller").
constexpr std::uint32_t PBF_IGNORE = 0x00000001;

class CPhoneBookEntry {
public:
    // An empty entry: no calls recorded, both last-call times the current time (they are
    // neither shown nor saved while the matching m_bHas... flag is false), statistics and
    // flags zero.
    CPhoneBookEntry();
    // The same with the number, the names, company and memo given (the order of the file).
    CPhoneBookEntry(std::string number, std::string lastName, std::string firstName, std::string company,
                    std::string memo);

    // Copies every field and recomputes m_strName. The copy is a new entry with a new m_id;
    // this is how an entry is edited: copy it, change the copy, hand the copy to
    // CPhoneBook::Replace.
    CPhoneBookEntry(const CPhoneBookEntry& other);
    // Copies every field except m_id (the target keeps its identity) and recomputes m_strName.
    CPhoneBookEntry& operator=(const CPhoneBookEntry& other);
    ~CPhoneBookEntry() = default;

    // Sets m_strName to first name + " " + last name (the blank is there even when a part is
    // empty) and returns a copy of it.
    std::string GetName();

    std::string m_strLastName;            // the store's sort key
    std::string m_strFirstName;           //
    std::string m_strCompany;             //
    std::string m_strMemo;                //
    std::string m_strName;                // display name, derived by GetName; never in the file
    std::string m_strNumber;              // digits, with the area code in front once in a store
    bool m_bHasOutgoing = false;          // m_timeLastOutgoing is valid
    bool m_bHasIncoming = false;          // m_timeLastIncoming is valid
    std::int64_t m_timeLastOutgoing = 0;  // start of the last outgoing call, seconds since 1970 UTC
    std::int64_t m_timeLastIncoming = 0;  // start of the last incoming call
    std::int32_t m_spanLastOutgoing = 0;  // seconds
    std::int32_t m_spanLastIncoming = 0;  // seconds
    std::int32_t m_spanTotalOutgoing = 0; // seconds, summed over all recorded outgoing calls
    std::int32_t m_spanTotalIncoming = 0; // seconds, summed over all recorded incoming calls
    std::int32_t m_nOutgoingCalls = 0;
    std::int32_t m_nIncomingCalls = 0;
    std::uint32_t m_dwFlags = 0; // PBF_IGNORE and 31 bits without meaning, kept as they are

    // Stable identity, unique in the process and never reused. Windows and messages key
    // rows on it instead of on the entry's address.
    const std::uint64_t m_id;

private:
    friend class CPhoneBook;
    // Position key among entries with the same last name, given by the store when it files
    // the entry (larger = added later).
    std::uint64_t m_seq = 0;
};
