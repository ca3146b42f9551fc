// Shared by the import fuzzers: arbitrary file content imported into an empty phone book;
// when it reads, what the phone book exports in the same format must import again into an
// empty phone book with the same number of entries.
#pragma once

#include "FuzzStoreFiles.h"
#include "records/CPhoneBook.h"
#include "records/CPhoneBookImport.h"
#include "records/RecordExport.h"

#include <cstdlib>
#include <string_view>

inline void FuzzImportRoundTrip(std::string_view data, EExchangeFormat format) {
    CPhoneBook book(FuzzScratchDir() + "/none/first.pbk", "408"); // a folder that does not exist: never written
    const SImportSummary summary = CPhoneBookImport::Import(book, data, format);
    if (!summary.ok) {
        if (book.GetCount() != 0 || summary.error.rfind("line ", 0) != 0) {
            std::abort(); // a refused file changes nothing and names its line
        }
        return;
    }
    if (book.GetCount() == 0) {
        return; // an empty export is no vCard file
    }
    const std::string exported = format == EExchangeFormat::VCard ? PhoneBookVCards(book) : PhoneBookCsv(book, 0xFFFF);
    CPhoneBook again(FuzzScratchDir() + "/none/again.pbk", "408");
    if (!CPhoneBookImport::Import(again, exported, format).ok || again.GetCount() != book.GetCount()) {
        std::abort();
    }
}
