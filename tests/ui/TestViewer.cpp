// The viewer's window fed with the publishers' messages (tiles placed as the publisher placed
// them, stale calls of a publisher that went offline dropped, Reject and Block only for an
// offered call of a publisher that takes commands, the call log as it grows), and the network
// dialog in its two modes.
#include "UiTestSupport.h"
#include "core/CSettings.h"
#include "net/CViewerModel.h"
#include "net/NetJson.h"
#include "support/ChildProcess.h"
#include "ui/CDesktopNotifier.h"
#include "ui/CNetworkDlg.h"
#include "ui/CTileCtrl.h"
#include "ui/CViewerLogModel.h"
#include "ui/CViewerWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDBusConnection>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

namespace {

std::string State(const std::vector<SNetCall>& calls, bool commands) {
    return NetStateJson(SNetState{calls, commands, std::nullopt});
}

} // namespace

// The desktop's notification service as a test stands it up on a private session bus.
class CNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList received; // "summary|body|app"
public slots:
    uint Notify(const QString& app, uint /*replacesId*/, const QString& /*icon*/, const QString& summary,
                const QString& body, const QStringList& /*actions*/, const QVariantMap& /*hints*/, int /*timeout*/) {
        received << summary + QLatin1Char('|') + body + QLatin1Char('|') + app;
        return static_cast<uint>(received.size());
    }
};

class TestViewer : public QObject {
    Q_OBJECT
private slots:
    void tilesButtonsAndLog() {
        CViewerModel model;
        std::vector<std::pair<std::string, std::string>> sent;
        CViewerWindow window(CSystemClock::Instance(), [&](const std::string& topic, const std::string& payload) {
            sent.emplace_back(topic, payload);
        });
        const auto feed = [&](const std::string& topic, const std::string& payload, bool retained = false) {
            const CViewerModel::SChange change = model.OnMessage(topic, payload, retained);
            if (change.tiles) {
                window.ShowTiles(model);
            }
            if (change.record) {
                window.AddRecord(*change.record);
            }
            return change;
        };

        // Two publishers: the second's call wants tile 1 too and goes to the first free tile.
        const SNetCall ann{1, 17, false, "connected", "4085551212", "Ann Lee", 1700000000, 1};
        const SNetCall bob{2, 18, false, "offering", "4155550123", "Bob Stone", 1700000005, 0};
        const SNetCall cy{1, 5, false, "offering", "2125550100", "Cy Young", 1700000009, 1};
        feed("ringvale/a/status", "online", true);
        feed("ringvale/a/state", State({ann, bob}, true), true);
        feed("ringvale/b/state", State({cy}, false), true); // b is not online (yet): not shown
        QCOMPARE(window.Tile(0)->View().name, std::string("Bob Stone"));
        QCOMPARE(window.Tile(1)->View().name, std::string("Ann Lee"));
        QVERIFY(!window.Tile(2)->View().call);
        QVERIFY(feed("ringvale/b/status", "online").status);
        QCOMPARE(window.Tile(2)->View().name, std::string("Cy Young"));
        QCOMPARE(window.Tile(2)->View().port, 1);

        // Only a's offered call may be asked about: b takes no commands, Ann is connected.
        QVERIFY(window.RejectButton(0)->isEnabled() && window.BlockButton(0)->isEnabled());
        QVERIFY(!window.RejectButton(1)->isEnabled());
        QVERIFY(!window.RejectButton(2)->isEnabled());
        QTest::mouseClick(window.BlockButton(0), Qt::LeftButton);
        QCOMPARE(sent.size(), std::size_t{1});
        QCOMPARE(sent[0].first, std::string("ringvale/a/command"));
        QCOMPARE(sent[0].second, std::string(R"({"action":"block","callId":18})"));
        QVERIFY(!window.RejectButton(0)->isEnabled());

        // An offered incoming call is announced once, live only; bad messages are said why.
        SNetCallEvent offered{ENetCallEvent::Offered, bob, 1700000005, "", false, 0};
        QVERIFY(feed("ringvale/a/calls", NetCallEventJson(offered)).announce.has_value());
        QVERIFY(!feed("ringvale/a/calls", NetCallEventJson(offered), true).announce.has_value());
        offered.event = ENetCallEvent::Connected;
        QVERIFY(!feed("ringvale/a/calls", NetCallEventJson(offered)).announce.has_value());
        QCOMPARE(feed("ringvale/a/state", "{").problem, std::string("the state of ringvale/a was ignored: not JSON"));
        QCOMPARE(feed("ringvale/a/status", "maybe").problem, std::string("status \"maybe\" of ringvale/a was ignored"));
        QCOMPARE(window.Tile(0)->View().name, std::string("Bob Stone"));

        // A publisher that goes offline leaves a stale retained state: its calls go.
        feed("ringvale/a/status", "offline");
        QVERIFY(!window.Tile(0)->View().call);
        QCOMPARE(window.Tile(1)->View().name, std::string("Cy Young")); // where b shows it
        QVERIFY(!window.Tile(2)->View().call);
        QVERIFY(!window.RejectButton(0)->isEnabled());
        QCOMPARE(model.StatusText(), std::string("ringvale/a offline, ringvale/b online"));

        // The call log grows at the top.
        feed("ringvale/b/log", NetLogRecordJson({"Ann Lee", "4085551212", false, true, 1700000000, 75, 1}));
        feed("ringvale/b/log", NetLogRecordJson({"Unknown callee", "5550000", true, false, 1700000100, 0, 0}));
        CViewerLogModel* log = window.LogModel();
        QCOMPARE(log->rowCount(), 2);
        QCOMPARE(log->data(log->index(0, 1)).toString(), QStringLiteral("5550000"));
        QCOMPARE(log->data(log->index(1, 3)).toString(), QStringLiteral("1:15"));
        QCOMPARE(log->data(log->index(1, 4)).toString(), QStringLiteral("1"));
        QCOMPARE(log->data(log->index(0, 4)).toString(), QString());
        SaveScreenshot(&window, QStringLiteral("viewer"));
    }

