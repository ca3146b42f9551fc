// The phone book window and the entry dialog: columns from the mask and their toggles, the
// sort order of every column and the header click, cell texts, what New / Edit / "To Phone
// Book" / Delete / Clear Totals / icon clicks post to the controller, the rows following the
// controller's answers, and the "&Open..." file dialog. No dialog is ever run modally.
#include "ListWindowTestSupport.h"
#include "UiTestSupport.h"
#include "core/CWindowHost.h"
#include "records/CCallLog.h"
#include "records/CPhoneBook.h"
#include "support/TempDir.h"
#include "ui/CListFilterModel.h"
#include "ui/CPhoneBookDlg.h"
#include "ui/CPhoneBookEntryDlg.h"
#include "ui/CPhoneBookModel.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include <ctime>
#include <memory>

namespace {

constexpr std::int64_t kT0 = 1700000000; // 2023-11-14 22:13:20 UTC; the tests run with TZ=UTC

std::shared_ptr<CPhoneBookEntry> PostedEntry(const CMessage& msg) {
    return std::any_cast<std::shared_ptr<CPhoneBookEntry>>(msg.object);
}

// An entry with incoming (and optionally outgoing) statistics.
std::unique_ptr<CPhoneBookEntry> Entry(const std::string& last, const std::string& first, const std::string& number) {
    return std::make_unique<CPhoneBookEntry>(number, last, first, "", "");
}

void SetIncoming(CPhoneBookEntry& e, std::int64_t last, std::int32_t span, std::int32_t count, std::int32_t total) {
    e.m_bHasIncoming = true;
    e.m_timeLastIncoming = last;
    e.m_spanLastIncoming = span;
    e.m_nIncomingCalls = count;
    e.m_spanTotalIncoming = total;
}

void SetOutgoing(CPhoneBookEntry& e, std::int64_t last, std::int32_t span, std::int32_t count, std::int32_t total) {
    e.m_bHasOutgoing = true;
    e.m_timeLastOutgoing = last;
    e.m_spanLastOutgoing = span;
    e.m_nOutgoingCalls = count;
    e.m_spanTotalOutgoing = total;
}

// The last names of the rows, top to bottom.
QStringList RowNames(const CPhoneBookModel& model) {
    QStringList names;
    for (int r = 0; r < model.rowCount(); ++r) {
        names << QString::fromStdString(model.EntryAt(r)->m_strLastName);
    }
    return names;
}

QStringList Headings(const CPhoneBookModel& model) {
    QStringList headings;
    for (int c = 0; c < model.columnCount(); ++c) {
        headings << model.headerData(c, Qt::Horizontal).toString();
    }
    return headings;
}

} // namespace

class TestPhoneBookDlg : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<CPhoneBook> m_book;
    CSettings m_settings;
    SController m_controller;
    std::unique_ptr<CPhoneBookDlg> m_dlg;

    void MakeWindow(std::uint32_t mask = 0xFFFF, int sortColumn = 0) {
        m_settings = CSettings();
        m_settings.m_dwPhoneBookColumnMask = mask;
        m_settings.m_nPhoneBookSortColumn = sortColumn;
        m_controller = SController();
        m_dlg = std::make_unique<CPhoneBookDlg>(m_settings, m_controller.Post(), m_controller.Command());
        m_dlg->SetEntryDialogRunner([](CPhoneBookEntryDlg&) {
            qFatal("an entry dialog was opened without the test expecting it");
            return false;
        });
        m_dlg->SetPhoneBook(m_book.get());
        m_dlg->Fill();
        m_dlg->resize(m_dlg->width(), 320);
        m_dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
    }

    // Four entries: Lee (ignored, incoming), Abbot (outgoing 5), lee (outgoing 3), Baker
    // (outgoing 3, incoming later than Lee).
    void MakeBook() {
        m_dir = std::make_unique<TempDir>();
        m_book = std::make_unique<CPhoneBook>(m_dir->File("RV.pbk"), "408");
        auto lee = Entry("Lee", "Ann", "4085550001");
        lee->m_strCompany = "Zeta";
        lee->m_dwFlags = PBF_IGNORE;
        SetIncoming(*lee, kT0, 65, 2, 190);
        auto abbot = Entry("Abbot", "Bo", "4085550002");
        SetOutgoing(*abbot, kT0, 10, 5, 300);
        auto lower = Entry("lee", "al", "5550003");
        SetOutgoing(*lower, kT0 - 50, 20, 3, 60);
        auto baker = Entry("Baker", "Cy", "14085550004");
        baker->m_strCompany = "Acme";
        SetOutgoing(*baker, kT0 - 100, 30, 3, 90);
        SetIncoming(*baker, kT0 + 60, 5, 1, 5);
        m_book->Add(std::move(lee));
        m_book->Add(std::move(abbot));
        m_book->Add(std::move(lower));
        m_book->Add(std::move(baker));
    }

    int RowOfLastName(const std::string& last) const {
        for (int r = 0; r < m_dlg->Model()->rowCount(); ++r) {
            if (m_dlg->Model()->EntryAt(r)->m_strLastName == last) {
                return r;
            }
        }
        return -1;
    }

    void SelectRows(std::initializer_list<int> rows) { SelectListRows(m_dlg->View(), rows); }

    // Runs the next entry dialog through fn (which may check and type), then presses OK or
    // Cancel. Returns how many dialogs ran.
    int m_dialogsRun = 0;
    void NextDialog(std::function<void(CPhoneBookEntryDlg&)> fn, bool ok) {
        m_dlg->SetEntryDialogRunner([this, fn, ok](CPhoneBookEntryDlg& dialog) {
            ++m_dialogsRun;
            fn(dialog);
            QTest::mouseClick(ok ? dialog.OkButton() : dialog.CancelButton(), Qt::LeftButton);
            return dialog.result() == QDialog::Accepted;
        });
    }

    static void Retype(QLineEdit* edit, const QString& text) {
        edit->clear();
        QTest::keyClicks(edit, text);
    }

