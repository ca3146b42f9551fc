#include "ui/CDesktopNotifier.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

bool CDesktopNotifier::Notify(const QString& summary, const QString& body, QDBusConnection bus) {
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                                          QLatin1String(kService), QStringLiteral("Notify"));
    // app name, id it replaces, icon, summary, body, actions, hints, timeout (-1: the server's)
    message << QStringLiteral("Ringvale") << 0u << QStringLiteral("ringvale") << summary << body << QStringList()
            << QVariantMap{{QStringLiteral("category"), QStringLiteral("im.received")}} << -1;
    return bus.send(message);
}
