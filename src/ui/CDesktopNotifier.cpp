#include "ui/CDesktopNotifier.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

#include <algorithm>

namespace {
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// Critical urgency: the notification stays until the call is settled and this program takes
// it away, instead of timing out while the phone still rings.
constexpr uchar kCriticalUrgency = 2;
} // namespace

CDesktopNotifier::CDesktopNotifier(EventFn onEvent, QObject* parent)
    : QObject(parent), m_onEvent(std::move(onEvent)), m_bus(QDBusConnection::sessionBus()) {
    if (!m_bus.isConnected()) {
        return;
    }
    m_bus.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(OnActionInvoked(uint, QString)));
    m_bus.connect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                  SLOT(OnNotificationClosed(uint, uint)));
    // A service that leaves the bus takes its notifications along: they count as failed.
    auto* watcher = new QDBusServiceWatcher(kService, m_bus, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        const auto ids = std::exchange(m_ids, {});
        for (const auto& [key, id] : ids) {
            m_onEvent(key, NE_Failed);
        }
    });
}

const CDesktopNotifier::SAction* CDesktopNotifier::Action(ENotificationEvent event) {
    static const SAction actions[] = {
        {NE_Reject, "reject", QT_TR_NOOP("Reject")},
        {NE_Block, "block", QT_TR_NOOP("Block")},
        {NE_AddToPhoneBook, "add-to-phone-book", QT_TR_NOOP("Add to phone book")},
    };
    for (const SAction& action : actions) {
        if (action.event == event) {
            return &action;
        }
    }
    return nullptr;
}

bool CDesktopNotifier::ServiceAvailable() const {
    // Questions to the bus itself, which answers at once; the service may be one the bus
    // starts on its first call.
    if (!m_bus.isConnected()) {
        return false;
    }
    QDBusConnectionInterface* bus = m_bus.interface();
    return bus->isServiceRegistered(kService).value() || bus->activatableServiceNames().value().contains(kService);
}

QDBusPendingCall CDesktopNotifier::Call(const QString& method, const QVariantList& args,
                                        const std::function<void(QDBusPendingCallWatcher&)>& done) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message.setArguments(args);
    const QDBusPendingCall call = m_bus.asyncCall(message, kReplyTimeoutMs);
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [done](QDBusPendingCallWatcher* w) {
        done(*w);
        w->deleteLater();
    });
    return call;
}

bool CDesktopNotifier::Show(const SCallNotification& notification) {
    if (!ServiceAvailable()) {
        return false;
    }
    m_ids[notification.key] = 0;
    Call(QStringLiteral("GetCapabilities"), {}, [this, notification](QDBusPendingCallWatcher& w) {
        const QDBusPendingReply<QStringList> reply = w;
        if (reply.isError()) {
            Fail(notification.key);
        } else if (m_ids.contains(notification.key)) {
            Notify(notification, reply.value());
        }
    });
    return true;
}

void CDesktopNotifier::Notify(const SCallNotification& notification, const QStringList& capabilities) {
    QStringList actions;
    if (capabilities.contains(QStringLiteral("actions"))) {
        for (const ENotificationEvent event : notification.actions) {
            if (const SAction* action = Action(event)) {
                actions << QLatin1String(action->key) << tr(action->label);
            }
        }
    }
    QString body = QString::fromStdString(notification.body);
    if (capabilities.contains(QStringLiteral("body-markup"))) {
        body = body.toHtmlEscaped();
    }
    const QVariantMap hints = {{QStringLiteral("urgency"), QVariant::fromValue(kCriticalUrgency)},
                               {QStringLiteral("desktop-entry"), QStringLiteral("ringvale")}};
    const QVariantList args = {QStringLiteral("Ringvale"),
                               uint(0),
                               QStringLiteral("ringvale"),
                               QString::fromStdString(notification.summary),
                               body,
                               actions,
                               hints,
                               int(0)};
    const std::uint64_t key = notification.key;
    const QDBusPendingCall call = Call(QStringLiteral("Notify"), args, [this, key](QDBusPendingCallWatcher& w) {
        m_notifying.erase(key);
        const QDBusPendingReply<uint> reply = w;
        if (reply.isError()) {
            Fail(key);
            return;
        }
        const auto it = m_ids.find(key);
        if (it == m_ids.end()) {
            CloseOnService(reply.value()); // settled while the service was still answering
        } else {
            it->second = reply.value();
        }
        if (const auto early = m_early.find(reply.value()); early != m_early.end()) {
            const QString action = early->second;
            m_early.erase(early);
            OnActionInvoked(reply.value(), action);
        }
        if (m_notifying.empty()) {
            m_early.clear();
        }
    });
    m_notifying.insert_or_assign(key, call);
}

void CDesktopNotifier::Fail(std::uint64_t key) {
    if (m_ids.erase(key) > 0) {
        m_onEvent(key, NE_Failed);
    }
}

void CDesktopNotifier::Close(std::uint64_t key) {
    const auto it = m_ids.find(key);
    if (it == m_ids.end()) {
        return;
    }
    const uint id = it->second;
    m_ids.erase(it);
    if (id != 0) {
        CloseOnService(id);
    }
}

void CDesktopNotifier::CloseOnService(uint id) {
    // A service that is gone by now has taken the notification along: nothing to wait for.
    m_closing.insert(id);
    Call(QStringLiteral("CloseNotification"), {id}, [this, id](QDBusPendingCallWatcher&) { m_closing.erase(id); });
}

CDesktopNotifier::~CDesktopNotifier() {
    // The program ends: a notification of a call that no longer rings must not stay on the
    // desktop. One the service is still showing is waited for, and every close still on its
    // way is sent again and waited for.
    for (auto& [key, call] : m_notifying) {
        if (!m_ids.contains(key)) {
            call.waitForFinished();
            const QDBusPendingReply<uint> reply = call;
            if (reply.isValid()) {
                m_closing.insert(reply.value());
            }
        }
    }
    for (const uint id : m_closing) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"));
        message.setArguments({id});
        m_bus.call(message, QDBus::Block, kLastCloseTimeoutMs);
    }
}

void CDesktopNotifier::OnActionInvoked(uint id, const QString& actionKey) {
    const auto shown =
        std::find_if(m_ids.begin(), m_ids.end(), [id](const auto& entry) { return entry.second == id && id != 0; });
    if (shown == m_ids.end()) {
        // The service may show a notification, and be clicked, before its answer with the id
        // has come in here: the click waits for that answer.
        if (!m_notifying.empty()) {
            m_early[id] = actionKey;
        }
        return;
    }
    for (const ENotificationEvent event : {NE_Reject, NE_Block, NE_AddToPhoneBook}) {
        if (actionKey == QLatin1String(Action(event)->key)) {
            m_onEvent(shown->first, event);
            return;
        }
    }
}

void CDesktopNotifier::OnNotificationClosed(uint id, uint /*reason*/) {
    // Dismissed by the user, or taken away: the call itself goes on.
    std::erase_if(m_ids, [id](const auto& entry) { return entry.second == id && id != 0; });
}

bool CDesktopNotifier::Announce(const QString& summary, const QString& body, QDBusConnection bus) {
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
