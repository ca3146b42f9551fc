#include "records/CPhoneBookImport.h"

#include "core/Format.h"
#include "records/CPhoneBook.h"
#include "records/CsvText.h"
#include "records/RecordText.h"
#include "records/VCardText.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <unordered_map>
#include <utility>

namespace {

constexpr const char* kNoNumber = "without a telephone number";
constexpr const char* kNoDigits = "with a telephone number without digits";

// One telephone number of one contact, as read.
struct SContact {
    std::string firstName;
    std::string lastName;
    std::string company;
    std::string memo;
    std::string number; // digits
};

// "Ann Lee" -> first "Ann", last "Lee"; a single word is the last name.
void SplitName(const std::string& name, SContact& contact) {
    const auto space = name.rfind(' ');
    if (space == std::string::npos) {
        contact.lastName = name;
        return;
    }
    contact.firstName = TrimSpaces(std::string_view(name).substr(0, space));
    contact.lastName = TrimSpaces(std::string_view(name).substr(space + 1));
}

void AddNumbers(const SContact& person, const std::vector<std::string>& written, std::vector<SContact>& contacts,
                SImportSummary& summary) {
    if (written.empty()) {
        ++summary.skipped[kNoNumber];
        return;
    }
    for (const std::string& raw : written) {
        SContact contact = person;
        contact.number = ImportedNumber(raw);
        if (contact.number.empty()) {
            ++summary.skipped[kNoDigits];
        } else {
            contacts.push_back(std::move(contact));
        }
    }
}

bool ReadVCards(std::string_view text, std::vector<SContact>& contacts, SImportSummary& summary) {
    SVCardFile file;
    if (!ParseVCards(text, file, summary.error)) {
        return false;
    }
    summary.notImported = file.unmapped;
    for (const SVCardContact& card : file.contacts) {
        SContact person{card.firstName, card.lastName, card.company, card.memo, {}};
        // Without a structured name, the display name is the name, unless it only repeats
        // the company or the number (what writers put there for a card without a name).
        const bool fnIsNumber = std::any_of(card.numbers.begin(), card.numbers.end(), [&](const std::string& n) {
            return ImportedNumber(n) == ImportedNumber(card.formattedName);
        });
        if (person.firstName.empty() && person.lastName.empty() && !card.formattedName.empty() &&
            card.formattedName != card.company && !fnIsNumber) {
            SplitName(card.formattedName, person);
        }
        AddNumbers(person, card.numbers, contacts, summary);
    }
    return true;
}

// The CSV columns an entry takes, by their heading (any case).
enum class ECsvField { FirstName, LastName, Name, Company, Memo, Number, None };

ECsvField CsvField(const std::string& heading) {
    static const std::pair<const char*, ECsvField> kHeadings[] = {
        {"first name", ECsvField::FirstName},
        {"given name", ECsvField::FirstName},
        {"last name", ECsvField::LastName},
        {"family name", ECsvField::LastName},
        {"surname", ECsvField::LastName},
        {"name", ECsvField::Name},
        {"display name", ECsvField::Name},
        {"company", ECsvField::Company},
        {"organization", ECsvField::Company},
        {"organisation", ECsvField::Company},
        {"memo", ECsvField::Memo},
        {"notes", ECsvField::Memo},
        {"note", ECsvField::Memo},
        {"number", ECsvField::Number},
        {"phone", ECsvField::Number},
        {"telephone", ECsvField::Number},
        {"phone number", ECsvField::Number},
        {"mobile phone", ECsvField::Number},
    };
    const std::string key = LowerCase(TrimSpaces(heading));
    for (const auto& [name, field] : kHeadings) {
        if (key == name) {
            return field;
        }
    }
    return ECsvField::None;
}

bool ReadCsv(std::string_view text, std::vector<SContact>& contacts, SImportSummary& summary) {
    std::vector<SCsvRecord> records;
    if (!ParseCsv(text, records, summary.error)) {
        return false;
    }
    if (records.empty()) {
        summary.error = "line 1: the file is empty";
        return false;
    }
    const SCsvRecord& header = records.front();
    std::vector<ECsvField> columns;
    for (const std::string& heading : header.fields) {
        columns.push_back(CsvField(heading));
        if (columns.back() == ECsvField::None && !TrimSpaces(heading).empty()) {
            ++summary.notImported[TrimSpaces(heading)];
        }
    }
    if (std::find(columns.begin(), columns.end(), ECsvField::Number) == columns.end()) {
        summary.error = StrFormat("line %d: the header row has no \"Number\" column", header.line);
        summary.notImported.clear();
        return false;
    }
    const bool splitNames = std::find(columns.begin(), columns.end(), ECsvField::FirstName) == columns.end() &&
                            std::find(columns.begin(), columns.end(), ECsvField::LastName) == columns.end();
    for (std::size_t r = 1; r < records.size(); ++r) {
        const SCsvRecord& row = records[r];
        if (row.fields.size() > columns.size()) {
            summary.error = StrFormat("line %d: %zu fields where the header row has %zu", row.line, row.fields.size(),
                                      columns.size());
            summary.notImported.clear();
            return false;
        }
        SContact person;
        std::vector<std::string> numbers;
        for (std::size_t k = 0; k < row.fields.size(); ++k) {
            std::string value = TrimSpaces(row.fields[k]);
            std::replace(value.begin(), value.end(), '\n', ' ');
            value = TextFromFile(value);
            switch (columns[k]) {
            case ECsvField::FirstName:
                person.firstName = value;
                break;
            case ECsvField::LastName:
                person.lastName = value;
                break;
            case ECsvField::Name:
                if (splitNames && !value.empty()) {
                    SplitName(value, person);
                }
                break;
            case ECsvField::Company:
                person.company = value;
                break;
            case ECsvField::Memo:
                person.memo = value;
                break;
            case ECsvField::Number:
                if (!value.empty()) {
                    numbers.push_back(value);
                }
                break;
            case ECsvField::None:
                break;
            }
        }
        AddNumbers(person, numbers, contacts, summary);
    }
    return true;
}

// What one number of the import does to the book.
struct SSlot {
    std::uint64_t oldId = 0; // the entry it updates; 0 for a new one
    std::unique_ptr<CPhoneBookEntry> entry;
    bool changed = false; // set once every number of the import has been taken
};

// Names and company where the import has them.
void TakeDetails(CPhoneBookEntry& entry, const SContact& contact) {
    const std::pair<std::string CPhoneBookEntry::*, const std::string*> fields[] = {
        {&CPhoneBookEntry::m_strFirstName, &contact.firstName},
        {&CPhoneBookEntry::m_strLastName, &contact.lastName},
        {&CPhoneBookEntry::m_strCompany, &contact.company},
    };
    for (const auto& [member, value] : fields) {
        if (!value->empty()) {
            entry.*member = *value;
        }
    }
}

void Merge(CPhoneBook& book, const std::vector<SContact>& contacts, SImportSummary& summary) {
    const auto lock = book.Lock();
    std::vector<SSlot> slots;
    std::unordered_map<std::uint64_t, std::size_t> slotOfEntry;   // existing entry id -> slot
    std::unordered_map<std::string, std::size_t> slotOfNewNumber; // as filed -> slot
    for (const SContact& contact : contacts) {
        const CPhoneBookEntry* known = book.Find(contact.number);
        if (known == nullptr) {
            known = book.FindFiled(contact.number);
        }
        if (known != nullptr) {
            auto [it, fresh] = slotOfEntry.try_emplace(known->m_id, slots.size());
            if (fresh) {
                slots.push_back({known->m_id, std::make_unique<CPhoneBookEntry>(*known), false});
            }
            TakeDetails(*slots[it->second].entry, contact);
            continue;
        }
        auto [it, fresh] = slotOfNewNumber.try_emplace(book.FiledNumber(contact.number), slots.size());
        if (fresh) {
            slots.push_back({0,
                             std::make_unique<CPhoneBookEntry>(contact.number, contact.lastName, contact.firstName,
                                                               contact.company, contact.memo),
                             true});
            continue;
        }
        CPhoneBookEntry& entry = *slots[it->second].entry;
        TakeDetails(entry, contact);
        if (entry.m_strMemo.empty()) {
            entry.m_strMemo = contact.memo;
        }
    }
    std::vector<std::pair<std::uint64_t, std::unique_ptr<CPhoneBookEntry>>> changes;
    for (SSlot& slot : slots) {
        if (slot.oldId != 0) {
            const CPhoneBookEntry& before = *book.FindById(slot.oldId);
            slot.changed = slot.entry->m_strFirstName != before.m_strFirstName ||
                           slot.entry->m_strLastName != before.m_strLastName ||
                           slot.entry->m_strCompany != before.m_strCompany;
        }
        if (!slot.changed) {
            ++summary.unchanged;
            continue;
        }
        ++(slot.oldId == 0 ? summary.added : summary.updated);
        summary.entryIds.push_back(slot.entry->m_id);
        changes.emplace_back(slot.oldId, std::move(slot.entry));
    }
    if (!changes.empty()) {
        book.ReplaceAll(std::move(changes));
    }
}

} // namespace

