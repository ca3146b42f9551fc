// The Qt window host with the real controller: the tray pop-up menu with and without
// connection slots, minimising to the tray and back (and to the taskbar where there is no
// tray), the tray's left click, messages drained on the window thread but never during a
// wait in place, a quit asked for during a wait, the responsive wait of a dial, and the help
// page's path.
#include "ListWindowTestSupport.h"
#include "TestHostRig.h"
#include "core/Format.h"
#include "ui/CCallLogDlg.h"
#include "ui/CPhoneBookModel.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

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
    // A shut-down in an earlier test asked the application to exit, which makes every local
    // event loop return at once until the main loop has run again: let it run for a moment.
    void init() {
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }
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
        QCOMPARE(tray.Tip(), QStringLiteral("Ringvale - Adapter disconnected")); // no device in this rig
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
        QCOMPARE(tray.Tip(), QStringLiteral("Ringvale - Adapter disconnected"));
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

    // Closing a list window with the window manager (Alt+F4, a close box) is its "&Hide": the
    // View command then brings it back with one click.
    void closingAListWindowHidesIt_data() {
        QTest::addColumn<bool>("phoneBook");
        QTest::newRow("phone book") << true;
        QTest::newRow("call log") << false;
    }
    void closingAListWindowHidesIt() {
        QFETCH(bool, phoneBook);
        HostRig rig([](CSettings& s) {
            s.m_bPhoneBookVisible = true;
            s.m_bCallLogVisible = true;
        });
        QWidget* window = phoneBook ? static_cast<QWidget*>(rig.host->PhoneBookWindow()) : rig.host->CallLogWindow();
        const bool& visible =
            phoneBook ? rig.dialog->Settings().m_bPhoneBookVisible : rig.dialog->Settings().m_bCallLogVisible;
        window->close();
        QVERIFY(!window->isVisible());
        QVERIFY(!visible);
        rig.Main().Actions(phoneBook ? cmd::kViewPhoneBook : cmd::kViewCallLog).front()->trigger();
        QVERIFY(window->isVisible());
        QVERIFY(visible);
    }

    // The phone book window is built before RV.cfg is read: the saved columns (Number forced
    // on) are shown from the start, and the first toggle adds just its own column.
    void savedPhoneBookColumnsAtStart() {
        HostRig rig([](CSettings& s) { s.m_dwPhoneBookColumnMask = 0x0011; }); // Name, Flags
        CPhoneBookModel* model = rig.host->PhoneBookWindow()->Model();
        QCOMPARE(model->columnCount(), 3);
        QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Number"));
        rig.host->PhoneBookWindow()->OnToggleColumn(2); // "Memo"
        QVERIFY(QTest::qWaitFor([&] { return model->columnCount() == 4; }, 2000));
    }

    // Maximised windows are saved with the rectangle they return to and as maximised, and
    // come back both ways at the next start.
    void maximisedWindowsKeepTheirNormalGeometry() {
        CSettings saved;
        QRect bookNormal;
        QPoint mainNormal;
        {
            HostRig rig([](CSettings& s) {
                s.m_bPhoneBookVisible = true;
                s.m_rcPhoneBookPos = {100, 120, 600, 420};
            });
            QWidget* book = rig.host->PhoneBookWindow();
            bookNormal = book->geometry();
            mainNormal = rig.Main().geometry().topLeft();
            rig.Main().showMaximized();
            book->showMaximized();
            QVERIFY(QTest::qWaitFor([&] { return rig.Main().pos() != mainNormal && book->geometry() != bookNormal; },
                                    2000));
            const QRect maximized = book->geometry();
            // A new row fits the columns, but a maximised window keeps its size.
            rig.AddEntry("4085551212", "Lovelace-Featherstonehaugh", "Augusta Ada");
            QVERIFY(QTest::qWaitFor([&] { return rig.host->PhoneBookWindow()->Model()->rowCount() == 1; }, 2000));
            QCOMPARE(book->geometry(), maximized);
            rig.dialog->ShutDown();
            saved.Parse(ReadFileText(rig.Dir().File("RV.cfg")), {});
        }
        QCOMPARE(QPoint(saved.m_rcMainPos.left, saved.m_rcMainPos.top), mainNormal);
        const CRect book = saved.m_rcPhoneBookPos;
        QCOMPARE(QRect(QPoint(book.left, book.top), QPoint(book.right - 1, book.bottom - 1)), bookNormal);
        QVERIFY(saved.m_bMainMaximized && saved.m_bPhoneBookMaximized && !saved.m_bCallLogMaximized);

        HostRig again([&](CSettings& s) { s = saved; });
        QVERIFY(again.Main().isMaximized() && again.host->PhoneBookWindow()->isMaximized());
        QVERIFY(!again.host->CallLogWindow()->isMaximized());
        QCOMPARE(again.Main().normalGeometry().topLeft(), mainNormal);
        QCOMPARE(again.host->PhoneBookWindow()->normalGeometry(), bookNormal);
        // Minimised and restored by the program, it is maximised again.
        again.dialog->OnSysCommand(CMainDialog::SC_MINIMIZE);
        QVERIFY(again.Main().isMinimized());
        again.dialog->OnSysCommand(CMainDialog::SC_RESTORE);
        QVERIFY(again.Main().isMaximized() && !again.Main().isMinimized());
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

    // The wait for a dial: the windows go on painting and taking input, but of the commands
    // only Quit (and the close box) acts, by ending the wait; the shut-down follows after it.
    void responsiveWaitHandsOnlyQuitToTheController_data() {
        QTest::addColumn<int>("command"); // what the user does during the wait; 0: nothing
        QTest::addColumn<bool>("ready");  // the descriptor becomes readable during the wait
        QTest::addColumn<int>("end");
        QTest::newRow("ready") << 0 << true << int(CWindowHost::EWaitEnd::Ready);
        QTest::newRow("time passes") << 0 << false << int(CWindowHost::EWaitEnd::TimedOut);
        QTest::newRow("another command") << cmd::kViewCallLog << false << int(CWindowHost::EWaitEnd::TimedOut);
        QTest::newRow("quit") << cmd::kOk << false << int(CWindowHost::EWaitEnd::Quit);
        QTest::newRow("close box") << cmd::kCancel << false << int(CWindowHost::EWaitEnd::Quit);
    }
    void responsiveWaitHandsOnlyQuitToTheController() {
        QFETCH(int, command);
        QFETCH(bool, ready);
        QFETCH(int, end);
        HostRig rig;
        const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        QVERIFY(fd >= 0);
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(20);
        QTimer::singleShot(100, [&] {
            if (ready) {
                const std::uint64_t one = 1;
                QCOMPARE(::write(fd, &one, sizeof one), ssize_t(sizeof one));
            } else if (command == cmd::kCancel) {
                rig.Main().close();
            } else if (command != 0) {
                rig.Main().Actions(command).front()->trigger();
            }
        });
        QElapsedTimer elapsed;
        elapsed.start();
        const CWindowHost::EWaitEnd result = rig.host->WaitForReadable(fd, 600);
        ::close(fd);
        QCOMPARE(int(result), end);
        QVERIFY(ticks >= 3); // the event loop ran throughout
        QVERIFY(elapsed.elapsed() >= (end == int(CWindowHost::EWaitEnd::TimedOut) ? 590 : 90));
        QVERIFY(!rig.host->Ended());
        QVERIFY(rig.dialog->Initialized());
        QVERIFY(!rig.dialog->Settings().m_bCallLogVisible); // the held-back command did nothing
        QCOMPARE(QTest::qWaitFor([&] { return rig.host->Ended(); }, 1000), end == int(CWindowHost::EWaitEnd::Quit));
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

    void listWindowActionsReachTheStores() {
        HostRig rig([](CSettings& s) {
            s.m_bPhoneBookVisible = true;
            s.m_bCallLogVisible = true;
        });
        CPhoneBookDlg* book = rig.host->PhoneBookWindow();
        CCallLogDlg* log = rig.host->CallLogWindow();
        rig.dialog->CallLog()->Add(
            std::make_unique<CCallLogRecord>("Unknown caller", "4085553344", false, false, HostRig::kNow, 0, 0));
        log->Refill();
        const auto drained = [&] { return QTest::qWaitFor([&] { return rig.dialog->Messages().Size() == 0; }, 5000); };

        // Import through the window's menu and the host's file dialog.
        WriteFileText(rig.Dir().File("friends.vcf"), "BEGIN:VCARD\nVERSION:3.0\nN:Lee;Ann\nTEL:408 555 1212\n"
                                                     "END:VCARD\n");
        rig.host->SetFileDialogRunner([&](QFileDialog& dialog) {
            dialog.selectFile(QString::fromStdString(rig.Dir().File("friends.vcf")));
            return true;
        });
        book->findChild<QAction*>("actionImport")->trigger();
        QCOMPARE(book->Model()->rowCount(), 1);
        QVERIFY(rig.boxes.messages.back().find("1 added") != std::string::npos);

        // Block the unknown caller from the call log: it gets an entry marked "I".
        SelectListRows(log->View(), {0});
        log->findChild<QAction*>("actionBlockCaller")->trigger();
        QVERIFY(drained());
        QCOMPARE(book->Model()->rowCount(), 2);
        QVERIFY(rig.dialog->PhoneBook()->IsIgnored("4085553344"));

        // Delete both entries, then undo.
        book->View()->selectAll();
        book->findChild<QAction*>("actionDelete")->trigger();
        QVERIFY(drained());
        QCOMPARE(book->Model()->rowCount(), 0);
        QVERIFY(book->findChild<QAction*>("actionUndo")->isEnabled());
        book->findChild<QAction*>("actionUndo")->trigger();
        QCOMPARE(book->Model()->rowCount(), 2);
        QVERIFY(rig.dialog->PhoneBook()->IsIgnored("4085553344"));
        QVERIFY(!book->findChild<QAction*>("actionUndo")->isEnabled());
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

        // "&Help" opens the first page that exists, from any working directory, through the
        // real xdg-open (no desktop here: it runs $BROWSER); where no browser opens it, the
        // user is told where the page is.
        const QString expected = CQtWindowHost::HelpPagePath(CQtWindowHost::HelpPageCandidates());
        QVERIFY(!expected.isEmpty());
        for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"}) {
            qunsetenv(variable);
        }
        const QString browser = dir.filePath(QStringLiteral("browser"));
        const QString seen = dir.filePath(QStringLiteral("seen"));
        WriteFileText(browser.toStdString(), "#!/bin/sh\necho \"$1\" > " + seen.toStdString() + "\n");
        QVERIFY(QFile::setPermissions(browser, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const std::string notOpened = StrFormat(CQtWindowHost::kHelpNotOpened, qPrintable(expected));
        for (const QString& command : {browser, QStringLiteral("false")}) {
            HostRig rig;
            const std::size_t boxes = rig.boxes.messages.size(); // the start-up's, without an adapter
            qputenv("BROWSER", command.toLocal8Bit());
            rig.Main().Actions(cmd::kHelp).front()->trigger();
            if (command == browser) {
                QTRY_COMPARE(QString::fromStdString(ReadFileText(seen.toStdString())).trimmed(), expected);
            } else {
                QTRY_COMPARE(rig.boxes.messages.size(), boxes + 1);
                QCOMPARE(rig.boxes.messages.back(), notOpened);
            }
        }
        qunsetenv("BROWSER");
    }
};

QTEST_MAIN(TestHost)
#include "TestHost.moc"
