#include "records/RecordExport.h"

#include "records/CCallLog.h"
#include "records/CPhoneBook.h"
#include "records/CsvText.h"
#include "records/ListColumns.h"
#include "records/VCardText.h"

std::string PhoneBookVCards(const CPhoneBook& book) {
    std::string out;
    const auto lock = book.Lock();
    out.reserve(book.Entries().size() * 120);
    for (const auto& e : book.Entries()) {
        AppendVCard(out, {e->m_strFirstName, e->m_strLastName, e->m_strCompany, e->m_strMemo,
                          book.WrittenNumber(e->m_strNumber)});
    }
    return out;
}

std::string PhoneBookCsv(const CPhoneBook& book, std::uint32_t columnMask) {
    constexpr int kNumberBit = 3;
    // Name and Number always show in the window.
    const std::vector<int> bits = phonebookcols::ColumnBitsFor(columnMask | (1U << kNumberBit));
    std::vector<std::string> fields;
    for (const int bit : bits) {
        if (bit == 0) {
            fields.emplace_back("First Name");
            fields.emplace_back("Last Name");
        } else {
            fields.emplace_back(phonebookcols::LongHeading(bit));
        }
    }
    std::string out;
    AppendCsvRecord(out, fields);
    const auto lock = book.Lock();
    out.reserve(book.Entries().size() * 16 * bits.size());
    for (const auto& e : book.Entries()) {
        fields.clear();
        for (const int bit : bits) {
            if (bit == 0) {
                fields.push_back(e->m_strFirstName);
                fields.push_back(e->m_strLastName);
            } else if (bit == kNumberBit) {
                fields.push_back(book.WrittenNumber(e->m_strNumber));
            } else {
                fields.push_back(phonebookcols::CellText(book, *e, bit));
            }
        }
        AppendCsvRecord(out, fields);
    }
    return out;
}

std::string CallLogCsv(const CCallLog& log) {
    std::vector<std::string> fields;
    for (int c = 0; c < calllogcols::Count; ++c) {
        fields.emplace_back(calllogcols::Heading(c));
    }
    fields.emplace_back("Direction");
    fields.emplace_back("Answered");
    std::string out;
    AppendCsvRecord(out, fields);
    const auto lock = log.Lock();
    out.reserve(log.Records().size() * 64);
    for (const auto& r : log.Records()) {
        fields.clear();
        for (int c = 0; c < calllogcols::Count; ++c) {
            fields.push_back(calllogcols::CellText(*r, c));
        }
        fields.emplace_back(r->m_bOutgoing ? "Outgoing" : "Incoming");
        fields.emplace_back(r->m_bConnected ? "Yes" : "No");
        AppendCsvRecord(out, fields);
    }
    return out;
}