private slots:
    void initTestCase() {
        qputenv("TZ", "UTC");
        tzset();
    }

    void init() {
        m_dialogsRun = 0;
        MakeBook();
        MakeWindow();
    }

    void cleanup() {
        m_dlg.reset();
        m_book.reset();
        m_dir.reset();
    }

    void columnBitsFromTheMask_data() {
        QTest::addColumn<uint>("mask");
        QTest::addColumn<QList<int>>("bits");
        QTest::newRow("all") << 0xFFFFu << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        QTest::newRow("name and number") << 0x0009u << QList<int>{0, 3};
        QTest::newRow("name shown without its bit") << 0x0008u << QList<int>{0, 3};
        QTest::newRow("bits 13-15 mean nothing") << 0xE009u << QList<int>{0, 3};
        QTest::newRow("company and memo hidden") << 0x1FF9u << QList<int>{0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    }

    void columnBitsFromTheMask() {
        QFETCH(uint, mask);
        QFETCH(QList<int>, bits);
        const std::vector<int> got = CPhoneBookModel::ColumnBitsFor(mask);
        QCOMPARE(QList<int>(got.begin(), got.end()), bits);
    }

    void memoToggleGoesFromThirteenToTwelveAndBack() {
        QAbstractItemModelTester tester(m_dlg->Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(m_dlg->Model()->columnCount(), 13);
        QCOMPARE(Headings(*m_dlg->Model()),
                 QStringList({"Name", "Company", "Memo", "Number", "Flags", "Last Incoming", "Duration", "Count",
                              "Total", "Last Outgoing", "Duration", "Count", "Total"}));
        QAction* memo = m_dlg->findChild<QAction*>("actionColumn2");
        QVERIFY(memo != nullptr);
        QCOMPARE(memo->text(), QString("Memo"));
        memo->trigger();
        QCOMPARE(m_settings.m_dwPhoneBookColumnMask, 0xFFFBu);
        QTRY_COMPARE(m_dlg->Model()->columnCount(), 12);
        QVERIFY(!Headings(*m_dlg->Model()).contains("Memo"));
        QCOMPARE(m_dlg->Model()->rowCount(), 4);
        memo->trigger();
        QTRY_COMPARE(m_dlg->Model()->columnCount(), 13);
        QCOMPARE(m_dlg->View()->header()->count(), 13);
        QCOMPARE(m_dlg->Model()->rowCount(), 4);
    }

    void menuCheckMarksFollowTheSettings() {
        QMenu* columns = m_dlg->ColumnsMenu();
        QCOMPARE(columns->actions().size(), 10);
        QStringList texts;
        for (QAction* a : columns->actions()) {
            texts << a->text();
        }
        QCOMPARE(texts, QStringList({"Company", "Memo", "Last Incoming Time", "Last Incoming Duration",
                                     "Total Incoming Calls", "Total Incoming Time", "Last Outgoing Time",
                                     "Last Outgoing Duration", "Total Outgoing Calls", "Total Outgoing Time"}));
        m_settings.m_dwPhoneBookColumnMask = 0xFFFF & ~(1u << 7);
        m_settings.m_bIncompleteCallsToPhoneBook = true;
        m_dlg->UpdateMenuChecks();
        for (QAction* a : columns->actions()) {
            QCOMPARE(a->isChecked(), a->data().toInt() != 32794);
        }
        QAction* incomplete = m_dlg->findChild<QAction*>("actionLogIncompleteCalls");
        QVERIFY(incomplete->isChecked());
        m_settings.m_bIncompleteCallsToPhoneBook = false;
        m_dlg->UpdateMenuChecks();
        QVERIFY(!incomplete->isChecked());
        // The option itself is the controller's.
        incomplete->trigger();
        QCOMPARE(m_controller.commands, std::vector<int>{32800});
        m_dlg->findChild<QAction*>("actionHide")->trigger();
        QCOMPARE(m_controller.commands, (std::vector<int>{32800, 32778}));
    }

    void compareOrders_data() {
        QTest::addColumn<int>("bit");
        QTest::addColumn<QStringList>("order");
        // Name order is strcmp order: upper case before lower case.
        QTest::newRow("name") << 0 << QStringList{"Abbot", "Baker", "Lee", "lee"};
        QTest::newRow("company, ties in name order") << 1 << QStringList{"Abbot", "lee", "Baker", "Lee"};
        QTest::newRow("number") << 3 << QStringList{"Baker", "Lee", "Abbot", "lee"};
        QTest::newRow("flags: ignored first") << 4 << QStringList{"Lee", "Abbot", "Baker", "lee"};
        QTest::newRow("last incoming: latest first, never last") << 5 << QStringList{"Baker", "Lee", "Abbot", "lee"};
        QTest::newRow("incoming count") << 7 << QStringList{"Lee", "Baker", "Abbot", "lee"};
        QTest::newRow("last outgoing") << 9 << QStringList{"Abbot", "lee", "Baker", "Lee"};
        QTest::newRow("outgoing duration") << 10 << QStringList{"Baker", "lee", "Abbot", "Lee"};
        QTest::newRow("outgoing count: 5, then 3s in name order") << 11 << QStringList{"Abbot", "Baker", "lee", "Lee"};
        QTest::newRow("outgoing total") << 12 << QStringList{"Abbot", "Baker", "lee", "Lee"};
    }

    void compareOrders() {
        QFETCH(int, bit);
        QFETCH(QStringList, order);
        QAbstractItemModelTester tester(m_dlg->Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        m_dlg->OnHeaderClicked(m_dlg->Model()->ColumnOfBit(bit));
        QCOMPARE(m_settings.m_nPhoneBookSortColumn, bit);
        QCOMPARE(RowNames(*m_dlg->Model()), order);
        // No descending toggle: the same click again keeps the order.
        m_dlg->OnHeaderClicked(m_dlg->Model()->ColumnOfBit(bit));
        QCOMPARE(RowNames(*m_dlg->Model()), order);
    }

    void compareRules_data() {
        QTest::addColumn<int>("bit");
        QTest::addColumn<int>("expected");
        QTest::newRow("same flags fall back to name") << 4 << -1;
        QTest::newRow("unknown column: all equal") << 13 << 0;
        QTest::newRow("negative column: all equal") << -1 << 0;
    }

    void compareRules() {
        QFETCH(int, bit);
        QFETCH(int, expected);
        CPhoneBookEntry a("1", "Able", "", "", "");
        CPhoneBookEntry b("1", "Zed", "", "", "");
        QCOMPARE(CPhoneBookModel::Compare(a, b, bit) < 0 ? -1 : (CPhoneBookModel::Compare(a, b, bit) > 0 ? 1 : 0),
                 expected);
    }

    void flagWordsWithMoreBitsComeFirst() {
        CPhoneBookEntry one("1", "Zed", "", "", "");
        one.m_dwFlags = 0x1;
        CPhoneBookEntry two("1", "Able", "", "", "");
        two.m_dwFlags = 0x6;
        CPhoneBookEntry other("1", "Able", "", "", "");
        other.m_dwFlags = 0x2;
        QVERIFY(CPhoneBookModel::Compare(two, one, 4) < 0);
        // Same number of bits, different words: a consistent order, both ways.
        QVERIFY(CPhoneBookModel::Compare(one, other, 4) == -CPhoneBookModel::Compare(other, one, 4));
        QVERIFY(CPhoneBookModel::Compare(one, other, 4) != 0);
    }

    void headerClickWithCompanyAndMemoHiddenSortsByFlags() {
        MakeWindow(0xFFF9);
        QCOMPARE(m_dlg->Model()->BitOfColumn(2), 4);
        QHeaderView* header = m_dlg->View()->header();
        const QPoint at(header->sectionViewportPosition(2) + header->sectionSize(2) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(m_settings.m_nPhoneBookSortColumn, 4);
        QCOMPARE(RowNames(*m_dlg->Model()).front(), QString("Lee"));
    }

    void cellTexts() {
        CPhoneBookModel* model = m_dlg->Model();
        const int lee = RowOfLastName("Lee");
        const int abbot = RowOfLastName("Abbot");
        const auto cell = [&](int row, int bit) {
            return model->index(row, model->ColumnOfBit(bit)).data().toString();
        };
        QCOMPARE(cell(lee, 0), QString("Ann Lee"));
        QCOMPARE(cell(lee, 1), QString("Zeta"));
        QCOMPARE(cell(lee, 3), QString("4085550001"));
        QCOMPARE(cell(lee, 4), QString("I"));
        QCOMPARE(cell(lee, 5), QString("2023-11-14 22:13:20"));
        QCOMPARE(cell(lee, 6), QString("1:05"));
        QCOMPARE(cell(lee, 7), QString("2"));
        QCOMPARE(cell(lee, 8), QString("3:10"));
        // No outgoing call recorded: those cells are empty even though counts are stored.
        for (int bit = 9; bit <= 12; ++bit) {
            QCOMPARE(cell(lee, bit), QString());
        }
        QCOMPARE(cell(abbot, 4), QString());
        QCOMPARE(cell(abbot, 11), QString("5"));
        QCOMPARE(cell(abbot, 12), QString("5:00"));
        // The short number was filed with the area code.
        QCOMPARE(cell(RowOfLastName("lee"), 3), QString("4085550003"));
        // Name left, everything else centred.
        QCOMPARE(model->index(0, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
                 Qt::AlignLeft);
        QCOMPARE(model->index(0, 3).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
                 Qt::AlignHCenter);
        QVERIFY(model->index(0, 0).data(Qt::DecorationRole).isValid());
        SaveScreenshot(m_dlg.get(), "phone_book_window");
    }

    void clearTotalsPostsPerRowAndTheRefreshKeepsLastCalls() {
        const int lee = RowOfLastName("Lee");
        SelectRows({lee, RowOfLastName("Baker")});
        m_dlg->findChild<QAction*>("actionClearTotals")->trigger();
        QCOMPARE(m_controller.posted.size(), std::size_t(2));
        for (const CMessage& msg : m_controller.posted) {
            QCOMPARE(msg.id, WM_RV_PB_CLEAR_TOTALS);
            QVERIFY(m_book->ClearTotals(msg.key));
            m_dlg->HandleMessage(msg);
        }
        CPhoneBookModel* model = m_dlg->Model();
        const int row = RowOfLastName("Lee");
        QCOMPARE(model->index(row, model->ColumnOfBit(7)).data().toString(), QString("0"));
        QCOMPARE(model->index(row, model->ColumnOfBit(8)).data().toString(), QString("0:00"));
        QCOMPARE(model->index(row, model->ColumnOfBit(5)).data().toString(), QString("2023-11-14 22:13:20"));
        QCOMPARE(model->index(row, model->ColumnOfBit(6)).data().toString(), QString("1:05"));
    }

    void refreshAfterACallResorts() {
        m_dlg->OnHeaderClicked(m_dlg->Model()->ColumnOfBit(7)); // incoming count
        QCOMPARE(RowNames(*m_dlg->Model()).front(), QString("Lee"));
        SelectRows({RowOfLastName("Abbot")});
        for (int i = 0; i < 3; ++i) {
            m_book->RecordCall("4085550002", false, kT0 + 100 + i, 10);
        }
        m_dlg->RefreshEntry(m_book->Find("4085550002")->m_id);
        QCOMPARE(RowNames(*m_dlg->Model()).front(), QString("Abbot"));
        // The selection moved with the row.
        QCOMPARE(m_dlg->View()->SelectedRows(), std::vector<int>{0});
    }

    // An entry needs a number, and both number fields hold digits only, also where the text
    // came from a file rather than from the keyboard.
    void entryDialogRefusesWhatIsNoNumber() {
        const struct {
            const char* area;
            const char* number;
            const char* refusal; // null: accepted
        } cases[] = {{"408", "5551212", nullptr},
                     {"", "5551212", nullptr},
                     {"408", "", CPhoneBookEntryDlg::kNumberMessage},
                     {"408", "555-1212", CPhoneBookEntryDlg::kNumberMessage},
                     {"4O8", "5551212", CPhoneBookEntryDlg::kAreaMessage}};
        for (const auto& c : cases) {
            MessageRecorder messages;
            CPhoneBookEntryDlg dialog(messages.Fn());
            dialog.m_strArea = c.area;
            dialog.m_strNumber = c.number;
            dialog.UpdateControls();
            dialog.show();
            QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
            QVERIFY2((dialog.result() == QDialog::Accepted) == (c.refusal == nullptr), c.number);
            QCOMPARE(messages.messages, c.refusal ? std::vector<std::string>{c.refusal} : std::vector<std::string>{});
        }
    }

    void newEntryFromTheDialog() {
        QAbstractItemModelTester tester(m_dlg->Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        NextDialog(
            [](CPhoneBookEntryDlg& d) {
                QCOMPARE(d.windowTitle(), QString("PhoneBook Entry"));
                QCOMPARE(d.AreaEdit()->text(), QString("408"));
                QCOMPARE(d.NumberEdit()->text(), QString());
                QVERIFY(d.AreaEdit()->alignment() & Qt::AlignHCenter);
                // Digits only; the area takes at most three.
                Retype(d.AreaEdit(), "6a5x0123");
                QCOMPARE(d.AreaEdit()->text(), QString("650"));
                QTest::keyClicks(d.NumberEdit(), "555-12 34");
                QCOMPARE(d.NumberEdit()->text(), QString("5551234"));
                QTest::keyClicks(d.LastNameEdit(), "Nguyen");
                QTest::keyClicks(d.FirstNameEdit(), "Kim");
                QTest::keyClicks(d.CompanyEdit(), "Initech");
                QTest::keyClicks(d.MemoEdit(), "cell");
                d.IgnoreCheck()->setChecked(true);
                SaveScreenshot(&d, "phone_book_entry_dialog");
            },
            true);
        m_dlg->View()->setFocus();
        QTest::keyClick(m_dlg->View(), Qt::Key_Insert);
        QCOMPARE(m_dialogsRun, 1);
        QCOMPARE(m_controller.posted.size(), std::size_t(1));
        const CMessage msg = m_controller.posted[0];
        QCOMPARE(msg.id, WM_RV_PB_ADD_ENTRY);
        const auto entry = PostedEntry(msg);
        QCOMPARE(entry->m_strNumber, std::string("6505551234"));
        QCOMPARE(entry->m_strLastName, std::string("Nguyen"));
        QCOMPARE(entry->m_strFirstName, std::string("Kim"));
        QCOMPARE(entry->m_strCompany, std::string("Initech"));
        QCOMPARE(entry->m_strMemo, std::string("cell"));
        QCOMPARE(entry->m_dwFlags, PBF_IGNORE);
        QVERIFY(!entry->m_bHasIncoming && !entry->m_bHasOutgoing);

        // The controller files it and tells the window: the row goes to its sorted place.
        const int index = m_book->Add(std::make_unique<CPhoneBookEntry>(*entry));
        CMessage added =
            CMessage::WithKey(WM_RV_PB_ADD_ENTRY, m_book->GetAt(static_cast<std::size_t>(index))->m_id, index);
        m_dlg->HandleMessage(added);
        QCOMPARE(RowNames(*m_dlg->Model()), QStringList({"Abbot", "Baker", "Lee", "Nguyen", "lee"}));
    }

    void cancelPostsNothing() {
        NextDialog([](CPhoneBookEntryDlg& d) { QTest::keyClicks(d.LastNameEdit(), "Nobody"); }, false);
        m_dlg->findChild<QAction*>("actionNew")->trigger();
        QCOMPARE(m_dialogsRun, 1);
        QVERIFY(m_controller.posted.empty());
    }

    void editSplitsAreaAndNumberAndClearsOtherFlagBits() {
        const CPhoneBookEntry* lee = m_book->Find("4085550001");
        m_book->Replace(lee->m_id, [&] {
            auto copy = std::make_unique<CPhoneBookEntry>(*lee);
            copy->m_dwFlags = 3;
            return copy;
        }());
        m_dlg->Fill();
        const std::uint64_t id = m_book->Find("4085550001")->m_id;
        SelectRows({m_dlg->Model()->RowOf(id)});
        NextDialog(
            [](CPhoneBookEntryDlg& d) {
                QCOMPARE(d.AreaEdit()->text(), QString("408"));
                QCOMPARE(d.NumberEdit()->text(), QString("5550001"));
                QCOMPARE(d.LastNameEdit()->text(), QString("Lee"));
                QCOMPARE(d.CompanyEdit()->text(), QString("Zeta"));
                QVERIFY(d.IgnoreCheck()->isChecked());
                d.IgnoreCheck()->setChecked(false);
                Retype(d.NumberEdit(), "5559999");
            },
            true);
        m_dlg->findChild<QAction*>("actionEdit")->trigger();
        QCOMPARE(m_controller.posted.size(), std::size_t(1));
        const CMessage& msg = m_controller.posted[0];
        QCOMPARE(msg.id, WM_RV_PB_REPLACE_ENTRY);
        QCOMPARE(msg.key, id);
        const auto edited = PostedEntry(msg);
        QCOMPARE(edited->m_dwFlags, 0u);
        QCOMPARE(edited->m_strNumber, std::string("4085559999"));
        QCOMPARE(edited->m_strName, std::string("Ann Lee"));
        // Statistics untouched.
        QVERIFY(edited->m_bHasIncoming);
        QCOMPARE(edited->m_nIncomingCalls, 2);
        QCOMPARE(edited->m_spanTotalIncoming, 190);
    }

    void namesFromAWindowsFileShowAndSurviveAnEdit() {
        m_dlg->SetPhoneBook(nullptr);
        WriteFileText(m_dir->File("win.pbk"),
                      "PhoneBookVersion2\r\n\"4085550009\",\"M\xFCller\",\"J\xF6rg\",\"Caf\xE9 "
                      "\xC9toile\",\"\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0\",\"0x0\"\r\n");
        m_book = std::make_unique<CPhoneBook>(m_dir->File("win.pbk"), "408");
        m_dlg->SetPhoneBook(m_book.get());
        m_dlg->Fill();
        const QString name = QString::fromUtf8("J\u00F6rg M\u00FCller");
        const QString company = QString::fromUtf8("Caf\u00E9 \u00C9toile");
        QCOMPARE(m_dlg->Model()->index(0, 0).data().toString(), name);
        QCOMPARE(m_dlg->Model()->index(0, 1).data().toString(), company);
        SelectRows({0});
        NextDialog(
            [&](CPhoneBookEntryDlg& d) {
                QCOMPARE(d.LastNameEdit()->text(), QString::fromUtf8("M\u00FCller"));
                QCOMPARE(d.CompanyEdit()->text(), company);
                QTest::keyClicks(d.MemoEdit(), "new memo");
            },
            true);
        m_dlg->OnEdit();
        QCOMPARE(m_controller.posted.size(), std::size_t(1));
        const auto edited = PostedEntry(m_controller.posted[0]);
        QCOMPARE(QString::fromStdString(edited->m_strName), name);
        QCOMPARE(QString::fromStdString(edited->m_strCompany), company);
        QCOMPARE(edited->m_strMemo, std::string("new memo"));
    }

    void editOfShortNumberAndWithoutSelection() {
        m_dlg->View()->selectionModel()->clearSelection();
        m_dlg->OnEdit(); // no selection: nothing (the runner would fail the test)
        auto shortEntry = Entry("Short", "", "");
        shortEntry->m_strNumber = "";
        m_book->Add(std::move(shortEntry)); // filed as "408"
        m_dlg->Fill();
        SelectRows({RowOfLastName("Short")});
        NextDialog(
            [](CPhoneBookEntryDlg& d) {
                QCOMPARE(d.AreaEdit()->text(), QString("408"));
                QCOMPARE(d.NumberEdit()->text(), QString());
            },
            false);
        m_dlg->OnEdit();
        QCOMPARE(m_dialogsRun, 1);
    }

    void editOfAnEntryDeletedWhileTheDialogWasOpen() {
        const std::uint64_t id = m_book->Find("4085550002")->m_id;
        SelectRows({m_dlg->Model()->RowOf(id)});
        NextDialog([this, id](CPhoneBookEntryDlg&) { m_book->Remove(id); }, true);
        m_dlg->OnEdit();
        QCOMPARE(m_dialogsRun, 1);
        QVERIFY(m_controller.posted.empty());
    }

    void toPhoneBookSplitsTheNumberAndSeedsStatistics_data() {
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("outgoing");
        QTest::addColumn<QString>("area");
        QTest::addColumn<QString>("rest");
        QTest::newRow("seven digits take the store's area code") << "5551212" << true << "408"
                                                                 << "5551212";
        QTest::newRow("eleven digits keep the leading 1") << "16505551212" << false << "165"
                                                          << "05551212";
        QTest::newRow("ten digits") << "6505551212" << false << "650"
                                    << "5551212";
    }

    void toPhoneBookSplitsTheNumberAndSeedsStatistics() {
        QFETCH(QString, number);
        QFETCH(bool, outgoing);
        QFETCH(QString, area);
        QFETCH(QString, rest);
        CCallLog log(m_dir->File("RV.log"), "");
        log.Add(std::make_unique<CCallLogRecord>("Unknown caller", number.toStdString(), outgoing, true, kT0, 125, 0));
        m_dlg->SetCallLog(&log);
        NextDialog(
            [&](CPhoneBookEntryDlg& d) {
                QCOMPARE(d.AreaEdit()->text(), area);
                QCOMPARE(d.NumberEdit()->text(), rest);
                QCOMPARE(d.LastNameEdit()->text(), QString());
                QVERIFY(!d.IgnoreCheck()->isChecked());
                QTest::keyClicks(d.LastNameEdit(), "Caller");
            },
            true);
        QVERIFY(m_dlg->HandleMessage(CMessage::WithKey(WM_RV_LOG_TO_PHONE_BOOK, log.GetAt(0)->m_id)));
        QCOMPARE(m_controller.posted.size(), std::size_t(1));
        const auto entry = PostedEntry(m_controller.posted[0]);
        QCOMPARE(QString::fromStdString(entry->m_strNumber), area + rest);
        QCOMPARE(entry->m_bHasOutgoing, outgoing);
        QCOMPARE(entry->m_bHasIncoming, !outgoing);
        QCOMPARE(outgoing ? entry->m_nOutgoingCalls : entry->m_nIncomingCalls, 1);
        QCOMPARE(outgoing ? entry->m_spanTotalOutgoing : entry->m_spanTotalIncoming, 125);
        QCOMPARE(outgoing ? entry->m_spanLastOutgoing : entry->m_spanLastIncoming, 125);
        QCOMPARE(outgoing ? entry->m_timeLastOutgoing : entry->m_timeLastIncoming, kT0);
        QCOMPARE(outgoing ? entry->m_nIncomingCalls : entry->m_nOutgoingCalls, 0);
        m_dlg->SetCallLog(nullptr);
    }

    void deletePostsOneRequestAndRowsGoOnConfirmation() {
        QAbstractItemModelTester tester(m_dlg->Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        SelectRows({0, 2, 3});
        m_dlg->View()->setFocus();
        QTest::keyClick(m_dlg->View(), Qt::Key_Delete);
        QCOMPARE(m_controller.posted.size(), std::size_t(1)); // the whole selection: one save
        QCOMPARE(m_dlg->Model()->rowCount(), 4);
        const CMessage& msg = m_controller.posted[0];
        QCOMPARE(msg.id, WM_RV_PB_DELETE_ENTRY);
        QCOMPARE(msg.Keys().size(), std::size_t(3));
        QCOMPARE(m_book->Remove(msg.Keys()), std::size_t(3));
        // Until the window hears of it, a freed entry's row is empty and never read.
        QVERIFY(!m_dlg->Model()->index(m_dlg->Model()->RowOf(msg.key), 0).data().isValid());
        m_dlg->HandleMessage(msg);
        QCOMPARE(RowNames(*m_dlg->Model()), QStringList({"Baker"}));

        // A selection of many separate rows goes in one request too, and leaves the others.
        for (int i = 0; i < 130; ++i) { // every other row of 131: more blocks than are removed one by one
            m_book->Add(Entry(QString::asprintf("N%03d", i).toStdString(), "", std::to_string(4085560000LL + i)));
        }
        m_dlg->Fill();
        QItemSelection every2nd;
        for (int row = 0; row < m_dlg->Model()->rowCount(); row += 2) {
            every2nd.select(m_dlg->Model()->index(row, 0), m_dlg->Model()->index(row, 0));
        }
        m_dlg->View()->selectionModel()->select(every2nd,
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_controller.posted.clear();
        m_dlg->OnDelete();
        QCOMPARE(m_controller.posted.size(), std::size_t(1));
        QCOMPARE(m_book->Remove(m_controller.posted[0].Keys()), std::size_t(66));
        m_dlg->HandleMessage(m_controller.posted[0]);
        QCOMPARE(m_dlg->Model()->rowCount(), 65);
        QCOMPARE(RowNames(*m_dlg->Model()).first(), QString("N000"));
    }

    void iconClickDialsAndDoubleClickOnTheIconDoesNotEdit() {
        const int baker = RowOfLastName("Baker");
        const QRect cell = m_dlg->View()->visualRect(m_dlg->View()->model()->index(baker, 0));
        // Find a point on the icon: the left part of the name cell.
        QPoint onIcon;
        for (int x = cell.left(); x < cell.left() + 30 && onIcon.isNull(); ++x) {
            if (m_dlg->View()->IsOnIcon(QPoint(x, cell.center().y()))) {
                onIcon = QPoint(x + 3, cell.center().y());
            }
        }
        QVERIFY(!onIcon.isNull());
        QVERIFY(!m_dlg->View()->IsOnIcon(QPoint(cell.right() - 2, cell.center().y())));
        QTest::mouseClick(m_dlg->View()->viewport(), Qt::LeftButton, {}, onIcon);
        QCOMPARE(m_controller.posted.size(), std::size_t(1));
        QCOMPARE(m_controller.posted[0].id, WM_RV_DIAL_NUMBER);
        QCOMPARE(m_controller.posted[0].text, std::string("14085550004")); // the leading 1 stays
        m_controller.posted.clear();
        QTest::mouseDClick(m_dlg->View()->viewport(), Qt::LeftButton, {}, onIcon);
        QCOMPARE(m_dialogsRun, 0);
        // A double-click off the icon edits the row.
        NextDialog([](CPhoneBookEntryDlg& d) { QCOMPARE(d.LastNameEdit()->text(), QString("Baker")); }, false);
        const QPoint onNumber =
            m_dlg->View()->visualRect(m_dlg->View()->model()->index(baker, m_dlg->Model()->ColumnOfBit(3))).center();
        QTest::mouseDClick(m_dlg->View()->viewport(), Qt::LeftButton, {}, onNumber);
        QCOMPARE(m_dialogsRun, 1);
    }

    void fittingUsesTheWindowRule() {
        CPhoneBookModel* model = m_dlg->Model();
        int sum = 0;
        for (int c = 0; c < model->columnCount(); ++c) {
            const QString heading = model->headerData(c, Qt::Horizontal).toString();
            QVERIFY(m_dlg->View()->columnWidth(c) >= m_dlg->TextWidth(heading) + (c == 0 ? 38 : 20));
            sum += m_dlg->View()->columnWidth(c);
        }
        QCOMPARE(m_dlg->width(), m_dlg->WindowWidthFor(sum));
        // All four rows are on screen: the name column is as wide as the widest name + 38.
        int widest = m_dlg->TextWidth("Name");
        for (const char* name : {"Ann Lee", "Bo Abbot", "al lee", "Cy Baker"}) {
            widest = std::max(widest, m_dlg->TextWidth(name));
        }
        QCOMPARE(m_dlg->View()->columnWidth(0), widest + 38);
        QVERIFY(!(m_dlg->windowFlags() & Qt::WindowCloseButtonHint));
    }

    void searchKeepsTheMatchingRows_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("name in any case") << "LEE" << QStringList{"Lee", "lee"};
        QTest::newRow("two words, any order") << "al lee" << QStringList{"lee"};
        QTest::newRow("company") << "zeta" << QStringList{"Lee"};
        QTest::newRow("digits with a blank") << "555 0002" << QStringList{"Abbot"};
        QTest::newRow("area code in brackets") << "(408) 555-0004" << QStringList{"Baker"};
        QTest::newRow("international notation") << "+1 408 555 0001" << QStringList{"Lee"};
        QTest::newRow("nothing matches") << "zz" << QStringList{};
        QTest::newRow("empty shows all") << "  " << QStringList{"Abbot", "Baker", "Lee", "lee"};
    }

    void searchKeepsTheMatchingRows() {
        QFETCH(QString, text);
        QFETCH(QStringList, rows);
        QAbstractItemModelTester tester(m_dlg->Filter(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QTest::keyClicks(m_dlg->FilterEdit(), text);
        QStringList shown;
        for (int r = 0; r < m_dlg->Filter()->rowCount(); ++r) {
            shown << QString::fromStdString(m_book->FindById(m_dlg->Filter()->IdAt(r))->m_strLastName);
        }
        QCOMPARE(shown, rows);
        QCOMPARE(m_dlg->RowCount()->text(),
                 text.trimmed().isEmpty()
                     ? QLocale().toString(4)
                     : QStringLiteral("%1 of %2").arg(QLocale().toString(rows.size()), QLocale().toString(4)));
    }

    void searchIgnoresAccentsAndCommandsActOnTheShownRows() {
        QCOMPARE(CListFilterModel::Fold("J\xC3\xB6rg M\xC3\xBCLLER \xC3\x89mile"), std::string("jorg muller emile"));
        QTest::keyClick(m_dlg.get(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(m_dlg->FilterEdit()->hasFocus());
        QTest::keyClicks(m_dlg->FilterEdit(), "cy");
        QCOMPARE(m_dlg->Filter()->rowCount(), 1);
        // A header click still sorts, the rows the filter hides included.
        m_dlg->OnHeaderClicked(m_dlg->Model()->ColumnOfBit(7));
        QCOMPARE(RowNames(*m_dlg->Model()).first(), QString("Lee"));
        QCOMPARE(m_dlg->Filter()->rowCount(), 1);
        SelectRows({0});
        m_dlg->OnDelete();
        QCOMPARE(m_controller.posted.size(), std::size_t(1));
        QCOMPARE(m_controller.posted[0].Keys().size(), std::size_t(1));
        QCOMPARE(m_book->FindById(m_controller.posted[0].key)->m_strLastName, std::string("Baker"));
        QTest::keyClick(m_dlg->FilterEdit(), Qt::Key_Escape);
        QVERIFY(m_dlg->FilterEdit()->text().isEmpty());
        QCOMPARE(m_dlg->Filter()->rowCount(), 4);
    }

    void rowActionsUndoAndFiles() {
        QCOMPARE(m_dlg->RowMenu()->actions().size(), 5);
        SelectRows({RowOfLastName("Abbot"), RowOfLastName("Lee")});
        m_dlg->findChild<QAction*>("actionCopyNumber")->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("4085550002\n4085550001"));
        // One of them is not blocked yet: both get the flag; when all are, it is cleared.
        QAction* block = m_dlg->findChild<QAction*>("actionBlockCaller");
        block->trigger();
        QCOMPARE(m_controller.posted.back().id, WM_RV_PB_SET_IGNORE);
        QCOMPARE(m_controller.posted.back().wParam, 1);
        QCOMPARE(m_controller.posted.back().Keys().size(), std::size_t(2));
        const std::vector<std::uint64_t> both = m_controller.posted.back().Keys();
        m_book->SetIgnored(both, true);
        m_dlg->HandleMessage(m_controller.posted.back());
        QCOMPARE(m_dlg->Model()->index(RowOfLastName("Abbot"), m_dlg->Model()->ColumnOfBit(4)).data().toString(),
                 QString("I"));
        emit m_dlg->RowMenu()->aboutToShow();
        QCOMPARE(block->text(), QString("Un&block Caller"));
        block->trigger();
        QCOMPARE(m_controller.posted.back().wParam, 0);

        // Undo: enabled while the controller has something to undo; it puts the rows back.
        QAction* undo = m_dlg->findChild<QAction*>("actionUndo");
        QVERIFY(!undo->isEnabled());
        const std::uint64_t abbot = m_dlg->Model()->IdAt(RowOfLastName("Abbot"));
        auto taken = m_book->Take(std::vector<std::uint64_t>{abbot});
        m_dlg->HandleMessage(CMessage::WithKeys(WM_RV_PB_DELETE_ENTRY, {abbot}));
        m_dlg->HandleMessage(CMessage::Make(WM_RV_UNDO_AVAILABLE, 1));
        QVERIFY(undo->isEnabled());
        QTest::keyClick(m_dlg->View(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(m_controller.commands.back(), cmd::kUndoPhoneBookDelete);
        std::vector<std::pair<std::uint64_t, std::unique_ptr<CPhoneBookEntry>>> back;
        back.emplace_back(0, std::move(taken.front()));
        m_book->ReplaceAll(std::move(back));
        m_dlg->HandleMessage(CMessage::WithKeys(WM_RV_RESTORED, {abbot}));
        QCOMPARE(RowNames(*m_dlg->Model()), QStringList({"Abbot", "Baker", "Lee", "lee"}));

        m_dlg->findChild<QAction*>("actionImport")->trigger();
        m_dlg->findChild<QAction*>("actionExport")->trigger();
        QCOMPARE(m_controller.commands.back(), cmd::kPhoneBookExport);
        QCOMPARE(m_controller.commands[m_controller.commands.size() - 2], cmd::kPhoneBookImport);
    }

    void openFileDialog() {
        const std::string current = m_dir->File("RV.pbk");
        std::string chosen;
        const bool ok = CPhoneBookDlg::ChoosePhoneBookFile(nullptr, current, chosen, [&](QFileDialog& d) {
            [&] {
                QCOMPARE(d.windowTitle(), QString("Select a PhoneBook File"));
                QCOMPARE(d.nameFilters().front(), QString("PhoneBook Files (*.pbk)"));
                QCOMPARE(d.defaultSuffix(), QString("pbk"));
                QCOMPARE(d.fileMode(), QFileDialog::AnyFile);
                QCOMPARE(QDir(d.directory()).absolutePath(),
                         QDir(QString::fromStdString(m_dir->Path())).absolutePath());
            }();
            d.selectFile(QStringLiteral("fresh"));
            QMetaObject::invokeMethod(&d, "accept", Qt::DirectConnection);
            return d.result() == QDialog::Accepted;
        });
        QVERIFY(ok);
        QCOMPARE(chosen, m_dir->File("fresh.pbk"));
        const bool cancelled = CPhoneBookDlg::ChoosePhoneBookFile(nullptr, current, chosen, [](QFileDialog& d) {
            d.reject();
            return false;
        });
        QVERIFY(!cancelled);
    }
};

QTEST_MAIN(TestPhoneBookDlg)
#include "TestPhoneBookDlg.moc"
