// Import and export: 10,000 vCards imported into an empty phone book (read, merged, filed
// and saved), and 100,000 call log records exported as CSV. Targets: under one second each.
#include "records/CCallLog.h"
#include "records/CPhoneBook.h"
#include "records/CPhoneBookImport.h"
#include "records/RecordExport.h"
#include "records/VCardText.h"
#include "support/TempDir.h"

#include <chrono>
#include <cstdio>

namespace {

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main() {
    TempDir dir;
    std::string vcards;
    for (int i = 0; i < 10000; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "408%07d", i * 97 % 10000000);
        AppendVCard(vcards, {"First" + std::to_string(i), "Last" + std::to_string(i), "Company", "a memo", number});
    }
    CPhoneBook book(dir.File("import.pbk"), "408");
    const auto importStart = std::chrono::steady_clock::now();
    const SImportSummary summary = CPhoneBookImport::Import(book, vcards, EExchangeFormat::VCard);
    const double importMs = MsSince(importStart);

    {
        std::string log = "CallLogVersion2\r\n";
        for (int i = 0; i < 100000; ++i) {
            log += "\"Name " + std::to_string(i) + "\",\"408555" + std::to_string(1000 + i % 9000) + "\",\"" +
                   std::to_string(i % 2) + "\",\"1\",\"2026,11," + std::to_string(1 + i % 28) +
                   ",12,0,0\",\"125\",\"0\"\r\n";
        }
        WriteFileText(dir.File("RV.log"), log);
    }
    CCallLog log(dir.File("RV.log"), "408");
    const auto exportStart = std::chrono::steady_clock::now();
    const std::string csv = CallLogCsv(log);
    WriteFileText(dir.File("log.csv"), csv);
    const double exportMs = MsSince(exportStart);

    const bool ok = summary.added == 10000 && log.GetCount() == 100000 && importMs < 1000 && exportMs < 1000;
    std::printf("bench_exchange: import 10,000 vCards %.1f ms (target < 1000 ms); export 100,000 call log rows as "
                "CSV %.1f ms (target < 1000 ms) %s\n",
                importMs, exportMs, ok ? "OK" : "SLOW");
    return ok ? 0 : 1;
}
