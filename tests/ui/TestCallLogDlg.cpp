// The call log window: cell texts and icons, rows in store order, what the commands, keys and
// mouse post to the controller, the rows following the controller's confirmations, and the
// column fitting over the rows on screen with the window's width rule.
#include "ListWindowTestSupport.h"
#include "UiTestSupport.h"
#include "core/CWindowHost.h"
#include "records/CCallLog.h"
#include "support/TempDir.h"
#include "ui/CCallLogDlg.h"
#include "ui/CCallLogModel.h"
#include "ui/CIcons.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QClipboard>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QStyle>
#include <QtTest>

#include <cstdlib>
#include <ctime>
#include <memory>

namespace {

// 2023-11-14 22:13:20 UTC; the tests run with TZ=UTC.
constexpr std::int64_t kStart = 1700000000;

std::unique_ptr<CCallLogRecord> Record(const std::string& name, const std::string& number, bool outgoing,
                                       bool connected, std::int32_t duration, std::int32_t port) {
    return std::make_unique<CCallLogRecord>(name, number, outgoing, connected, kStart, duration, port);
}

QImage IconImage(const QVariant& decoration) {
    return qvariant_cast<QIcon>(decoration).pixmap(16, 16).toImage();
}

} // namespace

class TestCallLogDlg : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<CCallLog> m_log;
    SController m_controller;
    std::unique_ptr<CCallLogDlg> m_dlg;

    // Three records: Ann (newest), Bob, Cid (oldest).
    void MakeWindow() {
        m_dir = std::make_unique<TempDir>();
        m_log = std::make_unique<CCallLog>(m_dir->File("RV.log"), "408");
        m_log->Add(Record("Cid Old", "4085550003", false, false, 7, 0));
        m_log->Add(Record("Bob Mid", "14085550002", true, true, 3600, 1));
        m_log->Add(Record("Ann New", "", false, true, 125, -1));
        m_controller = SController();
        m_dlg = std::make_unique<CCallLogDlg>(m_controller.Post(), m_controller.Command());
        m_dlg->SetCallLog(m_log.get());
        m_dlg->Refill();
        m_dlg->resize(m_dlg->width(), 300);
        m_dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
    }

    // What the controller does with a delete request: remove, then tell the window.
    void Confirm(const CMessage& msg) {
        QCOMPARE(msg.id, WM_RV_LOG_DELETE_RECORD);
        m_log->Remove(msg.Keys());
        m_dlg->HandleMessage(msg);
    }

    QPoint CellCenter(int row, int column) const {
        return m_dlg->View()->visualRect(m_dlg->View()->model()->index(row, column)).center();
    }

    void SelectRows(std::initializer_list<int> rows) { SelectListRows(m_dlg->View(), rows); }

