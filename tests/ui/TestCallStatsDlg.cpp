// The statistics window: calls per day split three ways over the last 30 or 90 days, the ten
// most frequent callers, and the window on the demo's call log (its picture goes to the help
// page).
#include "UiTestSupport.h"
#include "records/CCallLog.h"
#include "records/CallStatistics.h"
#include "support/TempDir.h"
#include "ui/CCallLogDlg.h"
#include "ui/CCallStatsDlg.h"

#include <QBarSet>
#include <QChartView>
#include <QComboBox>
#include <QStackedBarSeries>
#include <QTableWidget>
#include <QtTest>

#include <ctime>

namespace {

constexpr std::int64_t kNow = 1796644800; // 2026-12-07 12:00:00 UTC; the tests run with TZ=UTC
constexpr std::int64_t kDay = 86400;

// The sum of each bar set of the chart: answered, missed, outgoing.
QList<int> SetSums(QChartView* view) {
    QList<int> sums;
    const auto* series = qobject_cast<QStackedBarSeries*>(view->chart()->series().front());
    for (QBarSet* set : series->barSets()) {
        double sum = 0;
        for (int i = 0; i < set->count(); ++i) {
            sum += set->at(i);
        }
        sums << static_cast<int>(sum);
    }
    return sums;
}

} // namespace

class TestCallStatsDlg : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        qputenv("TZ", "UTC");
        tzset();
    }

    void daysAndCallers() {
        TempDir dir;
        CCallLog log(dir.File("RV.log"), "408");
        auto add = [&](const char* name, const char* number, bool out, bool answered, std::int64_t t) {
            log.Add(std::make_unique<CCallLogRecord>(name, number, out, answered, t, 10, 0));
        };
        add("Old Call", "4085550001", false, true, kNow - 40 * kDay);            // only in 90 days
        add("Ann Lee", "4085551212", false, true, kNow - 29 * kDay - 3600 * 11); // first of the 30 days
        add("Ann Lee", "4085551212", false, false, kNow - kDay);
        add("Ann L.", "4085551212", false, true, kNow - 60);     // the newest name counts
        add("Bob Stone", "4155550123", false, false, kNow - 30); // missed
        add("Bob Stone", "4155550123", true, true, kNow - 20);   // outgoing: not a caller
        add("Unknown caller", "", false, false, kNow - 10);      // no number: counted per day only
        add("Later", "4085550002", false, true, kNow + kDay);    // after now: nowhere

        const SCallStatistics stats = CallStatistics(log, kNow, 30, 1);
        QCOMPARE(stats.days.size(), std::size_t(30));
        QCOMPARE(stats.days.front().dayStart, kNow - 12 * 3600 - 29 * kDay);
        QCOMPARE(stats.days.front().answered, 1);
        QCOMPARE(stats.days.back().answered + stats.days.back().missed + stats.days.back().outgoing, 4);
        QCOMPARE(stats.topCallers.size(), std::size_t(1));
        QCOMPARE(stats.topCallers.front().name, std::string("Ann L."));
        QCOMPARE(stats.topCallers.front().calls, 3);

        CCallStatsDlg dlg;
        dlg.SetCallLog(&log);
        dlg.SetNow([] { return kNow; });
        dlg.Refresh();
        QCOMPARE(SetSums(dlg.Chart()), (QList<int>{2, 3, 1}));
        QCOMPARE(dlg.TopCallers()->rowCount(), 2);
        QCOMPARE(dlg.TopCallers()->item(1, 0)->text(), QString("Bob Stone"));
        QCOMPARE(dlg.TopCallers()->item(1, 2)->text(), QString("1"));
        dlg.Period()->setCurrentIndex(1); // 90 days
        QCOMPARE(SetSums(dlg.Chart()), (QList<int>{3, 3, 1}));
    }

    void demoCallLogFromTheCallLogWindow() {
        TempDir dir;
        WriteFileText(dir.File("RV.log"), ReadFileText(RINGVALE_DEMO_DIR "/RV.log"));
        CCallLog log(dir.File("RV.log"), "408");
        CCallLogDlg window([](CMessage) {}, [](int) {});
        window.SetCallLog(&log);
        window.Refill();
        CCallStatsDlg* stats = window.OnStatistics();
        stats->SetNow([] { return kNow; });
        stats->Refresh();
        QVERIFY(QTest::qWaitForWindowExposed(stats));
        const QList<int> sums = SetSums(stats->Chart());
        QVERIFY(sums[0] > 0 && sums[1] > 0 && sums[2] > 0);
        QVERIFY(stats->TopCallers()->rowCount() >= 3);
        QVERIFY(stats->TopCallers()->item(0, 2)->text().toInt() >= stats->TopCallers()->item(1, 2)->text().toInt());
        SaveScreenshot(stats, "call_statistics");
    }
};

QTEST_MAIN(TestCallStatsDlg)
#include "TestCallStatsDlg.moc"
