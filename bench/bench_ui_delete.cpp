// One delete command in a list window: 1,000 of 10,000 phone book rows and 1,000 of 100,000
// call log rows, every tenth or hundredth row selected. Timed on the window thread from the
// command to the rows gone: the request the window posts, the controller's part of it (the
// store removes the ids and saves its file once) and the window's update. The target is under
// 100 ms of window-thread time for each.
#include "records/CCallLog.h"
#include "records/CPhoneBook.h"
#include "support/TempDir.h"
#include "support/WholeProgramRig.h"
#include "ui/CCallLogDlg.h"
#include "ui/CCallLogModel.h"
#include "ui/CPhoneBookDlg.h"
#include "ui/CPhoneBookModel.h"

#include <QApplication>
#include <QItemSelectionModel>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace {

constexpr double kTargetMs = 100.0;

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Selects every step-th row of the window, shows it, then runs its delete command and hands
// the posted request to the store and back to the window as the controller does. Prints the
// figures and returns whether the wall time met the target.
template <typename Dialog, typename Store>
bool TimeDelete(const char* what, Dialog& dlg, Store& store, CMessage& posted, int step) {
    dlg.resize(800, 600);
    dlg.show();
    QApplication::processEvents();
    const int rows = dlg.Model()->rowCount();
    QItemSelection selection;
    for (int row = 0; row < rows; row += step) {
        selection.select(dlg.Model()->index(row, 0), dlg.Model()->index(row, 0));
    }
    dlg.View()->selectionModel()->select(selection, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QApplication::processEvents();

    const double cpu = ThreadCpuMs();
    const auto start = std::chrono::steady_clock::now();
    dlg.OnDelete();
    const std::size_t removed = store.Remove(posted.Keys());
    dlg.HandleMessage(posted);
    QApplication::processEvents();
    const double wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double cpuMs = ThreadCpuMs() - cpu;

    const bool ok = removed == static_cast<std::size_t>(rows / step) &&
                    dlg.Model()->rowCount() == rows - static_cast<int>(removed) && wallMs < kTargetMs;
    std::printf("bench_ui_delete: %s: %zu of %d rows in one command: %.1f ms window thread (%.1f ms CPU), one save "
                "(target < %.0f ms) %s\n",
                what, removed, rows, wallMs, cpuMs, kTargetMs, ok ? "OK" : "SLOW");
    dlg.hide();
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    TempDir dir;
    bool ok = true;

    {
        std::vector<SPbkLine> entries;
        for (int i = 0; i < 10000; ++i) {
            char last[32];
            std::snprintf(last, sizeof last, "Name%06d", i);
            entries.push_back({std::to_string(4080000000LL + i), last, "First", "Company", "Memo"});
        }
        WriteFileText(dir.File("RV.pbk"), PhoneBookText(entries));
        auto book = std::make_unique<CPhoneBook>(dir.File("RV.pbk"), "408");
        CSettings settings;
        CMessage posted;
        CPhoneBookDlg dlg(
            settings, [&](CMessage msg) { posted = std::move(msg); }, [](int) {});
        dlg.SetPhoneBook(book.get());
        dlg.Fill();
        ok &= TimeDelete("phone book", dlg, *book, posted, 10);
        dlg.SetPhoneBook(nullptr);
    }
    {
        std::vector<SLogLine> records;
        for (int i = 0; i < 100000; ++i) {
            records.push_back({"Caller " + std::to_string(i), std::to_string(4080000000LL + i), i % 3 == 0, i % 2 == 0,
                               LocalDateField(1700000000 + i), i % 600, i % 2});
        }
        WriteFileText(dir.File("RV.log"), CallLogText(records));
        auto log = std::make_unique<CCallLog>(dir.File("RV.log"), "408");
        CMessage posted;
        CCallLogDlg dlg([&](CMessage msg) { posted = std::move(msg); }, [](int) {});
        dlg.SetCallLog(log.get());
        dlg.Refill();
        ok &= TimeDelete("call log", dlg, *log, posted, 100);
        dlg.SetCallLog(nullptr);
    }
    return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
