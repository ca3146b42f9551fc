// Desktop notifications of offered calls on a real session bus (the test runs in its own bus
// session) with the test notification service: what the service is sent, an action chosen
// there coming back, the notification taken away, and a service that is missing, shows no
// actions or dies while its notification is up.
#include "support/ChildProcess.h"
#include "ui/CDesktopNotifier.h"

#include <QtTest>

#include <csignal>
#include <memory>
#include <utility>
#include <vector>

namespace {

using SEvent = std::pair<std::uint64_t, ENotificationEvent>;

const SCallNotification kCall = {7, "Ann Lee", "4085551212 - Phone 1", {NE_Reject, NE_Block, NE_AddToPhoneBook}};

std::unique_ptr<CChildProcess> StartService(const QStringList& args = {}) {
    auto service = std::make_unique<CChildProcess>();
    std::vector<std::string> argv = {CChildProcess::BinDir() + "/ringvale-test-notification-server"};
    for (const QString& arg : args) {
        argv.push_back(arg.toStdString());
    }
    if (!service->Start(argv, {}, true) || !service->WaitForLog("READY", 10000)) {
        return nullptr;
    }
    return service;
}

bool Logged(const CChildProcess& service, const std::string& text) {
    return service.Log().find(text) != std::string::npos;
}

} // namespace

class TestNotifications : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"), "run in a bus session"); }

    void callIsShownWithTheActionsTheServiceShows_data() {
        QTest::addColumn<QStringList>("serviceArgs");
        QTest::addColumn<QString>("actions");
        QTest::newRow("actions") << QStringList()
                                 << "actions=reject,Reject,block,Block,add-to-phone-book,Add to phone book|";
        QTest::newRow("no actions") << QStringList{QStringLiteral("--no-actions")} << "actions=|";
    }
    void callIsShownWithTheActionsTheServiceShows() {
        QFETCH(QStringList, serviceArgs);
        QFETCH(QString, actions);
        const auto service = StartService(serviceArgs);
        QVERIFY(service);
        std::vector<SEvent> events;
        CDesktopNotifier notifier([&](std::uint64_t key, ENotificationEvent e) { events.emplace_back(key, e); });
        QVERIFY(notifier.Show(kCall));
        QTRY_VERIFY(Logged(*service, "NOTIFY 1 summary=Ann Lee|body=4085551212 - Phone 1|" + actions.toStdString() +
                                         "urgency=2|icon=ringvale"));
        // The user's choice comes back for the call; taking it away reaches the service.
        QVERIFY(service->Type("invoke 1 block"));
        QTRY_COMPARE(events.size(), std::size_t(1));
        QCOMPARE(events[0], SEvent(7, NE_Block));
        notifier.Close(7);
        QTRY_VERIFY(Logged(*service, "CLOSE 1"));
        QCOMPARE(events.size(), std::size_t(1));
    }

    void aChoiceMadeBeforeTheServiceAnswersCounts() {
        const auto service = StartService({QStringLiteral("--click-at-once"), QStringLiteral("reject")});
        QVERIFY(service);
        std::vector<SEvent> events;
        CDesktopNotifier notifier([&](std::uint64_t key, ENotificationEvent e) { events.emplace_back(key, e); });
        QVERIFY(notifier.Show(kCall));
        QTRY_COMPARE(events.size(), std::size_t(1));
        QCOMPARE(events[0], SEvent(7, NE_Reject));
    }

    void aCallSettledBeforeTheServiceAnswersLeavesNothingUp() {
        const auto service = StartService();
        QVERIFY(service);
        CDesktopNotifier notifier([](std::uint64_t, ENotificationEvent) {});
        QVERIFY(notifier.Show(kCall));
        notifier.Close(7);
        // The service takes the calls in order: once the next call is up, the first one was
        // either never shown or has been taken away.
        QVERIFY(notifier.Show({8, "Bob Stone", "", {}}));
        QTRY_VERIFY(Logged(*service, "summary=Bob Stone"));
        QTRY_VERIFY(!Logged(*service, "summary=Ann Lee") || Logged(*service, "CLOSE 1"));
    }

    void aMissingOrDyingServiceLeavesTheCallToThePopup() {
        std::vector<SEvent> events;
        CDesktopNotifier notifier([&](std::uint64_t key, ENotificationEvent e) { events.emplace_back(key, e); });
        QVERIFY(!notifier.Show(kCall)); // nobody on the bus to show it

        auto service = StartService();
        QVERIFY(service);
        QVERIFY(notifier.Show(kCall));
        QTRY_VERIFY(Logged(*service, "NOTIFY 1"));
        service->Stop(SIGKILL);
        QTRY_COMPARE(events.size(), std::size_t(1));
        QCOMPARE(events[0], SEvent(7, NE_Failed));
        notifier.Close(7); // nothing left to take away, and no second failure
        QTest::qWait(50);
        QCOMPARE(events.size(), std::size_t(1));
    }
};

QTEST_MAIN(TestNotifications)
#include "TestNotifications.moc"