private slots:
    void initTestCase() {
        qputenv("TZ", "UTC");
        tzset();
    }

    void init() { MakeWindow(); }

    void cleanup() {
        m_dlg.reset();
        m_log.reset();
        m_dir.reset();
    }

    void cellTexts_data() {
        QTest::addColumn<int>("duration");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("durationText");
        QTest::addColumn<QString>("portText");
        QTest::newRow("two minutes five") << 125 << 0 << "2:05"
                                          << "1";
        QTest::newRow("one hour") << 3600 << 1 << "60:00"
                                  << "2";
        QTest::newRow("seconds only") << 7 << -1 << "0:07"
                                      << "";
        QTest::newRow("nothing") << 0 << 0 << "0:00"
                                 << "1";
    }

    void cellTexts() {
        QFETCH(int, duration);
        QFETCH(int, port);
        QFETCH(QString, durationText);
        QFETCH(QString, portText);
        const CCallLogRecord record("Ann Lee", "4085551212", false, true, kStart, duration, port);
        QCOMPARE(CCallLogModel::CellText(record, CCallLogModel::ColName), std::string("Ann Lee"));
        QCOMPARE(CCallLogModel::CellText(record, CCallLogModel::ColNumber), std::string("4085551212"));
        QCOMPARE(CCallLogModel::CellText(record, CCallLogModel::ColTime), std::string("2023-11-14 22:13:20"));
        QCOMPARE(QString::fromStdString(CCallLogModel::CellText(record, CCallLogModel::ColDuration)), durationText);
        QCOMPARE(QString::fromStdString(CCallLogModel::CellText(record, CCallLogModel::ColPort)), portText);
    }

    void iconsByDirectionAndAnswer_data() {
        QTest::addColumn<bool>("outgoing");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("icon");
        QTest::newRow("answered incoming") << false << true << 0 << int(EIcon::CallInAnswered);
        QTest::newRow("answered outgoing") << true << true << 1 << int(EIcon::CallOutAnswered);
        QTest::newRow("missed incoming") << false << false << 2 << int(EIcon::CallInMissed);
        QTest::newRow("unanswered outgoing") << true << false << 3 << int(EIcon::CallOutUnanswered);
    }

    void iconsByDirectionAndAnswer() {
        QFETCH(bool, outgoing);
        QFETCH(bool, connected);
        QFETCH(int, index);
        QFETCH(int, icon);
        const CCallLogRecord record("X", "1", outgoing, connected, kStart, 1, 0);
        QCOMPARE(CCallLogModel::IconIndex(record), index);
        m_log->Add(std::make_unique<CCallLogRecord>(record));
        m_dlg->Refill();
        const QImage shown = IconImage(m_dlg->Model()->index(0, 0).data(Qt::DecorationRole));
        QCOMPARE(shown, CIcons::Icon(static_cast<EIcon>(icon)).pixmap(16, 16).toImage());
        // Only the name column has an icon.
        QVERIFY(!m_dlg->Model()->index(0, 1).data(Qt::DecorationRole).isValid());
    }

    void rowsFollowTheStoreAndTheController() {
        QAbstractItemModelTester tester(m_dlg->Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        CCallLogModel* model = m_dlg->Model();
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(model->index(0, 0).data().toString(), QString("Ann New"));
        QCOMPARE(model->index(2, 0).data().toString(), QString("Cid Old"));
        QCOMPARE(model->index(0, CCallLogModel::ColPort).data().toString(), QString());
        QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), QString("Duration"));

        // A record added by call control shows as the top row.
        m_log->Add(Record("Dan Newest", "4085550004", true, false, 5, 1));
        m_dlg->HandleMessage(CMessage::WithKey(WM_RV_LOG_ADD_RECORD, m_log->GetAt(0)->m_id));
        QCOMPARE(model->rowCount(), 4);
        QCOMPARE(model->index(0, 0).data().toString(), QString("Dan Newest"));

        // A removal the controller confirms takes exactly that row.
        const std::uint64_t bob = model->IdAt(2);
        Confirm(CMessage::WithKey(WM_RV_LOG_DELETE_RECORD, bob));
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(model->RowOf(bob), -1);
        QCOMPARE(model->index(2, 0).data().toString(), QString("Cid Old"));
        // An unknown id changes nothing.
        QVERIFY(m_dlg->HandleMessage(CMessage::WithKey(WM_RV_LOG_DELETE_RECORD, 999999)));
        QCOMPARE(model->rowCount(), 3);
        // The controller's refill after renaming shows the new names.
        m_log->Rename("4085550003", "Cid Renamed");
        m_dlg->Refill();
        QCOMPARE(model->index(2, 0).data().toString(), QString("Cid Renamed"));
    }

    void rowOfAFreedRecordIsNeverRead() {
        // The store frees the record before the controller's confirmation reaches the window.
        const std::uint64_t id = m_dlg->Model()->IdAt(0);
        m_log->Remove(id);
        QVERIFY(!m_dlg->Model()->index(0, 0).data().isValid());
        m_dlg->OnDoubleClickRow(0);
        QVERIFY(m_controller.posted.empty());
        m_dlg->HandleMessage(CMessage::WithKey(WM_RV_LOG_DELETE_RECORD, id));
        QCOMPARE(m_dlg->Model()->rowCount(), 2);
    }

    void deletingThreeRowsPostsOneRequest() {
        SelectRows({0, 1, 2});
        m_dlg->findChild<QAction*>("actionDelete")->trigger();
        QCOMPARE(m_controller.posted.size(), std::size_t(1)); // one request: one save
        // Nothing goes before the controller confirms.
        QCOMPARE(m_dlg->Model()->rowCount(), 3);
        const std::vector<std::uint64_t> ids = {m_dlg->Model()->IdAt(0), m_dlg->Model()->IdAt(1),
                                                m_dlg->Model()->IdAt(2)};
        QCOMPARE(m_controller.posted[0].Keys(), ids);
        Confirm(m_controller.posted[0]);
        QCOMPARE(m_dlg->Model()->rowCount(), 0);
        QCOMPARE(m_log->GetCount(), std::size_t(0));
    }

    void deleteKeyDeletesTheSelectionAndNothingWithoutOne() {
        m_dlg->View()->setFocus();
        m_dlg->View()->selectionModel()->clearSelection();
        QTest::keyClick(m_dlg->View(), Qt::Key_Delete);
        QVERIFY(m_controller.posted.empty());
        SelectRows({2});
        QTest::keyClick(m_dlg->View(), Qt::Key_Delete);
        QCOMPARE(m_controller.posted.size(), std::size_t(1));
        QCOMPARE(m_controller.posted[0].key, m_dlg->Model()->IdAt(2));
    }

    void toPhoneBookSendsTheFirstSelectedRecord() {
        m_dlg->View()->selectionModel()->clearSelection();
        m_dlg->OnToPhoneBook();
        QVERIFY(m_controller.posted.empty());
        SelectRows({2, 1});
        m_dlg->findChild<QAction*>("actionToPhoneBook")->trigger();
        QCOMPARE(m_controller.posted.size(), std::size_t(1));
        QCOMPARE(m_controller.posted[0].id, WM_RV_LOG_TO_PHONE_BOOK);
        QCOMPARE(m_controller.posted[0].key, m_dlg->Model()->IdAt(1));
    }

    void hideSendsTheViewCommand() {
        m_dlg->findChild<QAction*>("actionHide")->trigger();
        QCOMPARE(m_controller.commands, std::vector<int>{32779});
    }

    void doubleClickDialsWithoutTheLeadingOne() {
        QWidget* viewport = m_dlg->View()->viewport();
        // Bob's number is 1 followed by ten digits.
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, CellCenter(1, CCallLogModel::ColNumber));
        QCOMPARE(m_controller.posted.size(), std::size_t(1));
        QCOMPARE(m_controller.posted[0].id, WM_RV_DIAL_NUMBER);
        QCOMPARE(m_controller.posted[0].text, std::string("4085550002"));
        // Ann has no number: the controller is asked to dial an empty string.
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, CellCenter(0, CCallLogModel::ColTime));
        QCOMPARE(m_controller.posted.size(), std::size_t(2));
        QCOMPARE(m_controller.posted[1].text, std::string());
        // Below the last row nothing is hit.
        const QRect last = m_dlg->View()->visualRect(m_dlg->View()->model()->index(2, 1));
        QVERIFY(last.bottom() + 20 < viewport->height());
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, QPoint(last.center().x(), last.bottom() + 15));
        QCOMPARE(m_controller.posted.size(), std::size_t(2));
    }

    void rowActionsAndUndo() {
        QCOMPARE(m_dlg->RowMenu()->actions().size(), 6);
        SelectRows({1});
        m_dlg->findChild<QAction*>("actionCallBack")->trigger();
        QTest::keyClick(m_dlg->View(), Qt::Key_Return);
        m_dlg->findChild<QAction*>("actionBlockCaller")->trigger();
        m_dlg->findChild<QAction*>("actionAddToPhoneBook")->trigger();
        m_dlg->findChild<QAction*>("actionCopyNumber")->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("14085550002"));
        const std::uint64_t bob = m_dlg->Model()->IdAt(1);
        std::vector<std::pair<EMessageId, std::string>> posted;
        for (const CMessage& m : m_controller.posted) {
            posted.emplace_back(m.id, m.id == WM_RV_DIAL_NUMBER ? m.text : std::to_string(m.key == bob));
        }
        QCOMPARE(posted, (std::vector<std::pair<EMessageId, std::string>>{{WM_RV_DIAL_NUMBER, "4085550002"},
                                                                          {WM_RV_DIAL_NUMBER, "4085550002"},
                                                                          {WM_RV_LOG_BLOCK_CALLER, "1"},
                                                                          {WM_RV_LOG_TO_PHONE_BOOK, "1"}}));
        // A record without a number cannot be blocked.
        SelectRows({0});
        m_dlg->findChild<QAction*>("actionBlockCaller")->trigger();
        QCOMPARE(m_controller.posted.size(), std::size_t(4));

        // Undo puts the rows back where the store has them, below a record added since.
        QAction* undo = m_dlg->findChild<QAction*>("actionUndo");
        QVERIFY(!undo->isEnabled());
        auto taken = m_log->Take(std::vector<std::uint64_t>{bob});
        m_dlg->HandleMessage(CMessage::WithKeys(WM_RV_LOG_DELETE_RECORD, {bob}));
        m_dlg->HandleMessage(CMessage::Make(WM_RV_UNDO_AVAILABLE, 1));
        m_log->Add(Record("Dee Newest", "4085550009", false, true, 5, 0));
        m_dlg->HandleMessage(CMessage::WithKey(WM_RV_LOG_ADD_RECORD, m_log->GetAt(0)->m_id));
        QTest::keyClick(m_dlg->View(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(m_controller.commands.back(), cmd::kUndoCallLogDelete);
        m_log->Restore(std::move(taken));
        m_dlg->HandleMessage(CMessage::WithKeys(WM_RV_RESTORED, {bob}));
        QCOMPARE(m_dlg->Model()->IdAt(2), bob);
        QCOMPARE(m_dlg->Model()->rowCount(), 4);
        m_dlg->findChild<QAction*>("actionExport")->trigger();
        QCOMPARE(m_controller.commands.back(), cmd::kCallLogExport);
    }

    void windowIsModelessWithoutACloseBox() {
        QVERIFY(m_dlg->isWindow());
        QVERIFY(!m_dlg->isModal());
        QVERIFY(!(m_dlg->windowFlags() & Qt::WindowCloseButtonHint));
        QCOMPARE(m_dlg->windowTitle(), QString("Call Log"));
        QVERIFY(m_dlg->View()->selectionMode() == QAbstractItemView::ExtendedSelection);
        SaveScreenshot(m_dlg.get(), "call_log_window");
    }

    void fittingWidensToTheRowsOnScreenAndSizesTheWindow() {
        const int margin = m_dlg->width() - m_dlg->View()->width();
        const int scroll = m_dlg->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        // Many rows; a very long name far below the visible page, then one at the top.
        for (int i = 0; i < 200; ++i) {
            m_log->Add(Record(i == 0 ? std::string(120, 'W') : "Short", "4085550100", false, true, 1, 0));
        }
        m_log->Add(Record("Ann", "4085550101", false, true, 1, 0));
        m_dlg->Refill();
        const int plainName = m_dlg->View()->columnWidth(0);
        QVERIFY(plainName < m_dlg->TextWidth(QString(120, 'W')));
        int sum = 0;
        for (int c = 0; c < CCallLogModel::ColCount; ++c) {
            sum += m_dlg->View()->columnWidth(c);
        }
        QCOMPARE(m_dlg->width(), scroll + margin + sum + 8);

        m_log->Add(Record(std::string(60, 'M'), "4085550102", false, true, 1, 0));
        m_dlg->HandleMessage(CMessage::WithKey(WM_RV_LOG_ADD_RECORD, m_log->GetAt(0)->m_id));
        QCOMPARE(m_dlg->View()->columnWidth(0), m_dlg->TextWidth(QString(60, 'M')) + 34);
        // The Time column is never narrower than its widest time text + 16.
        QVERIFY(m_dlg->View()->columnWidth(CCallLogModel::ColTime) >=
                m_dlg->TextWidth(QStringLiteral("2023-11-14 22:13:20")) + 16);
        SaveScreenshot(m_dlg.get(), "call_log_window_wide");
    }

    void fittingAnEmptyListChangesNothing() {
        m_log = std::make_unique<CCallLog>(m_dir->File("empty.log"), "408");
        m_dlg->SetCallLog(m_log.get());
        m_dlg->View()->setColumnWidth(0, 333);
        const int width = m_dlg->width();
        m_dlg->Refill();
        QCOMPARE(m_dlg->View()->columnWidth(0), 333);
        QCOMPARE(m_dlg->width(), width);
    }
};

QTEST_MAIN(TestCallLogDlg)
#include "TestCallLogDlg.moc"
