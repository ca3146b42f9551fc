#include "ui/CTrayIcon.h"

#include "core/CWindowHost.h"
#include "core/Messages.h"
#include "ui/CIcons.h"

#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <qpa/qplatformnativeinterface.h>

namespace {

std::optional<bool> g_availableForTesting;

QIcon TrayIconImage(int image) {
    return CIcons::Icon(image == img::kNewCallIcon ? EIcon::NewCall : EIcon::App);
}

} // namespace

CTrayIcon::CTrayIcon(std::function<void(int)> notify, QObject* parent) : QObject(parent), m_notify(std::move(notify)) {
    // On X11 the platform reports every change of the tray's owner (the _NET_SYSTEM_TRAY_S<n>
    // selection) once it has been asked for the tray; elsewhere the tray is asked for when it
    // is needed.
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    if (native != nullptr && native->metaObject()->indexOfSignal("systemTrayWindowChanged(QScreen*)") >= 0) {
        connect(native, SIGNAL(systemTrayWindowChanged(QScreen*)), this, SLOT(OnTrayChanged()));
    }
}

CTrayIcon::~CTrayIcon() {
    Remove();
}

void CTrayIcon::SetAvailableForTesting(std::optional<bool> available) {
    g_availableForTesting = available;
}

void CTrayIcon::Add(int image, const QString& tip) {
    m_bPresent = true;
    m_nImage = image;
    m_tip = tip;
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        CreateIcon();
    }
    m_bShown = Shown();
}

void CTrayIcon::CreateIcon() {
    if (m_icon != nullptr) {
        return;
    }
    m_icon = new QSystemTrayIcon(TrayIconImage(m_nImage), this);
    m_icon->setToolTip(m_tip);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (!m_notify) {
            return;
        }
        if (reason == QSystemTrayIcon::Trigger) {
            m_notify(kWmLButtonDown);
        } else if (reason == QSystemTrayIcon::Context) {
            m_notify(kWmRButtonDown);
        }
    });
    m_icon->show();
}

bool CTrayIcon::Shown() const {
    if (!m_bPresent) {
        return false;
    }
    if (g_availableForTesting) {
        return *g_availableForTesting;
    }
    return m_icon != nullptr && QSystemTrayIcon::isSystemTrayAvailable();
}

void CTrayIcon::OnTrayChanged() {
    if (m_bPresent && QSystemTrayIcon::isSystemTrayAvailable()) {
        CreateIcon(); // a tray that came after the icon was added
    }
    const bool shown = Shown();
    if (shown != m_bShown) {
        m_bShown = shown;
        emit ShownChanged(shown);
    }
}

void CTrayIcon::Remove() {
    m_bPresent = false;
    m_bShown = false;
    if (m_icon != nullptr) {
        m_icon->hide();
        delete m_icon;
        m_icon = nullptr;
    }
}

void CTrayIcon::SetImage(int image) {
    if (!m_bPresent) {
        return;
    }
    m_nImage = image;
    if (m_icon != nullptr) {
        m_icon->setIcon(TrayIconImage(image));
    }
}

void CTrayIcon::SetTip(const QString& tip) {
    if (!m_bPresent) {
        return;
    }
    m_tip = tip;
    if (m_icon != nullptr) {
        m_icon->setToolTip(tip);
    }
}