    void incomingCallsReachTheNotificationService() {
        CChildProcess daemon;
        QVERIFY(daemon.Start({"dbus-daemon", "--session", "--nofork", "--print-address=1"}));
        // Its diagnostics share the pipe: the address is the whole line that starts with "unix:".
        QVERIFY(daemon.WaitForLog("unix:", 10000));
        const std::size_t start = daemon.Log().find("unix:");
        QVERIFY(daemon.WaitForLogAfter(start, "\n", 10000));
        const std::string output = daemon.Log();
        const QString address = QString::fromStdString(output.substr(start, output.find('\n', start) - start));
        QDBusConnection service = QDBusConnection::connectToBus(address, QStringLiteral("service"));
        QDBusConnection viewer = QDBusConnection::connectToBus(address, QStringLiteral("viewer"));
        CNotificationService notifications;
        QVERIFY(service.registerService(QLatin1String(CDesktopNotifier::kService)));
        QVERIFY(service.registerObject(QLatin1String(CDesktopNotifier::kPath), &notifications,
                                       QDBusConnection::ExportAllSlots));

        QVERIFY(CDesktopNotifier::Announce(QStringLiteral("Incoming call"),
                                           QStringLiteral("Ann Lee 4085551212 on Phone 1"), viewer));
        QTRY_COMPARE(notifications.received,
                     QStringList{QStringLiteral("Incoming call|Ann Lee 4085551212 on Phone 1|Ringvale")});
        QDBusConnection::disconnectFromBus(QStringLiteral("viewer"));
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
        // Without a bus nothing is sent, and the caller knows.
        QVERIFY(!CDesktopNotifier::Announce(QStringLiteral("Incoming call"), QStringLiteral("x"),
                                            QDBusConnection(QStringLiteral("no such connection"))));
    }

    void networkDialogBothModes() {
        CSettings settings;
        settings.m_strMqttHost = "broker.lan";
        settings.m_eMqttTls = EMqttTls::On;
        {
            CNetworkDlg dialog(settings, CNetworkDlg::EMode::Publisher);
            dialog.findChild<QCheckBox*>(QStringLiteral("checkEnabled"))->setChecked(true);
            dialog.findChild<QLineEdit*>(QStringLiteral("editHost"))->setText(QStringLiteral(" 192.168.1.5 "));
            dialog.findChild<QSpinBox*>(QStringLiteral("spinPort"))->setValue(8883);
            dialog.findChild<QComboBox*>(QStringLiteral("comboTls"))->setCurrentIndex(0);
            dialog.findChild<QLineEdit*>(QStringLiteral("editPassword"))->setText(QStringLiteral("p w"));
            dialog.findChild<QLineEdit*>(QStringLiteral("editPrefix"))->setText(QStringLiteral("home/phone"));
            dialog.findChild<QCheckBox*>(QStringLiteral("checkAllowCommands"))->setChecked(true);
            dialog.ApplyTo(settings);
        }
        QVERIFY(settings.m_bMqttEnabled && settings.m_bMqttAllowCommands && !settings.m_bMqttHomeAssistant);
        QCOMPARE(settings.m_strMqttHost, std::string("192.168.1.5"));
        QCOMPARE(settings.m_nMqttPort, 8883);
        QVERIFY(settings.m_eMqttTls == EMqttTls::Auto);
        QCOMPARE(settings.m_strMqttPassword, std::string("p w"));
        QCOMPARE(settings.m_strMqttTopicPrefix, std::string("home/phone"));

        // A viewer publishes nothing: those choices are neither shown nor changed.
        CNetworkDlg viewer(settings, CNetworkDlg::EMode::Viewer);
        viewer.show();
        QVERIFY(!viewer.findChild<QCheckBox*>(QStringLiteral("checkEnabled"))->isVisible());
        QVERIFY(!viewer.findChild<QCheckBox*>(QStringLiteral("checkAllowCommands"))->isVisible());
        viewer.findChild<QCheckBox*>(QStringLiteral("checkEnabled"))->setChecked(false);
        viewer.findChild<QComboBox*>(QStringLiteral("comboTls"))->setCurrentIndex(2);
        viewer.ApplyTo(settings);
        QVERIFY(settings.m_bMqttEnabled && settings.m_bMqttAllowCommands);
        QVERIFY(settings.m_eMqttTls == EMqttTls::Off);
    }
};

QTEST_MAIN(TestViewer)
#include "TestViewer.moc"
