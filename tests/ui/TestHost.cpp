// The Qt window host with the real controller: the tray pop-up menu with and without
// connection slots, minimising to the tray and back (and to the taskbar where there is no
// tray), the tray's left click, messages drained on the window thread but never during a
// wait in place, a quit asked for during a wait, and the help page's path.
#include "TestHostRig.h"
#include "ui/CCallLogDlg.h"
#include "ui/CPhoneBookModel.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

namespace {

struct MenuLine {
    QString text; // "-" for a separator
    int command = 0;
    bool checked = false;
    bool operator==(const MenuLine&) const = default;
};

std::vector<MenuLine> Lines(const QMenu& menu) {
    std::vector<MenuLine> lines;
    for (QAction* action : menu.actions()) {
        if (action->isSeparator()) {
            lines.push_back({QStringLiteral("-"), 0, false});
        } else {
            lines.push_back({action->text(), action->data().toInt(), action->isChecked()});
        }
    }
    return lines;
}

QString Describe(const std::vector<MenuLine>& lines) {
    QStringList parts;
    for (const MenuLine& l : lines) {
        parts
            << QStringLiteral("%1(%2%3)").arg(l.text).arg(l.command).arg(l.checked ? QStringLiteral(",x") : QString());
    }
    return parts.join(QStringLiteral(" | "));
}

} // namespace

Q_DECLARE_METATYPE(std::vector<MenuLine>)

