// ringvale-test-notification-server: a small desktop notification service for tests. It owns
// org.freedesktop.Notifications on the session bus, prints one line for every call it gets,
// and takes commands on its standard input:
//   printed  READY
//            NOTIFY <id> summary=<text>|body=<text>|actions=<key,label,...>|urgency=<n>|icon=<name>
//            CLOSE <id>
//   typed    invoke <id> <action key>   emits ActionInvoked (as a user's click does)
//            quit
// --no-actions: its capabilities leave out "actions", as a service that shows none.
// --click-at-once KEY: every notification's action KEY is invoked before Notify answers (a
// user faster than the bus).
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QObject>
#include <QSocketNotifier>
#include <QStringList>
#include <QVariantMap>

#include <cstdio>
#include <unistd.h>

namespace {

void Print(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

} // namespace

class CNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    CNotificationServer(bool actions, QString clickAtOnce)
        : m_actions(actions), m_clickAtOnce(std::move(clickAtOnce)) {}

public slots:
    QStringList GetCapabilities() {
        QStringList caps = {QStringLiteral("body")};
        if (m_actions) {
            caps << QStringLiteral("actions");
        }
        return caps;
    }
    uint Notify(const QString& /*appName*/, uint /*replacesId*/, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int /*timeout*/) {
        const uint id = ++m_lastId;
        Print(QStringLiteral("NOTIFY %1 summary=%2|body=%3|actions=%4|urgency=%5|icon=%6")
                  .arg(id)
                  .arg(summary, body, actions.join(QLatin1Char(',')))
                  .arg(hints.value(QStringLiteral("urgency")).toInt())
                  .arg(icon));
        if (!m_clickAtOnce.isEmpty()) {
            emit ActionInvoked(id, m_clickAtOnce);
        }
        return id;
    }
    void CloseNotification(uint id) {
        Print(QStringLiteral("CLOSE %1").arg(id));
        emit NotificationClosed(id, 3);
    }
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion) {
        vendor = QStringLiteral("Ringvale tests");
        version = QStringLiteral("1");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("ringvale-test-notification-server");
    }

signals:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);

public:
    void OnInput() {
        char buffer[512];
        const ssize_t n = ::read(0, buffer, sizeof buffer - 1);
        if (n <= 0) {
            QCoreApplication::quit();
            return;
        }
        m_input += QString::fromUtf8(buffer, static_cast<int>(n));
        qsizetype end = 0;
        while ((end = m_input.indexOf(QLatin1Char('\n'))) >= 0) {
            const QStringList words = m_input.left(end).split(QLatin1Char(' '), Qt::SkipEmptyParts);
            m_input.remove(0, end + 1);
            if (words.size() == 3 && words[0] == QLatin1String("invoke")) {
                emit ActionInvoked(words[1].toUInt(), words[2]);
                Print(QStringLiteral("INVOKED %1 %2").arg(words[1], words[2]));
            } else if (words.value(0) == QLatin1String("quit")) {
                QCoreApplication::quit();
            }
        }
    }

private:
    bool m_actions;
    QString m_clickAtOnce;
    uint m_lastId = 0;
    QString m_input;
};

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype click = args.indexOf(QStringLiteral("--click-at-once"));
    CNotificationServer server(!args.contains(QStringLiteral("--no-actions")), args.value(click + 1));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals) ||
        !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
        std::fprintf(stderr, "cannot own org.freedesktop.Notifications: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &server, &CNotificationServer::OnInput);
    Print(QStringLiteral("READY"));
    return app.exec();
}

#include "main.moc"
