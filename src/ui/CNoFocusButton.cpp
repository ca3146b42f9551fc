#include "ui/CNoFocusButton.h"

#include <QEvent>
#include <QFocusEvent>

CNoFocusButton::CNoFocusButton(QWidget* parent) : QPushButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAutoDefault(false);
    setDefault(false);
}

void CNoFocusButton::SetAcceptsInput(bool accepts) {
    m_bAcceptsInput = accepts;
    // An indicator is never the target of a click, so it never shows as hovered either.
    setAttribute(Qt::WA_Hover, accepts);
}

void CNoFocusButton::SetEnabledState(bool enable) {
    if (m_bAcceptsInput) {
        setEnabled(enable);
    }
}

bool CNoFocusButton::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Enter:
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
        if (!m_bAcceptsInput) {
            event->accept();
            return true;
        }
        break;
    default:
        break;
    }
    return QPushButton::event(event);
}

void CNoFocusButton::focusInEvent(QFocusEvent* event) {
    // Never keep the focus: hand it back to the window that owns the button.
    QPushButton::focusInEvent(event);
    if (QWidget* top = window(); top != nullptr && top != this) {
        top->setFocus(Qt::OtherFocusReason);
    }
}
