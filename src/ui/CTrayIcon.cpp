#include "ui/CTrayIcon.h"

#include "core/CWindowHost.h"
#include "core/Messages.h"
#include "ui/CIcons.h"

#include <QSystemTrayIcon>

namespace {

std::optional<bool> g_availableForTesting;

QIcon TrayIconImage(int image) {
    return CIcons::Icon(image == img::kNewCallIcon ? EIcon::NewCall : EIcon::App);
}

} // namespace

CTrayIcon::CTrayIcon(std::function<void(int)> notify, QObject* parent) : QObject(parent), m_notify(std::move(notify)) {}

CTrayIcon::~CTrayIcon() {
    Remove();
}

bool CTrayIcon::Available() {
    return g_availableForTesting.value_or(QSystemTrayIcon::isSystemTrayAvailable());
}

void CTrayIcon::SetAvailableForTesting(std::optional<bool> available) {
    g_availableForTesting = available;
}

void CTrayIcon::Add(int image, const QString& tip) {
    m_bPresent = true;
    m_nImage = image;
    m_tip = tip;
    if (!QSystemTrayIcon::isSystemTrayAvailable() || m_icon != nullptr) {
        return;
    }
    m_icon = new QSystemTrayIcon(TrayIconImage(image), this);
    m_icon->setToolTip(tip);
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

void CTrayIcon::Remove() {
    m_bPresent = false;
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
