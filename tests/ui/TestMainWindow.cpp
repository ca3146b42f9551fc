// The main window on the real controller: keypad buttons and typed keys send the digit for
// the selected tile's call, the select buttons select, the indicators ignore the mouse, the
// activity list keeps its newest 200 lines in view, the status bar's parts and texts, the
// menu bar. Screenshots of the window with four calls and of a caller-ID popup.
#include "TestHostRig.h"
#include "ui/CCallerIdPopup.h"
#include "ui/CNoFocusButton.h"
#include "ui/CTileCtrl.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

namespace {

const char* const kKeys = "123456789*0#";

std::string Offer(int port, int callId, const std::string& remote) {
    return "CALL:0,1;2," + std::to_string(port) + ";3," + std::to_string(callId) + ";4,5551212;5," + remote;
}
std::string Connected(int port, int callId) {
    return "CALL:0,5;2," + std::to_string(port) + ";3," + std::to_string(callId);
}
std::string DigitCommand(int port, char key, int callId) {
    return "TX: AT*" + std::to_string(port) + "D" + std::string(1, key) + "/" + std::to_string(callId);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void keypad_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("typed");
        for (int i = 0; i < 12; ++i) {
            const QString key = QString(QLatin1Char(kKeys[i]));
            QTest::newRow(qPrintable(QStringLiteral("button %1").arg(key))) << i << false;
            QTest::newRow(qPrintable(QStringLiteral("typed %1").arg(key))) << i << true;
        }
    }
    void keypad() {
        QFETCH(int, index);
        QFETCH(bool, typed);
        if (!m_rig) {
            m_rig = std::make_unique<HostRig>();
            QVERIFY(m_rig->started);
            QVERIFY(m_rig->Lines({Offer(1, 17, "4085551212"), Connected(1, 17)}));
        }
        const char key = kKeys[index];
        const std::string expected = DigitCommand(1, key, 17);
        const int before = m_rig->CountInTrace(expected);
        if (typed) {
            QTest::keyClick(&m_rig->Main(), key);
        } else {
            CNoFocusButton* button = m_rig->Main().Button(ctl::kKeypadFirst + index);
            QVERIFY(button != nullptr);
            QCOMPARE(button->text(), QString(QLatin1Char(key)));
            QTest::mouseClick(button, Qt::LeftButton);
        }
        QVERIFY2(m_rig->WaitForTrace(expected, before + 1), expected.c_str());
    }
    void keypadLayout() {
        // 1 2 3 / 4 5 6 / 7 8 9 / * 0 #: each key sits right of or below the one before.
        if (!m_rig) {
            m_rig = std::make_unique<HostRig>();
        }
        const QString rows[4] = {QStringLiteral("123"), QStringLiteral("456"), QStringLiteral("789"),
                                 QStringLiteral("*0#")};
        auto find = [&](QChar c) {
            for (int id = ctl::kKeypadFirst; id <= ctl::kKeypadLast; ++id) {
                if (m_rig->Main().Button(id)->text() == QString(c)) {
                    return m_rig->Main().Button(id)->geometry();
                }
            }
            return QRect();
        };
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 3; ++c) {
                const QRect here = find(rows[r][c]);
                QVERIFY(here.isValid());
                if (c > 0) {
                    const QRect left = find(rows[r][c - 1]);
                    QCOMPARE(here.top(), left.top());
                    QVERIFY(here.left() > left.right());
                }
                if (r > 0) {
                    const QRect above = find(rows[r - 1][c]);
                    QCOMPARE(here.left(), above.left());
                    QVERIFY(here.top() > above.bottom());
                }
            }
        }
    }
    void typedOtherKeysSendNothing() {
        if (!m_rig) {
            m_rig = std::make_unique<HostRig>();
        }
        QVERIFY(m_rig->Lines({Offer(1, 17, "4085551212"), Connected(1, 17)}));
        const int before = m_rig->CountInTrace("TX: AT*1D");
        QTest::keyClick(&m_rig->Main(), 'a');
        QTest::keyClick(&m_rig->Main(), '+');
        QTest::keyClick(&m_rig->Main(), '5');
        QVERIFY(m_rig->WaitForTrace(DigitCommand(1, '5', 17)));
        QCOMPARE(m_rig->CountInTrace("TX: AT*1D"), before + 1);
    }

    void selectButtons() {
        HostRig rig;
        QVERIFY(
            rig.Lines({Offer(1, 17, "4085551212"), Connected(1, 17), Offer(2, 18, "6505550000"), Connected(2, 18)}));
        CMainWindow& main = rig.Main();
        QVERIFY(main.SelectIndicator(0));
        struct Row {
            int tile;
            int port;
            int callId;
        };
        for (const Row& row : {Row{1, 2, 18}, Row{0, 1, 17}, Row{1, 2, 18}}) {
            QTest::mouseClick(main.Button(ctl::kTileSelect[row.tile]), Qt::LeftButton);
            for (int tile = 0; tile < 4; ++tile) {
                QCOMPARE(main.SelectIndicator(tile), tile == row.tile);
            }
            const std::string expected = DigitCommand(row.port, '7', row.callId);
            const int before = rig.CountInTrace(expected);
            QTest::mouseClick(main.Button(ctl::kKeypadFirst + 6), Qt::LeftButton); // "7"
            QVERIFY2(rig.WaitForTrace(expected, before + 1), expected.c_str());
        }
        // Selecting an empty tile: the keypad then sends nothing.
        QTest::mouseClick(main.Button(ctl::kTileSelect[3]), Qt::LeftButton);
        QVERIFY(main.SelectIndicator(3));
        const int sent = rig.CountInTrace("TX: AT*");
        QTest::keyClick(&main, '9');
        QTest::qWait(50); // a digit would be sent at once, synchronously; give the queue a turn
        QCOMPARE(rig.CountInTrace("TX: AT*"), sent);
    }

    void indicatorsIgnoreInputButtonsTakeNoFocus() {
        HostRig rig;
        CMainWindow& main = rig.Main();
        for (int tile = 0; tile < 4; ++tile) {
            for (int id : {ctl::kSelectIndicator[tile], ctl::kHoldIndicator[tile]}) {
                CNoFocusButton* lamp = main.Button(id);
                QVERIFY(!lamp->AcceptsInput());
                QSignalSpy clicked(lamp, &QPushButton::clicked);
                QTest::mouseClick(lamp, Qt::LeftButton);
                QTest::mouseDClick(lamp, Qt::LeftButton);
                QCOMPARE(clicked.count(), 0);
                lamp->SetEnabledState(false);
                QVERIFY(lamp->isEnabled());
            }
        }
        std::vector<int> ids = {ctl::kHangUp, ctl::kHold, ctl::kDialUp, ctl::kCallWaiting};
        for (int tile = 0; tile < 4; ++tile) {
            ids.push_back(ctl::kTileSelect[tile]);
        }
        for (int id = ctl::kKeypadFirst; id <= ctl::kKeypadLast; ++id) {
            ids.push_back(id);
        }
        for (int id : ids) {
            CNoFocusButton* button = main.Button(id);
            QVERIFY(button->AcceptsInput());
            QCOMPARE(button->focusPolicy(), Qt::NoFocus);
            QVERIFY(!button->autoDefault());
            QSignalSpy clicked(button, &QPushButton::clicked);
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(clicked.count(), 1);
        }
    }

    // The Hold button holds the selected call and nothing more: pressed on a held call it
    // sends nothing, and its tooltip promises no more than that.
    void holdButtonOnlyHolds() {
        HostRig rig;
        CNoFocusButton* hold = rig.Main().Button(ctl::kHold);
        QVERIFY(rig.Lines({Offer(1, 17, "4085551212"), Connected(1, 17)}));
        QTest::mouseClick(hold, Qt::LeftButton);
        QVERIFY(rig.WaitForTrace("TX: AT*1W/17"));
        QVERIFY(rig.Lines({"CALL:0,7;2,1;3,17"}));
        QTest::mouseClick(hold, Qt::LeftButton);
        QVERIFY(rig.Lines({}));
        QCOMPARE(rig.CountInTrace("TX: AT*1"), 1);
        QCOMPARE(hold->toolTip(), QStringLiteral("Put the selected call on hold"));
    }

    void callWaitingButtonFollowsTheSetting() {
        HostRig rig;
        CNoFocusButton* button = rig.Main().Button(ctl::kCallWaiting);
        QVERIFY(button->isChecked()); // enabled by default
        QVERIFY(rig.WaitForTrace("TX: ATS76=3"));
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(rig.WaitForTrace("TX: ATS76=0"));
        QVERIFY(!button->isChecked());
        QVERIFY(!rig.dialog->Settings().m_bEnableCallWaiting);
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(rig.WaitForTrace("TX: ATS76=3", 2));
        QVERIFY(button->isChecked());
    }

    void activityListKeepsNewest200InView() {
        HostRig rig;
        QListWidget* list = rig.Main().ActivityList();
        list->clear();
        for (int i = 0; i < 205; ++i) {
            rig.host->AppendActivityLine("line " + std::to_string(i));
        }
        // The lines are laid out together once the window thread is back in its loop.
        QCOMPARE(list->count(), 0);
        QTRY_COMPARE(list->count(), 200);
        QCOMPARE(list->item(0)->text(), QStringLiteral("line 5"));
        QCOMPARE(list->item(199)->text(), QStringLiteral("line 204"));
        QCoreApplication::processEvents();
        QCOMPARE(list->verticalScrollBar()->value(), list->verticalScrollBar()->maximum());
        QVERIFY(rig.host->VisibleActivityLines() > 0);
    }

    void statusBar() {
        HostRig rig;
        CMainStatusBar* bar = rig.Main().StatusParts();
        QCOMPARE(bar->PartText(0), QStringLiteral("Adapter disconnected")); // no device in this rig
        QCOMPARE(bar->PartText(2), QStringLiteral("Total: 001:01:01:01"));
        QCOMPARE(bar->PartText(3), QStringLiteral("No new calls"));
        // Part edges at 36, 61 and 84 % of the width, integer arithmetic.
        struct Edge {
            int width, part, right;
        };
        for (const Edge& e : {Edge{1000, 0, 360}, Edge{1000, 1, 610}, Edge{1000, 2, 840}, Edge{1000, 3, 1000},
                              Edge{333, 0, 119}, Edge{333, 1, 203}, Edge{333, 2, 279}}) {
            QCOMPARE(CMainStatusBar::PartRight(e.part, e.width), e.right);
        }
        rig.Main().resize(700, rig.Main().height());
        QCoreApplication::processEvents();
        const int width = bar->contentsRect().width();
        for (int part = 0; part < 3; ++part) {
            const QRect g = bar->Part(part)->geometry();
            QVERIFY2(std::abs(g.right() + 2 - bar->contentsRect().left() - CMainStatusBar::PartRight(part, width)) <= 1,
                     qPrintable(QStringLiteral("part %1 ends at %2").arg(part).arg(g.right())));
        }
        rig.dialog->AnnounceNewCall();
        rig.dialog->AnnounceNewCall();
        QCOMPARE(bar->PartText(3), QStringLiteral("2 New Calls"));
        QCOMPARE(rig.host->Tray().Tip(), QStringLiteral("Ringvale - Adapter disconnected - 2 New Calls"));
    }

    void menuBar() {
        HostRig rig([](CSettings& s) {
            s.m_strRASConnection[1] = "Home ISP";
            s.m_bCallLogVisible = true;
        });
        CMainWindow& main = rig.Main();
        QStringList titles;
        for (QAction* action : main.menuBar()->actions()) {
            titles << action->text();
        }
        QCOMPARE(titles, (QStringList{"&Phone Book", "&View", "&Configure", "&Internet", "&Quit", "&Help"}));
        // The configured slot 2 only: its item at the top, with its own command id.
        const QList<QAction*> internet = main.Menu(EMenu::Internet)->actions();
        QCOMPARE(internet[0]->text(), QStringLiteral("Connect to Home ISP"));
        QCOMPARE(internet[0]->data().toInt(), cmd::kConnection1 + 1);
        QVERIFY(internet[1]->isSeparator());
        QCOMPARE(internet[2]->data().toInt(), cmd::kClearTotalTimer);
        QCOMPARE(internet[3]->data().toInt(), cmd::kRemoteControl);
        // "&View" check marks come from the settings when the popup opens.
        QMenu* view = main.Menu(EMenu::View);
        emit view->aboutToShow();
        QVERIFY(main.Actions(cmd::kViewCallLog).front()->isChecked());
        for (QAction* a : main.Actions(cmd::kViewPhoneBook)) {
            QVERIFY(!a->isChecked());
        }
        // "&View" > "&Phone Book" shows the window and the mark follows, not the click.
        QAction* viewPhoneBook = view->actions().back();
        viewPhoneBook->trigger();
        QVERIFY(rig.host->PhoneBookWindow()->isVisible());
        QVERIFY(rig.dialog->Settings().m_bPhoneBookVisible);
        emit view->aboutToShow();
        QVERIFY(viewPhoneBook->isChecked());
        // "&Clear Total Timer".
        main.Actions(cmd::kClearTotalTimer).front()->trigger();
        QCOMPARE(main.StatusParts()->PartText(2), QStringLiteral("Total: 000:00:00:00"));
    }

    void screenshotsFourCallsAndPopup() {
        HostRig rig;
        rig.AddEntry("4085551212", "Lovelace", "Ada");
        rig.AddEntry("6505550000", "Hopper", "Grace");
        rig.AddEntry("4155557777", "Turing", "Alan");
        QVERIFY(rig.Lines({Offer(1, 17, "4085551212"), Connected(1, 17), Offer(2, 18, "6505550000"), Connected(2, 18),
                           Offer(1, 19, "4155557777"), Offer(2, 20, "2125550199")}));
        rig.clock.Set(HostRig::kNow + 3725);
        rig.dialog->PostMessage(CMessage::Make(WM_RV_REFRESH_TILES));
        QVERIFY(QTest::qWaitFor([&] { return rig.dialog->Messages().Size() == 0; }, 5000));
        int calls = 0;
        for (int tile = 0; tile < 4; ++tile) {
            calls += rig.Main().Tile(tile)->View().call ? 1 : 0;
        }
        QCOMPARE(calls, 4);
        QCOMPARE(rig.Main().Tile(0)->View().name, std::string("Ada Lovelace"));
        QCOMPARE(rig.Main().Tile(0)->View().runningTime, std::string("62:05"));
        QCOMPARE(rig.Main().Tile(0)->View().port, 1);
        QCOMPARE(rig.Main().Tile(1)->View().port, 2);
        // A tick lights the hold lamps of the active calls.
        rig.dialog->OnTimer(ctl::kTimer);
        QVERIFY(rig.Main().HoldIndicator(0));
        QVERIFY(rig.Main().HoldIndicator(1));
        QVERIFY(rig.Main().SelectIndicator(0));
        QVERIFY(QTest::qWaitForWindowExposed(&rig.Main()));
        SaveScreenshot(&rig.Main(), QStringLiteral("main-window-four-calls"));
        const auto popups = rig.host->OpenPopups();
        QVERIFY(!popups.empty());
        SaveScreenshot(popups.front(), QStringLiteral("caller-id-popup"));
        // A click dismisses a popup; the others stay.
        const std::size_t open = popups.size();
        QTest::mouseClick(popups.front(), Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return rig.host->OpenPopups().size() == open - 1; }, 2000));
    }

    void cleanupTestCase() { m_rig.reset(); }

private:
    std::unique_ptr<HostRig> m_rig;
};

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
