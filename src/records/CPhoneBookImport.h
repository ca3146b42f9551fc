// Bringing contacts into the phone book from a vCard or CSV file. The whole file is read
// first; a file that cannot be read as a whole leaves the phone book exactly as it was. Then
// every telephone number becomes one entry, merged by number: a number the phone book knows
// (as lookups compare numbers, or exactly as filed) takes the imported first name, last name
// and company where the file has them and keeps everything else (memo, statistics, flags);
// a new number becomes a new entry. All changes are filed and saved at once.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

class CPhoneBook;

enum class EExchangeFormat { VCard, Csv };

// ".vcf" and ".vcard" (any case) are vCard files; anything else is CSV.
EExchangeFormat ExchangeFormatOf(const std::string& path);

// The digits of a telephone number as an address book writes it ("+1 (408) 555-1212",
// "tel:+1-408-555-1212;ext=7", "555.1212"): a "tel:" prefix dropped, everything from the first
// letter or semicolon on (an extension) dropped, separators dropped, and the country code 1 of
// an international "+1" number dropped (the adapter reports national numbers without it).
// Empty when no digit is left.
std::string ImportedNumber(std::string_view written);

struct SImportSummary {
    bool ok = false;
    std::string error; // when !ok: what is wrong, naming the line
    int added = 0;
    int updated = 0;
    int unchanged = 0;
    std::map<std::string, int> skipped;     // why -> how many contacts or numbers
    std::map<std::string, int> notImported; // vCard properties or CSV columns without a place
    // The entries added or updated: their call log records take their names.
    std::vector<std::uint64_t> entryIds;

    // What the user is told: "12 added, 3 updated, 1 unchanged, 2 skipped: 2 without a
    // telephone number. Not imported: EMAIL (4), ADR (1)." or the error.
    std::string Text() const;
};

class CPhoneBookImport {
public:
    // Reads text in the format and merges it into the book.
    static SImportSummary Import(CPhoneBook& book, std::string_view text, EExchangeFormat format);
};
