// The settings dialogs, driven as a user would: the configuration dialog with its slots,
// passwords, area codes and sub-dialogs; the caller-ID setup with its seconds field and font
// rules; the call-waiting bits; the remote-control fields; "New Area Code". No test waits on a
// modal loop: dialogs are shown with show()/open() and closed by the test.
#include "UiTestSupport.h"
#include "core/CSettings.h"
#include "support/TempDir.h"
#include "ui/CCallWaitingSetupDlg.h"
#include "ui/CCallerIdPopup.h"
#include "ui/CCallerIdSetupDlg.h"
#include "ui/CConfigDlg.h"
#include "ui/CNewAreaCodeDlg.h"
#include "ui/CRemoteControlDlg.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFontDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include <unistd.h>

namespace {

template <typename T> T* Child(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(QLatin1String(name));
    if (child == nullptr) {
        qFatal("no child %s", name);
    }
    return child;
}

// Clicks a button where a user would: check boxes and radio buttons on their indicator.
void Click(QWidget* parent, const char* name) {
    auto* button = Child<QAbstractButton>(parent, name);
    const bool indicator =
        qobject_cast<QCheckBox*>(button) != nullptr || qobject_cast<QRadioButton*>(button) != nullptr;
    const QPoint where = indicator ? QPoint(8, button->height() / 2) : button->rect().center();
    QTest::mouseClick(button, Qt::LeftButton, {}, where);
}

void TypeInto(QWidget* parent, const char* name, const QString& text) {
    auto* edit = Child<QLineEdit>(parent, name);
    edit->clear();
    QTest::keyClicks(edit, text);
}

FakeDialUpService TwoEntries() {
    return FakeDialUpService({{"Work", "/dev/ttyS1"}, {"Home", "/dev/ttyUSB0"}});
}

CSettings SlotSettings() {
    CSettings settings;
    settings.m_strComPort = "COM2";
    settings.m_nBaud = 115200;
    settings.m_strDefaultAreaCode = "408";
    settings.m_strRASConnection = {"Work", "Home", "Gone"};
    settings.m_strRASUserName = {"ann", "bob", "cy"};
    settings.m_strRASPassword = {"pw1", "pw2", "pw3"};
    settings.m_NoDial1AreaCodes = {"650", "415"};
    return settings;
}

QString SecondsText(CCallerIdSetupDlg& dialog) {
    return Child<QSpinBox>(&dialog, "spinSeconds")->findChild<QLineEdit*>()->text();
}

void SetSecondsText(CCallerIdSetupDlg& dialog, const QString& text) {
    auto* edit = Child<QSpinBox>(&dialog, "spinSeconds")->findChild<QLineEdit*>();
    edit->selectAll();
    edit->del();
    QTest::keyClicks(edit, text);
}

std::vector<CCallerIdPopup*> OpenPopups() {
    std::vector<CCallerIdPopup*> popups;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* popup = qobject_cast<CCallerIdPopup*>(widget); popup != nullptr && popup->isVisible()) {
            popups.push_back(popup);
        }
    }
    return popups;
}