EExchangeFormat ExchangeFormatOf(const std::string& path) {
    const std::string lower = LowerCase(path);
    return lower.ends_with(".vcf") || lower.ends_with(".vcard") ? EExchangeFormat::VCard : EExchangeFormat::Csv;
}

std::string ImportedNumber(std::string_view written) {
    std::string_view text = written;
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    if (LowerCase(text.substr(0, 4)) == "tel:") {
        text.remove_prefix(4);
    }
    std::string digits;
    bool plus = false;
    for (const char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
            digits.push_back(c);
        } else if (c == '+' && digits.empty()) {
            plus = true;
        } else if (std::isalpha(static_cast<unsigned char>(c)) != 0 || c == ';' || c == ',') {
            break; // an extension, a pause or parameters
        }
    }
    if (plus && digits.size() > 1 && digits.front() == '1') {
        digits.erase(0, 1);
    }
    return digits;
}

std::string SImportSummary::Text() const {
    if (!ok) {
        return error;
    }
    int skippedCount = 0;
    std::string why;
    for (const auto& [reason, count] : skipped) {
        skippedCount += count;
        why += StrFormat("%s%d %s", why.empty() ? ": " : ", ", count, reason.c_str());
    }
    std::string text = StrFormat("%d added, %d updated, %d unchanged, %d skipped%s.", added, updated, unchanged,
                                 skippedCount, why.c_str());
    if (!notImported.empty()) {
        text += "\nNot imported:";
        const char* separator = " ";
        for (const auto& [name, count] : notImported) {
            text += StrFormat("%s%s (%d)", separator, name.c_str(), count);
            separator = ", ";
        }
        text += ".";
    }
    return text;
}

SImportSummary CPhoneBookImport::Import(CPhoneBook& book, std::string_view text, EExchangeFormat format) {
    SImportSummary summary;
    std::vector<SContact> contacts;
    const bool read =
        format == EExchangeFormat::VCard ? ReadVCards(text, contacts, summary) : ReadCsv(text, contacts, summary);
    if (!read) {
        return summary;
    }
    summary.ok = true;
    Merge(book, contacts, summary);
    return summary;
}
