// Desktop notifications of offered calls through the freedesktop notification service
// (org.freedesktop.Notifications on the session bus). Nothing here waits for the service: a
// notification is asked for with asynchronous calls, and a service that answers with an
// error, does not answer in time, or leaves the bus while notifications are up reports them
// as failed, so the caller can show its own window instead. Actions are offered only where
// the service says it shows them.
#pragma once

#include "core/CWindowHost.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QObject>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <set>

class QDBusPendingCallWatcher;

class CDesktopNotifier : public QObject {
    Q_OBJECT
public:
    // Receives an action chosen on a notification, or NE_Failed.
    using EventFn = std::function<void(std::uint64_t key, ENotificationEvent event)>;
    // How long the service may take to answer a call.
    static constexpr int kReplyTimeoutMs = 5000;

    // At the program's end, how long each close still on its way is waited for.
    static constexpr int kLastCloseTimeoutMs = 1000;

    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";

    // A notification without actions that nothing follows up (the viewer's): sent without
    // waiting for an answer. False when there is no bus to send it on.
    static bool Announce(const QString& summary, const QString& body,
                         QDBusConnection bus = QDBusConnection::sessionBus());

    explicit CDesktopNotifier(EventFn onEvent, QObject* parent = nullptr);
    ~CDesktopNotifier() override;

    // False when there is no session bus or no notification service on it (running or
    // startable by the bus); then nothing is shown.
    bool Show(const SCallNotification& notification);
    // Takes the notification away; one still being shown is taken away once it is.
    void Close(std::uint64_t key);

    // An action as the service shows it: its key on the bus and its label.
    struct SAction {
        ENotificationEvent event;
        const char* key;
        const char* label;
    };
    static const SAction* Action(ENotificationEvent event);

private slots:
    void OnActionInvoked(uint id, const QString& actionKey);
    void OnNotificationClosed(uint id, uint reason);

private:
    bool ServiceAvailable() const;
    void Notify(const SCallNotification& notification, const QStringList& capabilities);
    void Fail(std::uint64_t key);
    void CloseOnService(uint id);
    // Calls a method of the service; done gets the watcher when the reply (or error) is in.
    QDBusPendingCall Call(const QString& method, const QVariantList& args,
                          const std::function<void(QDBusPendingCallWatcher&)>& done);

    EventFn m_onEvent;
    QDBusConnection m_bus;
    // The notifications asked for: key -> the service's id (0 while the service has not
    // answered yet).
    std::map<std::uint64_t, uint> m_ids;
    // The Notify calls the service has not answered yet, by key.
    std::map<std::uint64_t, QDBusPendingCall> m_notifying;
    // Actions chosen on ids not known yet (their Notify answer is still on its way).
    std::map<uint, QString> m_early;
    // The service's ids whose close the service has not answered yet.
    std::set<uint> m_closing;
};