void CloseAllPopups() {
    for (CCallerIdPopup* popup : OpenPopups()) {
        popup->close();
    }
    QTRY_VERIFY(OpenPopups().empty());
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    // ---- Call waiting ------------------------------------------------------------------

    void callWaitingBits_data() {
        QTest::addColumn<int>("on");
        QTest::addColumn<int>("off");
        QTest::addColumn<bool>("en1");
        QTest::addColumn<bool>("en2");
        QTest::addColumn<bool>("dis1");
        QTest::addColumn<bool>("dis2");
        QTest::addColumn<int>("onAfter");
        QTest::addColumn<int>("offAfter");
        QTest::newRow("defaults") << 3 << 0 << true << true << false << false << 3 << 0;
        QTest::newRow("higher bits dropped: 7 -> 3") << 7 << 0 << true << true << false << false << 3 << 0;
        QTest::newRow("only bit 2 set: 4 -> 0") << 4 << 12 << false << false << false << false << 0 << 0;
        QTest::newRow("phone 1 on, phone 2 off") << 1 << 2 << true << false << false << true << 1 << 2;
    }
    void callWaitingBits() {
        QFETCH(int, on);
        QFETCH(int, off);
        QFETCH(bool, en1);
        QFETCH(bool, en2);
        QFETCH(bool, dis1);
        QFETCH(bool, dis2);
        QFETCH(int, onAfter);
        QFETCH(int, offAfter);
        CCallWaitingSetupDlg dialog(on, off);
        QCOMPARE(Child<QCheckBox>(&dialog, "checkEnabledPhone1")->isChecked(), en1);
        QCOMPARE(Child<QCheckBox>(&dialog, "checkEnabledPhone2")->isChecked(), en2);
        QCOMPARE(Child<QCheckBox>(&dialog, "checkDisabledPhone1")->isChecked(), dis1);
        QCOMPARE(Child<QCheckBox>(&dialog, "checkDisabledPhone2")->isChecked(), dis2);
        QCOMPARE(dialog.OnValue(), onAfter);
        QCOMPARE(dialog.OffValue(), offAfter);
    }

    void callWaitingClicks() {
        CCallWaitingSetupDlg dialog(3, 0);
        dialog.show();
        SaveScreenshot(&dialog, QStringLiteral("dialog_call_waiting"));
        Click(&dialog, "checkEnabledPhone2");
        Click(&dialog, "checkDisabledPhone2");
        QCOMPARE(dialog.OnValue(), 1);
        QCOMPARE(dialog.OffValue(), 2);
    }

    // ---- Remote control and new area code ----------------------------------------------

    void remoteControlRoundTripAndDigitFields() {
        CSettings settings;
        settings.m_bRCWatchDTMF = true;
        settings.m_strRCDTMF = "*1#";
        settings.m_bRCIncoming = true;
        settings.m_bRCOutgoing = false;
        settings.m_bRCWatchNumbers = false;
        settings.m_strRCRemoteNumber = "4085551212";
        settings.m_strRCLocalNumber = "5551000";
        CRemoteControlDlg dialog(settings, MessageRecorder().Fn());
        dialog.show();
        SaveScreenshot(&dialog, QStringLiteral("dialog_remote_control"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Remote Control Configuration"));

        CSettings unchanged;
        dialog.ApplyTo(unchanged);
        QCOMPARE(unchanged, settings);

        TypeInto(&dialog, "editRemoteNumber", "65a0-5*5#5");
        TypeInto(&dialog, "editLocalNumber", "1 2x3");
        TypeInto(&dialog, "editDtmf", "*9#A");
        Click(&dialog, "checkWatchNumbers");
        Click(&dialog, "checkOutgoing");
        Click(&dialog, "checkWatchDtmf");
        Click(&dialog, "buttonOk");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        CSettings edited;
        dialog.ApplyTo(edited);
        QCOMPARE(edited.m_strRCRemoteNumber, std::string("650555"));
        QCOMPARE(edited.m_strRCLocalNumber, std::string("123"));
        QCOMPARE(edited.m_strRCDTMF, std::string("*9#A"));
        QVERIFY(edited.m_bRCWatchNumbers);
        QVERIFY(edited.m_bRCOutgoing);
        QVERIFY(!edited.m_bRCWatchDTMF);
        // No enabling rules: the fields stay editable whatever the boxes say.
        QVERIFY(Child<QLineEdit>(&dialog, "editDtmf")->isEnabled());

        // A number read from the file with other characters is refused on OK.
        settings.m_strRCLocalNumber = "555-1000";
        MessageRecorder messages;
        CRemoteControlDlg stored(settings, messages.Fn());
        stored.show();
        Click(&stored, "buttonOk");
        QVERIFY(stored.result() != QDialog::Accepted);
        QCOMPARE(messages.messages, std::vector<std::string>{CRemoteControlDlg::kNumbersMessage});
    }

    void newAreaCodeTakesAnyText() {
        CNewAreaCodeDlg dialog;
        dialog.show();
        QVERIFY(dialog.Text().empty());
        TypeInto(&dialog, "editAreaCode", "7a4");
        QCOMPARE(dialog.Text(), std::string("7a4"));
        SaveScreenshot(&dialog, QStringLiteral("dialog_new_area_code"));
    }

    // ---- Caller-ID setup ----------------------------------------------------------------

    void secondsValidation_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("message");
        QTest::newRow("lowest") << "1" << true << "";
        QTest::newRow("highest") << "500" << true << "";
        QTest::newRow("zero") << "0" << false << QString::fromStdString(CCallerIdSetupDlg::RangeMessage());
        QTest::newRow("one too many") << "501" << false << QString::fromStdString(CCallerIdSetupDlg::RangeMessage());
        QTest::newRow("empty") << "" << false << QString::fromStdString(CCallerIdSetupDlg::NotANumberMessage());
    }
    void secondsValidation() {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(QString, message);
        CSettings settings;
        settings.m_nCIDTimerValue = 10;
        MessageRecorder messages;
        CCallerIdSetupDlg dialog(settings, messages.Fn());
        dialog.open();
        SetSecondsText(dialog, typed);
        Click(&dialog, "buttonOk");
        if (accepted) {
            QVERIFY(messages.messages.empty());
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            CSettings out;
            dialog.ApplyTo(out);
            QCOMPARE(out.m_nCIDTimerValue, typed.toInt());
        } else {
            QCOMPARE(messages.messages.size(), std::size_t(1));
            QCOMPARE(QString::fromStdString(messages.messages[0]), message);
            QVERIFY(dialog.isVisible());
            CSettings out;
            dialog.ApplyTo(out);
            QCOMPARE(out.m_nCIDTimerValue, 10);
        }
    }

    void rangeMessageNamesTheBounds() {
        const std::string text = CCallerIdSetupDlg::RangeMessage();
        QVERIFY(text.find('1') != std::string::npos);
        QVERIFY(text.find("500") != std::string::npos);
    }

    void spinArrowsStayInRange() {
        CSettings settings;
        settings.m_nCIDTimerValue = 499;
        CCallerIdSetupDlg dialog(settings, MessageRecorder().Fn());
        auto* spin = Child<QSpinBox>(&dialog, "spinSeconds");
        spin->stepBy(5);
        QCOMPARE(spin->value(), 500);
        spin->setValue(3);
        spin->stepBy(-10);
        QCOMPARE(spin->value(), 1);
    }

    void fontWeightRules_data() {
        QTest::addColumn<int>("weight");
        QTest::addColumn<bool>("bold");
        QTest::newRow("normal 400") << 400 << false;
        QTest::newRow("semi-bold 600") << 600 << false;
        QTest::newRow("bold 700") << 700 << true;
        QTest::newRow("heavy 800") << 800 << false;
    }
    void fontWeightRules() {
        QFETCH(int, weight);
        QFETCH(bool, bold);
        CSettings settings;
        settings.m_strCIDFontName = "DejaVu Sans";
        settings.m_nCIDFontSize = 120;
        settings.m_bCIDFontBold = !bold;
        settings.m_eCIDAnnounce = CSettings::EAnnounce::Popup;
        CCallerIdSetupDlg dialog(settings, MessageRecorder().Fn());
        auto* announce = Child<QComboBox>(&dialog, "comboAnnounce");
        QCOMPARE(announce->currentText(), QStringLiteral("The popup window"));
        announce->setCurrentIndex(1);
        CFontChoice offered;
        dialog.SetFontChooser([&](CFontChoice& choice) {
            offered = choice;
            choice.faceName = "DejaVu Serif";
            choice.pointSize = 150;
            choice.weight = weight;
            choice.italic = true;
            choice.color = 0x0000FF;
            return true;
        });
        dialog.OnSelectFont();
        // The chooser was opened with weight 700 or 400 from the bold flag.
        QCOMPARE(offered.weight, !bold ? 700 : 400);
        QCOMPARE(offered.faceName, std::string("DejaVu Sans"));
        QCOMPARE(offered.pointSize, 120);
        CSettings out;
        dialog.ApplyTo(out);
        QCOMPARE(out.m_bCIDFontBold, bold);
        QCOMPARE(out.m_strCIDFontName, std::string("DejaVu Serif"));
        QCOMPARE(out.m_nCIDFontSize, 150);
        QVERIFY(out.m_bCIDFontItalic);
        QCOMPARE(out.m_dwCIDFontColor, 0x0000FFu);
        QVERIFY(out.m_eCIDAnnounce == CSettings::EAnnounce::Notification);
    }

    void cancelledChoosersChangeNothing() {
        CSettings settings;
        settings.m_strCIDFontName = "DejaVu Sans";
        settings.m_dwCIDBackgroundColor = 0x123456;
        CCallerIdSetupDlg dialog(settings, MessageRecorder().Fn());
        dialog.SetFontChooser([](CFontChoice& choice) {
            choice.faceName = "Other";
            return false;
        });
        dialog.SetColorChooser([](std::uint32_t& color) {
            color = 0;
            return false;
        });
        dialog.OnSelectFont();
        dialog.OnSelectBackground();
        CSettings out;
        dialog.ApplyTo(out);
        QCOMPARE(out.m_strCIDFontName, std::string("DejaVu Sans"));
        QCOMPARE(out.m_dwCIDBackgroundColor, 0x123456u);

        std::uint32_t offered = 0;
        dialog.SetColorChooser([&offered](std::uint32_t& color) {
            offered = color;
            color = 0xABCDEF;
            return true;
        });
        dialog.OnSelectBackground();
        QCOMPARE(offered, 0x123456u);
        dialog.ApplyTo(out);
        QCOMPARE(out.m_dwCIDBackgroundColor, 0xABCDEFu);
    }

    // The system's choosers: the font first, then its colour. Cancelling the colour keeps the
    // font just chosen, with the colour it had.
    void systemFontKeptWhenItsColourIsCancelled() {
        CSettings settings;
        settings.m_strCIDFontName = "DejaVu Sans";
        settings.m_dwCIDFontColor = 0x112233;
        CCallerIdSetupDlg dialog(settings, MessageRecorder().Fn());
        dialog.show();
        QString family;
        bool colourCancelled = false;
        QTimer::singleShot(0, this, [&] {
            auto* fonts = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
            QVERIFY(fonts != nullptr);
            QFont chosen(QStringLiteral("DejaVu Serif"));
            chosen.setPointSize(15);
            chosen.setBold(true);
            fonts->setCurrentFont(chosen);
            family = fonts->currentFont().family();
            QTimer::singleShot(0, this, [&] {
                auto* colours = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
                QVERIFY(colours != nullptr);
                colours->reject();
                colourCancelled = true;
            });
            fonts->accept();
        });
        Click(&dialog, "buttonSelectFont");
        QVERIFY(colourCancelled);
        CSettings out;
        dialog.ApplyTo(out);
        QCOMPARE(QString::fromStdString(out.m_strCIDFontName), family);
        QCOMPARE(out.m_nCIDFontSize, 150);
        QVERIFY(out.m_bCIDFontBold);
        QCOMPARE(out.m_dwCIDFontColor, 0x112233u);
    }

    void onlyIfNotInPhoneBookFollowsShowNumber() {
        CSettings settings;
        settings.m_bCIDShowNumber = true;
        settings.m_bCIDOnlyIfNotInPhoneBook = true;
        CCallerIdSetupDlg dialog(settings, MessageRecorder().Fn());
        dialog.show();
        auto* only = Child<QCheckBox>(&dialog, "checkOnlyIfNotInPhoneBook");
        QVERIFY(only->isEnabled());
        Click(&dialog, "checkShowNumber");
        QVERIFY(!only->isEnabled());
        QVERIFY(only->isChecked()); // holds its value while disabled
        Click(&dialog, "checkShowNumber");
        QVERIFY(only->isEnabled());

        CSettings off;
        off.m_bCIDShowNumber = false;
        CCallerIdSetupDlg closed(off, MessageRecorder().Fn());
        QVERIFY(!Child<QCheckBox>(&closed, "checkOnlyIfNotInPhoneBook")->isEnabled());
    }

    void previewOpensOneMorePopupEachTime() {
        CloseAllPopups();
        CSettings settings;
        settings.m_strCIDFontName = "DejaVu Sans";
        settings.m_bCIDShowNumber = true;
        settings.m_bCIDOnlyIfNotInPhoneBook = true;
        settings.m_bCallerIDTimer = false;
        auto* dialog = new CCallerIdSetupDlg(settings, MessageRecorder().Fn());
        dialog->show();
        SaveScreenshot(dialog, QStringLiteral("dialog_caller_id_setup"));
        Click(dialog, "buttonPreview");
        Click(dialog, "buttonPreview");
        std::vector<CCallerIdPopup*> popups = OpenPopups();
        QCOMPARE(popups.size(), std::size_t(2));
        const SCallerIdPopup& shown = popups[0]->Snapshot();
        QCOMPARE(shown.name, std::string("Caller Name"));
        QCOMPARE(shown.number, std::string("4085551212"));
        QCOMPARE(shown.portIndex, 1);
        SaveScreenshot(popups[0], QStringLiteral("popup_preview"));

        // The popups outlive the dialog.
        delete dialog;
        QCOMPARE(OpenPopups().size(), std::size_t(2));
        CloseAllPopups();
    }

    void previewWithoutNumberAndWithBadSeconds() {
        CloseAllPopups();
        CSettings settings;
        settings.m_bCIDShowNumber = true;
        settings.m_bCallerIDTimer = true;
        settings.m_nCIDTimerValue = 7;
        MessageRecorder messages;
        CCallerIdSetupDlg dialog(settings, messages.Fn());
        dialog.show();
        Click(&dialog, "checkShowNumber");
        Click(&dialog, "checkAutoDismiss"); // off: taken before the bad seconds
        SetSecondsText(dialog, "900");
        QPointer<CCallerIdPopup> popup(dialog.OnPreview());
        QCOMPARE(messages.messages.size(), std::size_t(1));
        QVERIFY(!popup.isNull());
        QVERIFY(popup->Snapshot().number.empty());
        QVERIFY(!popup->DismissTimerActive());
        CloseAllPopups();
        QCOMPARE(SecondsText(dialog), QStringLiteral("900"));
    }

    // ---- Configuration ------------------------------------------------------------------

    void comPortChoices() {
        const std::vector<SSerialPort> ports = {
            {"/dev/ttyUSB1", "/dev/ttyUSB1", ""},
            {"/dev/serial/by-id/usb-3Com_ImpactIQ-if00-port0", "/dev/ttyUSB0", "3Com ImpactIQ"},
            {"/dev/ttyACM0", "/dev/ttyACM0", ""}};
        std::vector<std::string> paths;
        for (const SSerialPort& port : CConfigDlg::ComPortChoices("/tmp/ttyRV", ports)) {
            paths.push_back(port.path);
        }
        const std::vector<std::string> expected = {
            "COM1",         "COM2",         "COM3",
            "COM4",         "COM5",         "COM6",
            "COM7",         "COM8",         "/dev/serial/by-id/usb-3Com_ImpactIQ-if00-port0",
            "/dev/ttyACM0", "/dev/ttyUSB1", "/tmp/ttyRV"};
        QCOMPARE(paths, expected);
        QCOMPARE(CConfigDlg::ComPortChoices("COM3", {}).size(), std::size_t(8));
        QCOMPARE(CConfigDlg::ComPortChoices("/dev/ttyACM0", ports).size(), std::size_t(11));
        QCOMPARE(CConfigDlg::ComPortChoices("", {}).size(), std::size_t(8));
    }

    // The port list follows adapters plugged in and out while the dialog is open (real inotify
    // events on a device folder of the test's own); an adapter chosen from it is stored by its
    // stable by-id path, and a typed path is stored as typed.
    void portListFollowsTheDevicesAndStoresTheStablePath() {
        TempDir dev;
        const SSerialPortRoots roots{dev.Path(), dev.File("serial/by-id"), false};
        FakeDialUpService dialUp = TwoEntries();
        CConfigDlg dialog(SlotSettings(), dialUp, MessageRecorder().Fn(), roots);
        dialog.show();
        auto* port = Child<QComboBox>(&dialog, "comboComPort");
        QCOMPARE(port->count(), 8);
        WriteFileText(dev.File("ttyUSB3"), "");
        QVERIFY(QDir().mkpath(QString::fromStdString(roots.byIdDir)));
        const std::string link = roots.byIdDir + "/usb-3Com_ImpactIQ_0042-if00-port0";
        QVERIFY(::symlink("../../ttyUSB3", link.c_str()) == 0);
        QTRY_COMPARE(port->count(), 9);
        QCOMPARE(port->itemText(8), QString::fromStdString(link));
        QCOMPARE(port->itemData(8, Qt::DisplayRole).toString(),
                 QStringLiteral("3Com ImpactIQ 0042 (%1)").arg(QString::fromStdString(link)));
        QCOMPARE(port->currentText(), QStringLiteral("COM2")); // what the field held stays
        port->setCurrentIndex(8);
        Click(&dialog, "buttonOk");
        CSettings result;
        dialog.ApplyTo(result);
        QCOMPARE(result.m_strComPort, link);

        // Unplugged: the list lets go of it; a path typed by hand is taken as it is.
        QVERIFY(::unlink(link.c_str()) == 0 && ::unlink(dev.File("ttyUSB3").c_str()) == 0);
        CConfigDlg again(result, dialUp, MessageRecorder().Fn(), roots);
        auto* field = Child<QComboBox>(&again, "comboComPort");
        QCOMPARE(field->currentText(), QString::fromStdString(link));
        QCOMPARE(field->count(), 9); // COM1..COM8 and the stored value
        field->setEditText(QStringLiteral(" /dev/pts/7 "));
        Click(&again, "buttonOk");
        again.ApplyTo(result);
        QCOMPARE(result.m_strComPort, std::string("/dev/pts/7"));
    }

    // "Start with the desktop" writes the autostart entry on OK (starting this program on these
    // files, quoted as the desktop's rules want), removes it on OK when cleared, and Cancel
    // changes nothing; an entry that cannot be written is said and the rest still counts.
    void startWithTheDesktopWritesOrRemovesTheAutostartEntry() {
        TempDir home;
        const SAutostart autostart{home.File("config/autostart/ringvale.desktop"), "/opt/my apps/ringvale",
                                   "/home/ann/100% \\rv"};
        FakeDialUpService dialUp = TwoEntries();
        struct Row {
            bool click;
            bool ok;
            bool checkedBefore;
            bool exists;
        };
        const Row rows[] = {{true, true, false, true}, {true, false, true, true}, {true, true, true, false}};
        for (const Row& row : rows) {
            MessageRecorder messages;
            CConfigDlg dialog(SlotSettings(), dialUp, messages.Fn(), SSerialPortRoots{home.Path(), "", false});
            dialog.SetAutostart(autostart);
            dialog.open();
            QCOMPARE(Child<QCheckBox>(&dialog, "checkStartWithDesktop")->isChecked(), row.checkedBefore);
            Click(&dialog, "checkStartWithDesktop");
            Click(&dialog, row.ok ? "buttonOk" : "buttonCancel");
            QVERIFY(messages.messages.empty());
            QCOMPARE(QFile::exists(QString::fromStdString(autostart.entryPath)), row.exists);
            if (row.exists) {
                const std::string entry = ReadFileText(autostart.entryPath);
                QVERIFY2(entry.find("\nExec=\"/opt/my apps/ringvale\" --data-dir \"/home/ann/100%% \\\\\\\\rv\"\n") !=
                             std::string::npos,
                         entry.c_str());
            }
        }
        WriteFileText(home.File("plain"), "");
        MessageRecorder messages;
        CConfigDlg dialog(SlotSettings(), dialUp, messages.Fn(), SSerialPortRoots{home.Path(), "", false});
        dialog.SetAutostart({home.File("plain/autostart/ringvale.desktop"), "/usr/bin/ringvale", ""});
        dialog.open();
        Click(&dialog, "checkStartWithDesktop");
        Click(&dialog, "buttonOk");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(messages.messages.size(), std::size_t(1));
        QVERIFY(messages.messages[0].find("could not be changed: Not a directory") != std::string::npos);
    }

    void roundTripKeepsEverything() {
        const CSettings original = SlotSettings();
        FakeDialUpService dialUp = TwoEntries();
        MessageRecorder messages;
        CConfigDlg dialog(original, dialUp, messages.Fn());
        dialog.show();
        SaveScreenshot(&dialog, QStringLiteral("dialog_configuration"));
        QCOMPARE(Child<QComboBox>(&dialog, "comboComPort")->currentText(), QStringLiteral("COM2"));
        QCOMPARE(Child<QComboBox>(&dialog, "comboBaud")->currentText(), QStringLiteral("115200"));
        QCOMPARE(Child<QComboBox>(&dialog, "comboConnection")->currentText(), QStringLiteral("Work"));
        QCOMPARE(Child<QLineEdit>(&dialog, "editUserName")->text(), QStringLiteral("ann"));
        Click(&dialog, "buttonOk");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(messages.messages.empty());

        CSettings result = original;
        dialog.ApplyTo(result);
        CSettings expected = original;
        expected.m_strModemName = "/dev/ttyS1"; // the device of the slot shown last
        expected.m_NoDial1AreaCodes = {"415", "650"};
        QCOMPARE(result, expected);
    }

    void everyControlIsCopiedBack() {
        CSettings original = SlotSettings();
        FakeDialUpService dialUp = TwoEntries();
        CConfigDlg dialog(original, dialUp, MessageRecorder().Fn());
        dialog.show();
        Child<QComboBox>(&dialog, "comboComPort")->setCurrentText("/dev/ttyUSB0");
        Child<QComboBox>(&dialog, "comboBaud")->setCurrentText("57600");
        TypeInto(&dialog, "editAreaCode", "7x1-4");
        Click(&dialog, "checkAlwaysDialAreaCode");
        Click(&dialog, "checkMinimizeToTray");
        Click(&dialog, "checkMinimizeAtStartup");
        Child<QComboBox>(&dialog, "comboConnection")->setCurrentText("Home");
        TypeInto(&dialog, "editUserName", "zed");
        TypeInto(&dialog, "editPassword", "secret");
        TypeInto(&dialog, "editConfirmPassword", "secret");
        Child<QSpinBox>(&dialog, "spinDialUpTimeLimit")->setValue(45);
        Click(&dialog, "buttonOk");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        CSettings result = original;
        result.m_nCurrentRASConnection = 2;
        dialog.ApplyTo(result);
        QCOMPARE(result.m_strComPort, std::string("/dev/ttyUSB0"));
        QCOMPARE(result.m_nBaud, 57600);
        QCOMPARE(result.m_strDefaultAreaCode, std::string("714"));
        QVERIFY(result.m_bAlwaysDialAreaCode);
        QVERIFY(result.m_bMinimizeToTray);
        QVERIFY(result.m_bMinimizeAtStartup);
        QCOMPARE(result.m_strRASConnection[0], std::string("Home"));
        QCOMPARE(result.m_strRASUserName[0], std::string("zed"));
        QCOMPARE(result.m_strRASPassword[0], std::string("secret"));
        QCOMPARE(result.m_strModemName, std::string("/dev/ttyUSB0"));
        QCOMPARE(result.m_nDialUpTimeLimit, 45);
        QCOMPARE(result.m_nCurrentRASConnection, 2); // not the dialog's business
    }

    // Typing is filtered to digits, but a value read from RV.cfg may hold anything: OK takes
    // exactly three digits and otherwise says so and stays open.
    void areaCodeIsThreeDigits() {
        const struct {
            const char* stored;
            const char* typed; // replaces the stored value unless null
            bool accepted;
        } cases[] = {{"408", nullptr, true}, {"408", "40", false}, {"408", "", false}, {"2x1-2345", nullptr, false}};
        for (const auto& c : cases) {
            CSettings settings = SlotSettings();
            settings.m_strDefaultAreaCode = c.stored;
            FakeDialUpService dialUp = TwoEntries();
            MessageRecorder messages;
            CConfigDlg dialog(settings, dialUp, messages.Fn(), {});
            dialog.show();
            if (c.typed != nullptr) {
                TypeInto(&dialog, "editAreaCode", QString::fromLatin1(c.typed));
            }
            Click(&dialog, "buttonOk");
            QCOMPARE(dialog.result() == QDialog::Accepted, c.accepted);
            QCOMPARE(messages.messages,
                     c.accepted ? std::vector<std::string>{} : std::vector<std::string>{CConfigDlg::kAreaCodeMessage});
        }
    }

    void unknownPortAndRateFallBack() {
        CSettings original = SlotSettings();
        original.m_strComPort.clear();
        original.m_nBaud = 12345;
        FakeDialUpService dialUp = TwoEntries();
        CConfigDlg dialog(original, dialUp, MessageRecorder().Fn(), {});
        dialog.show();
        Click(&dialog, "buttonOk");
        CSettings result = original;
        dialog.ApplyTo(result);
        QCOMPARE(result.m_strComPort, std::string("COM1"));
        QCOMPARE(result.m_nBaud, 230400);
    }

    void passwordMismatchOnOk() {
        FakeDialUpService dialUp = TwoEntries();
        MessageRecorder messages;
        CConfigDlg dialog(SlotSettings(), dialUp, messages.Fn(), {});
        dialog.show();
        TypeInto(&dialog, "editConfirmPassword", "typo");
        Click(&dialog, "buttonOk");
        QCOMPARE(messages.messages, std::vector<std::string>{CConfigDlg::kPasswordMismatch});
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.result() != QDialog::Accepted);
        QVERIFY(Child<QLineEdit>(&dialog, "editPassword")->text().isEmpty());
        QVERIFY(Child<QLineEdit>(&dialog, "editConfirmPassword")->text().isEmpty());
        // Emptied on both sides, the passwords now match: OK goes through with an empty one.
        Click(&dialog, "buttonOk");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        CSettings result;
        dialog.ApplyTo(result);
        QVERIFY(result.m_strRASPassword[0].empty());
        QCOMPARE(result.m_strRASPassword[1], std::string("pw2"));
    }

    void passwordMismatchOnSlotChange() {
        FakeDialUpService dialUp = TwoEntries();
        MessageRecorder messages;
        CConfigDlg dialog(SlotSettings(), dialUp, messages.Fn(), {});
        dialog.show();
        TypeInto(&dialog, "editConfirmPassword", "typo");
        Click(&dialog, "radioConnection2");
        QCOMPARE(messages.messages.size(), std::size_t(1));
        QCOMPARE(dialog.ShownSlot(), 0);
        QCOMPARE(Child<QLineEdit>(&dialog, "editUserName")->text(), QStringLiteral("ann"));
        QCOMPARE(Child<QLineEdit>(&dialog, "editPassword")->text(), QStringLiteral("pw1"));
        QVERIFY(Child<QRadioButton>(&dialog, "radioConnection1")->isChecked());

        // Back to slot 1 from slot 2 with a mismatch: both password edits are emptied.
        TypeInto(&dialog, "editConfirmPassword", "pw1");
        Click(&dialog, "radioConnection2");
        QCOMPARE(dialog.ShownSlot(), 1);
        QCOMPARE(Child<QLineEdit>(&dialog, "editUserName")->text(), QStringLiteral("bob"));
        TypeInto(&dialog, "editConfirmPassword", "typo");
        Click(&dialog, "radioConnection1");
        QCOMPARE(messages.messages.size(), std::size_t(2));
        QCOMPARE(dialog.ShownSlot(), 1);
        QVERIFY(Child<QLineEdit>(&dialog, "editPassword")->text().isEmpty());
        QVERIFY(Child<QLineEdit>(&dialog, "editConfirmPassword")->text().isEmpty());
        QCOMPARE(Child<QLineEdit>(&dialog, "editUserName")->text(), QStringLiteral("bob"));
    }

    void slotWhoseEntryVanished() {
        FakeDialUpService dialUp = TwoEntries();
        CConfigDlg dialog(SlotSettings(), dialUp, MessageRecorder().Fn(), {});
        dialog.show();
        Click(&dialog, "radioConnection3");
        QCOMPARE(Child<QComboBox>(&dialog, "comboConnection")->currentText(),
                 QString::fromLatin1(CConfigDlg::kNoneSelected));
        // Slot 3 was shown; slot 2 never was and keeps its values.
        Click(&dialog, "buttonOk");
        CSettings result;
        dialog.ApplyTo(result);
        QCOMPARE(result.m_strRASConnection[2], std::string(CConfigDlg::kNoneSelected));
        QVERIFY(result.m_strRASUserName[2].empty());
        QVERIFY(result.m_strRASPassword[2].empty());
        QVERIFY(result.m_strModemName.empty());
        QCOMPARE(result.m_strRASConnection[1], std::string("Home"));
        QCOMPARE(result.m_strRASUserName[1], std::string("bob"));
        QCOMPARE(result.m_strRASPassword[1], std::string("pw2"));
        QVERIFY(!result.IsSlotConfigured(2));
    }

    void noEntriesAtAll() {
        FakeDialUpService dialUp({});
        CConfigDlg dialog(SlotSettings(), dialUp, MessageRecorder().Fn(), {});
        dialog.show();
        auto* combo = Child<QComboBox>(&dialog, "comboConnection");
        QCOMPARE(combo->count(), 1);
        Click(&dialog, "buttonOk");
        CSettings result;
        dialog.ApplyTo(result);
        QCOMPARE(result.m_strRASConnection[0], std::string(CConfigDlg::kNoneSelected));
        QCOMPARE(result.m_strRASConnection[1], std::string("Home"));
    }

    void modemNameFollowsTheShownSlot_data() {
        QTest::addColumn<QString>("radio");
        QTest::addColumn<QString>("modem");
        QTest::newRow("slot 1 shown") << ""
                                      << "/dev/ttyS1";
        QTest::newRow("slot 2 shown") << "radioConnection2"
                                      << "/dev/ttyUSB0";
        QTest::newRow("slot 3 shown, entry gone") << "radioConnection3"
                                                  << "";
    }
    void modemNameFollowsTheShownSlot() {
        QFETCH(QString, radio);
        QFETCH(QString, modem);
        FakeDialUpService dialUp = TwoEntries();
        CConfigDlg dialog(SlotSettings(), dialUp, MessageRecorder().Fn(), {});
        dialog.show();
        if (!radio.isEmpty()) {
            Click(&dialog, radio.toLatin1().constData());
        }
        Click(&dialog, "buttonOk");
        CSettings result;
        result.m_strModemName = "stale";
        dialog.ApplyTo(result);
        QCOMPARE(QString::fromStdString(result.m_strModemName), modem);
    }

    void areaCodesAreSortedAndRemovable() {
        FakeDialUpService dialUp = TwoEntries();
        CConfigDlg dialog(SlotSettings(), dialUp, MessageRecorder().Fn(), {});
        dialog.show();
        for (const QString code : {"714", "", "212", "510"}) {
            Click(&dialog, "buttonNewAreaCode");
            auto* entry = dialog.findChild<CNewAreaCodeDlg*>();
            QVERIFY(entry != nullptr);
            QVERIFY(entry->isVisible());
            TypeInto(entry, "editAreaCode", code);
            entry->accept();
            QTRY_VERIFY(dialog.findChild<CNewAreaCodeDlg*>() == nullptr);
        }
        // A cancelled entry adds nothing.
        Click(&dialog, "buttonNewAreaCode");
        auto* cancelled = dialog.findChild<CNewAreaCodeDlg*>();
        TypeInto(cancelled, "editAreaCode", "999");
        cancelled->reject();
        QTRY_VERIFY(dialog.findChild<CNewAreaCodeDlg*>() == nullptr);

        auto* list = Child<QListWidget>(&dialog, "listAreaCodes");
        Click(&dialog, "buttonRemoveAreaCode"); // no selection: nothing happens
        QCOMPARE(list->count(), 5);
        list->setCurrentRow(list->count() - 1); // "714"
        Click(&dialog, "buttonRemoveAreaCode");
        Click(&dialog, "buttonOk");
        CSettings result;
        dialog.ApplyTo(result);
        const std::vector<std::string> expected = {"212", "415", "510", "650"};
        QCOMPARE(result.m_NoDial1AreaCodes, expected);
    }

    void dial1OnlyIfDifferentFollowsAlwaysDial() {
        CSettings settings = SlotSettings();
        settings.m_bAlwaysDialAreaCode = false;
        settings.m_bDial1OnlyIfDifferent = true;
        FakeDialUpService dialUp = TwoEntries();
        CConfigDlg dialog(settings, dialUp, MessageRecorder().Fn(), {});
        dialog.show();
        auto* dial1 = Child<QCheckBox>(&dialog, "checkDial1OnlyIfDifferent");
        QVERIFY(!dial1->isEnabled());
        Click(&dialog, "checkAlwaysDialAreaCode");
        QVERIFY(dial1->isEnabled());
        Click(&dialog, "checkDial1OnlyIfDifferent");
        Click(&dialog, "checkAlwaysDialAreaCode");
        QVERIFY(!dial1->isEnabled());
        Click(&dialog, "buttonOk");
        CSettings result;
        dialog.ApplyTo(result);
        QVERIFY(!result.m_bAlwaysDialAreaCode);
        QVERIFY(!result.m_bDial1OnlyIfDifferent); // held while disabled
    }

    void subDialogChangesReachTheResultOnOk() {
        CSettings settings = SlotSettings();
        settings.m_nCallWaitingOnValue = 7;
        FakeDialUpService dialUp = TwoEntries();
        CConfigDlg dialog(settings, dialUp, MessageRecorder().Fn(), {});
        dialog.show();
        Click(&dialog, "buttonCallWaitingSetup");
        auto* callWaiting = dialog.findChild<CCallWaitingSetupDlg*>();
        QVERIFY(callWaiting != nullptr);
        callWaiting->accept();
        Click(&dialog, "buttonCallerIdSetup");
        auto* callerId = dialog.findChild<CCallerIdSetupDlg*>();
        QVERIFY(callerId != nullptr);
        Click(callerId, "checkIgnoreBlocked");
        SetSecondsText(*callerId, "42");
        Click(callerId, "buttonOk");
        Click(&dialog, "buttonOk");
        CSettings result = settings;
        dialog.ApplyTo(result);
        QCOMPARE(result.m_nCallWaitingOnValue, 3);
        QVERIFY(result.m_bIgnoreBlocked);
        QCOMPARE(result.m_nCIDTimerValue, 42);
    }

    void cancelDiscardsSubDialogChanges() {
        CSettings settings = SlotSettings();
        const CSettings before = settings;
        FakeDialUpService dialUp = TwoEntries();
        MessageRecorder messages;
        bool driven = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<CConfigDlg*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            Click(dialog, "buttonCallWaitingSetup");
            auto* callWaiting = dialog->findChild<CCallWaitingSetupDlg*>();
            Click(callWaiting, "checkDisabledPhone1");
            callWaiting->accept();
            Click(dialog, "buttonCallerIdSetup");
            auto* callerId = dialog->findChild<CCallerIdSetupDlg*>();
            Click(callerId, "checkShowNumber");
            Click(callerId, "buttonOk");
            Click(dialog, "checkMinimizeToTray");
            Click(dialog, "buttonCancel");
            driven = true;
        });
        QVERIFY(!CConfigDlg::Run(settings, dialUp, messages.Fn(), {}));
        QVERIFY(driven);
        QCOMPARE(settings, before);
    }

    void runAppliesOnOk() {
        CSettings settings = SlotSettings();
        settings.m_nCallWaitingOnValue = 7;
        FakeDialUpService dialUp = TwoEntries();
        QTimer::singleShot(0, this, [] {
            auto* dialog = qobject_cast<CConfigDlg*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            Click(dialog, "buttonCallWaitingSetup");
            dialog->findChild<CCallWaitingSetupDlg*>()->accept();
            Click(dialog, "buttonOk");
        });
        QVERIFY(CConfigDlg::Run(settings, dialUp, MessageRecorder().Fn(), {}));
        QCOMPARE(settings.m_nCallWaitingOnValue, 3);
        QCOMPARE(settings.m_strModemName, std::string("/dev/ttyS1"));
    }
};

QTEST_MAIN(TestDialogs)
#include "TestDialogs.moc"
