// Desktop notifications through the desktop's notification service on the session bus
// (org.freedesktop.Notifications), which GNOME, KDE and the others show whether or not the
// desktop has a tray. The message is sent without waiting for an answer.
#pragma once

#include <QDBusConnection>
#include <QString>

class CDesktopNotifier {
public:
    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";

    // False when there is no bus to send it on.
    static bool Notify(const QString& summary, const QString& body,
                       QDBusConnection bus = QDBusConnection::sessionBus());
};
