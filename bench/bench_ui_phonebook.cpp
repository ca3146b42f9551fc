// The phone book window with 100,000 entries: filling it from the store (shown and painted),
// then sorting it by a statistics column and back by name through header clicks. The target
// for fill + sort is under one second.
#include "records/CPhoneBook.h"
#include "support/TempDir.h"
#include "support/WholeProgramRig.h"
#include "ui/CPhoneBookDlg.h"
#include "ui/CPhoneBookModel.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

namespace {

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    constexpr int kEntries = 100000;

    TempDir dir;
    std::mt19937 random(42);
    std::vector<SPbkLine> entries;
    for (int i = 0; i < kEntries; ++i) {
        char last[32];
        std::snprintf(last, sizeof last, "Name%06d", i); // ascending: the store appends
        SPbkLine e{std::to_string(4080000000LL + static_cast<long long>(random() % 9999999)), last, "First", "Company",
                   "Memo"};
        const bool hasOutgoing = random() % 3 != 0;
        const std::int64_t lastOutgoing = 1700000000 + static_cast<std::int64_t>(random() % 10000000);
        e.lastOutgoing = hasOutgoing ? LocalDateField(lastOutgoing) : "0";
        e.outgoingCalls = static_cast<int>(random() % 50);
        e.totalOutgoingSecs = static_cast<int>(random() % 100000);
        e.flags = random() % 10 == 0 ? PBF_IGNORE : 0;
        entries.push_back(std::move(e));
    }
    WriteFileText(dir.File("bench.pbk"), PhoneBookText(entries));
    auto book = std::make_unique<CPhoneBook>(dir.File("bench.pbk"), "408");

    CSettings settings;
    settings.m_dwPhoneBookColumnMask = 0xFFFF;
    CPhoneBookDlg dlg(
        settings, [](CMessage) {}, [](int) {});
    dlg.resize(dlg.width(), 600);

    const auto fillStart = std::chrono::steady_clock::now();
    dlg.SetPhoneBook(book.get());
    dlg.Fill();
    dlg.show();
    QApplication::processEvents();
    const double fillMs = MsSince(fillStart);

    const auto sortStart = std::chrono::steady_clock::now();
    dlg.OnHeaderClicked(dlg.Model()->ColumnOfBit(9)); // Last Outgoing
    QApplication::processEvents();
    const double sortMs = MsSince(sortStart);

    const auto nameStart = std::chrono::steady_clock::now();
    dlg.OnHeaderClicked(0);
    QApplication::processEvents();
    const double nameMs = MsSince(nameStart);

    const bool ok = dlg.Model()->rowCount() == kEntries && fillMs + sortMs < 1000.0;
    std::printf("bench_ui_phonebook: %d entries: fill+show %.1f ms, sort by Last Outgoing %.1f ms, sort by Name "
                "%.1f ms; fill+sort %.1f ms (target < 1000 ms) %s\n",
                kEntries, fillMs, sortMs, nameMs, fillMs + sortMs, ok ? "OK" : "SLOW");
    dlg.hide();
    dlg.SetPhoneBook(nullptr);
    return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