class TestHost : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { CTrayIcon::SetAvailableForTesting(std::nullopt); }

    void trayMenu_data() {
        QTest::addColumn<QStringList>("slotNames");
        QTest::addColumn<bool>("callLogVisible");
        QTest::addColumn<std::vector<MenuLine>>("expected");
        const MenuLine sep{QStringLiteral("-"), 0, false};
        QTest::newRow("no slot: two adjacent separators")
            << QStringList{"", "<none selected>", ""} << false
            << std::vector<MenuLine>{{"View Call &Log", cmd::kViewCallLog, false},
                                     {"View &Phone Book", cmd::kViewPhoneBook, false},
                                     sep,
                                     {"Enable Call Waiting", ctl::kCallWaiting, true},
                                     {"&Configure", cmd::kConfigure, false},
                                     sep,
                                     sep,
                                     {"&Quit", cmd::kOk, false}};
        QTest::newRow("slots 1 and 3 between the separators, with their own ids")
            << QStringList{"Work ISP", "", "Home ISP"} << true
            << std::vector<MenuLine>{{"View Call &Log", cmd::kViewCallLog, true},
                                     {"View &Phone Book", cmd::kViewPhoneBook, false},
                                     sep,
                                     {"Enable Call Waiting", ctl::kCallWaiting, true},
                                     {"&Configure", cmd::kConfigure, false},
                                     sep,
                                     {"Connect to Work ISP", cmd::kConnection1, false},
                                     {"Connect to Home ISP", cmd::kConnection1 + 2, false},
                                     sep,
                                     {"&Quit", cmd::kOk, false}};
    }
    void trayMenu() {
        QFETCH(QStringList, slotNames);
        QFETCH(bool, callLogVisible);
        QFETCH(std::vector<MenuLine>, expected);
        HostRig rig([&](CSettings& s) {
            for (int i = 0; i < 3; ++i) {
                s.m_strRASConnection[i] = slotNames[i].toStdString();
            }
            s.m_bCallLogVisible = callLogVisible;
        });
        std::vector<MenuLine> seen;
        int runs = 0;
        rig.host->SetPopupRunner([&](QMenu& menu) -> QAction* {
            ++runs;
            seen = Lines(menu);
            menu.popup(QPoint(100, 100));
            [[maybe_unused]] const bool exposed = QTest::qWaitForWindowExposed(&menu);
            SaveScreenshot(&menu, QString::fromLatin1(QTest::currentDataTag()).startsWith(QStringLiteral("no slot"))
                                      ? QStringLiteral("tray-menu-no-slot")
                                      : QStringLiteral("tray-menu-with-slots"));
            menu.close();
            // Choose "View &Phone Book": handled like the menu bar's command.
            for (QAction* action : menu.actions()) {
                if (action->data().toInt() == cmd::kViewPhoneBook) {
                    return action;
                }
            }
            return nullptr;
        });
        rig.dialog->PostMessage(CMessage::Make(WM_RV_TRAY_NOTIFY, ctl::kTrayIcon, kWmRButtonDown));
        QVERIFY(QTest::qWaitFor([&] { return runs == 1; }, 5000));
        QVERIFY2(seen == expected, qPrintable(Describe(seen)));
        QVERIFY(QTest::qWaitFor([&] { return rig.host->PhoneBookWindow()->isVisible(); }, 2000));
        QVERIFY(rig.dialog->Settings().m_bPhoneBookVisible);
        // Another icon id is not ours: no menu.
        rig.dialog->PostMessage(CMessage::Make(WM_RV_TRAY_NOTIFY, ctl::kTrayIcon + 1, kWmRButtonDown));
        QVERIFY(QTest::qWaitFor([&] { return rig.dialog->Messages().Size() == 0; }, 2000));
        QCoreApplication::processEvents();
        QCOMPARE(runs, 1);
    }

    void trayIconState() {
        HostRig rig;
        CTrayIcon& tray = rig.host->Tray();
        QVERIFY(tray.Present());
        QCOMPARE(tray.Tip(), QStringLiteral("Ringvale"));
        QCOMPARE(tray.Image(), img::kMainIcon);
        rig.dialog->AnnounceNewCall();
        // Blinks with the timer: new-call picture first, then the application's.
        std::vector<int> images;
        for (int tick = 0; tick < 4; ++tick) {
            rig.dialog->OnTimer(ctl::kTimer);
            images.push_back(tray.Image());
        }
        QCOMPARE(images, (std::vector<int>{img::kNewCallIcon, img::kMainIcon, img::kNewCallIcon, img::kMainIcon}));
        // A left click acknowledges: resting picture and tip, call log shown.
        rig.dialog->PostMessage(CMessage::Make(WM_RV_TRAY_NOTIFY, ctl::kTrayIcon, kWmLButtonDown));
        QVERIFY(QTest::qWaitFor([&] { return rig.host->CallLogWindow()->isVisible(); }, 2000));
        QCOMPARE(tray.Tip(), QStringLiteral("Ringvale"));
        QCOMPARE(tray.Image(), img::kMainIcon);
        QCOMPARE(rig.Main().StatusParts()->PartText(3), QStringLiteral("No new calls"));
        rig.dialog->OnTimer(ctl::kTimer);
        QCOMPARE(tray.Image(), img::kMainIcon);
        rig.dialog->ShutDown();
        QVERIFY(!tray.Present());
    }

    void minimizeToTrayRoundTrip_data() {
        QTest::addColumn<bool>("trayAvailable");
        QTest::newRow("desktop with a tray") << true;
        QTest::newRow("desktop without a tray") << false;
    }
    void minimizeToTrayRoundTrip() {
        QFETCH(bool, trayAvailable);
        CTrayIcon::SetAvailableForTesting(trayAvailable);
        HostRig rig([](CSettings& s) {
            s.m_bMinimizeToTray = true;
            s.m_bPhoneBookVisible = true;
            s.m_bCallLogVisible = true;
        });
        CMainWindow& main = rig.Main();
        QWidget* phoneBook = rig.host->PhoneBookWindow();
        QWidget* callLog = rig.host->CallLogWindow();
        QVERIFY(main.isVisible() && phoneBook->isVisible() && callLog->isVisible());

        auto trayClick = [&] {
            rig.dialog->PostMessage(CMessage::Make(WM_RV_TRAY_NOTIFY, ctl::kTrayIcon, kWmLButtonDown));
            QVERIFY(QTest::qWaitFor([&] { return rig.dialog->Messages().Size() == 0; }, 2000));
        };
        for (int round = 0; round < 2; ++round) {
            // Minimise: both list windows go; the main window goes to the tray, or to the
            // taskbar when there is no tray to come back from.
            if (round == 0) {
                QVERIFY(rig.dialog->OnSysCommand(CMainDialog::SC_MINIMIZE));
            } else {
                trayClick();
            }
            QVERIFY(!phoneBook->isVisible());
            QVERIFY(!callLog->isVisible());
            if (trayAvailable) {
                QVERIFY(!main.isVisible());
            } else {
                QVERIFY(main.isVisible());
                QVERIFY(main.isMinimized());
            }
            QVERIFY(rig.host->IsMainMinimized());
            // Restore: all three back, the list windows' flags unchanged.
            if (round == 0) {
                QVERIFY(rig.dialog->OnSysCommand(CMainDialog::SC_RESTORE));
            } else {
                trayClick();
            }
            QVERIFY(main.isVisible());
            QVERIFY(!main.isMinimized());
            QVERIFY(phoneBook->isVisible());
            QVERIFY(callLog->isVisible());
        }
        // The user minimises the window himself: the same as the system command.
        main.showMinimized();
        QVERIFY(QTest::qWaitFor([&] { return !phoneBook->isVisible(); }, 2000));
        QVERIFY(!callLog->isVisible());
        QCOMPARE(main.isVisible(), !trayAvailable);
        // Shut-down records the window as minimised.
        rig.dialog->ShutDown();
        CSettings saved;
        saved.Parse(ReadFileText(rig.Dir().File("RV.cfg")), {});
        QVERIFY(saved.m_bWasMinimized);
    }

    void startsMinimized_data() {
        QTest::addColumn<bool>("toTray");
        QTest::addColumn<bool>("trayAvailable");
        QTest::newRow("to the taskbar") << false << true;
        QTest::newRow("to the tray") << true << true;
        QTest::newRow("to the tray, but no tray") << true << false;
    }
    void startsMinimized() {
        QFETCH(bool, toTray);
        QFETCH(bool, trayAvailable);
        CTrayIcon::SetAvailableForTesting(trayAvailable);
        HostRig rig([&](CSettings& s) {
            s.m_bMinimizeAtStartup = true;
            s.m_bMinimizeToTray = toTray;
        });
        CMainWindow& main = rig.Main();
        QVERIFY(rig.host->IsMainMinimized());
        if (toTray && trayAvailable) {
            QVERIFY(!main.isVisible());
        } else {
            QVERIFY(main.isMinimized());
        }
        // The first tick minimises once more; the window stays where it is.
        rig.dialog->OnTimer(ctl::kTimer);
        QVERIFY(rig.host->IsMainMinimized());
    }

    void messagesDrainOnTheWindowThreadButNotDuringAWait() {
        HostRig rig;
        QListWidget* list = rig.Main().ActivityList();
        const int before = list->count();
        rig.dialog->PostMessage(CMessage::WithText(WM_RV_ACTIVITY, "before the wait"));
        QElapsedTimer elapsed;
        elapsed.start();
        rig.host->WaitInPlace(300);
        QVERIFY(elapsed.elapsed() >= 290);
        // Queued while waiting: handled only after the wait.
        QCOMPARE(list->count(), before);
        QVERIFY(QTest::qWaitFor([&] { return list->count() == before + 1; }, 2000));

        // From another thread: handled on the window thread.
        std::thread worker([&] { rig.dialog->PostMessage(CMessage::WithText(WM_RV_ACTIVITY, "from a worker")); });
        worker.join();
        QVERIFY(QTest::qWaitFor([&] { return list->count() == before + 2; }, 2000));
        QVERIFY(list->item(list->count() - 1)->text().endsWith(QStringLiteral("from a worker")));

        // Messages go ahead of window work queued before them (list updates, repaints): an
        // adapter report is answered before the screen is brought up to date.
        std::size_t stillQueued = 99;
        QMetaObject::invokeMethod(
            rig.host.get(), [&] { stillQueued = rig.dialog->Messages().Size(); }, Qt::QueuedConnection);
        rig.dialog->PostMessage(CMessage::WithText(WM_RV_ACTIVITY, "goes first"));
        QVERIFY(QTest::qWaitFor([&] { return stillQueued != 99; }, 2000));
        QCOMPARE(stillQueued, std::size_t{0});
    }

    // The serial tries of a start-up against an absent adapter run off the window thread: a
    // timer keeps firing meanwhile, and the one message names the device and the reason.
    void startUpAgainstAnAbsentAdapterKeepsTheWindowThreadRunning() {
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(20);
        QElapsedTimer elapsed;
        elapsed.start();
        HostRig rig([](CSettings&) {},
                    [](CMainDialog::SOptions& options) {
                        options.modemHooks.serialTries = 8;
                        options.modemHooks.serialRetryDelay = std::chrono::milliseconds(100);
                    });
        const qint64 took = elapsed.elapsed();
        QVERIFY(rig.started);
        QVERIFY(took >= 750);
        QVERIFY2(ticks >= took / 20 / 4, qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticks).arg(took)));
        QCOMPARE(rig.boxes.messages.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(rig.boxes.messages.front()),
                 QStringLiteral("The ImpactIQ could not be opened on %1:\nNo such file or directory.\n\nPlease make "
                                "sure that the port is correct\nand that no other applications are using it.")
                     .arg(QString::fromStdString(rig.Dir().File("no-such-tty"))));
    }

    void quitDuringAWaitShutsDownAfterIt_data() {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("quit request") << false;
        QTest::newRow("close box") << true;
    }
    void quitDuringAWaitShutsDownAfterIt() {
        QFETCH(bool, closeBox);
        HostRig rig;
        bool endedInsideWait = true;
        QTimer::singleShot(50, [&] {
            QVERIFY(rig.host->Waiting());
            if (closeBox) {
                rig.Main().close();
            } else {
                rig.host->RequestQuit();
            }
        });
        rig.host->WaitInPlace(300);
        endedInsideWait = rig.host->Ended();
        QVERIFY(!endedInsideWait);
        QVERIFY(QTest::qWaitFor([&] { return rig.host->Ended(); }, 2000));
        QVERIFY(!rig.dialog->Initialized());
        // The shut-down of "&Quit": settings saved with the window positions, adapter told.
        CSettings saved;
        saved.Parse(ReadFileText(rig.Dir().File("RV.cfg")), {});
        const CRect main = rig.host->WindowRect(EWindow::Main);
        QCOMPARE(saved.m_rcMainPos.left, main.left);
        QCOMPARE(saved.m_rcMainPos.top, main.top);
        QVERIFY(rig.CountInTrace("TX: AT$V0") >= 1);
        QVERIFY(rig.CountInTrace("TX: ATE1") >= 1);
    }

    void closeBoxAndEscapeRunTheShutDown_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("close box") << 0;
        QTest::newRow("escape") << 1;
        QTest::newRow("quit menu") << 2;
    }
    void closeBoxAndEscapeRunTheShutDown() {
        QFETCH(int, how);
        HostRig rig;
        if (how == 0) {
            rig.Main().close();
        } else if (how == 1) {
            QTest::keyClick(&rig.Main(), Qt::Key_Escape);
        } else {
            rig.Main().Actions(cmd::kOk).front()->trigger();
        }
        QVERIFY(rig.host->Ended());
        QVERIFY(!rig.dialog->Initialized());
        QVERIFY(!rig.Main().isVisible());
        // Once only: a second way out does nothing more.
        const int sent = rig.CountInTrace("TX: AT$V0");
        QVERIFY(sent >= 1);
        QTest::keyClick(&rig.Main(), Qt::Key_Escape);
        rig.Main().close();
        QCOMPARE(rig.CountInTrace("TX: AT$V0"), sent);
    }

    void phoneBookOpenShowsTheChosenFile() {
        HostRig rig([](CSettings& s) { s.m_bPhoneBookVisible = true; });
        rig.AddEntry("4085551212", "Lovelace", "Ada");
        QVERIFY(QTest::qWaitFor([&] { return rig.host->PhoneBookWindow()->Model()->rowCount() == 1; }, 2000));
        QString offered;
        rig.host->SetFileDialogRunner([&](QFileDialog& dialog) {
            offered = dialog.selectedFiles().value(0);
            dialog.selectFile(QString::fromStdString(rig.Dir().File("other.pbk")));
            return true;
        });
        rig.Main().Actions(cmd::kPhoneBookOpen).front()->trigger();
        QVERIFY(offered.endsWith(QStringLiteral("RV.pbk")));
        QCOMPARE(rig.dialog->Settings().m_strPhoneBookName, rig.Dir().File("other.pbk"));
        QCOMPARE(rig.host->PhoneBookWindow()->Model()->rowCount(), 0);
        // The first phone book was saved with its entry before the switch.
        QVERIFY(ReadFileText(rig.Dir().File("RV.pbk")).find("4085551212") != std::string::npos);
        // Cancelled: nothing changes.
        rig.host->SetFileDialogRunner([](QFileDialog&) { return false; });
        rig.Main().Actions(cmd::kPhoneBookOpen).front()->trigger();
        QCOMPARE(rig.dialog->Settings().m_strPhoneBookName, rig.Dir().File("other.pbk"));
    }

    void helpPagePath() {
        QTemporaryDir dir;
        const QString a = dir.filePath(QStringLiteral("installed.htm"));
        const QString b = dir.filePath(QStringLiteral("source.htm"));
        QCOMPARE(CQtWindowHost::HelpPagePath({a, b}), QString());
        WriteFileText(b.toStdString(), "<html></html>");
        QCOMPARE(CQtWindowHost::HelpPagePath({a, b}), b);
        WriteFileText(a.toStdString(), "<html></html>");
        QCOMPARE(CQtWindowHost::HelpPagePath({a, b}), a);
        QCOMPARE(CQtWindowHost::HelpPagePath({QString(), dir.path(), b}), b); // a folder is no page

        // "&Help" opens the first page that exists, from any working directory.
        HostRig rig;
        const QString expected = CQtWindowHost::HelpPagePath(CQtWindowHost::HelpPageCandidates());
        QStringList opened;
        rig.host->SetUrlOpener([&](const QString& path) { opened << path; });
        rig.Main().Actions(cmd::kHelp).front()->trigger();
        QCOMPARE(opened, expected.isEmpty() ? QStringList() : QStringList{expected});
    }
};

QTEST_MAIN(TestHost)
#include "TestHost.moc"
