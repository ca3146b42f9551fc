#include "ui/CCallerIdPopup.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <algorithm>

namespace {

// Draws text with its top-left corner at (x, y).
void DrawTextAt(QPainter& painter, int x, int y, const QString& text) {
    const QFontMetrics metrics(painter.font());
    painter.drawText(x, y + metrics.ascent(), text);
}

} // namespace

QColor ColorFromColorRef(std::uint32_t colorRef) {
    return {static_cast<int>(colorRef & 0xFF), static_cast<int>((colorRef >> 8) & 0xFF),
            static_cast<int>((colorRef >> 16) & 0xFF)};
}

std::uint32_t ColorRefFromColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return static_cast<std::uint32_t>(rgb.red()) | (static_cast<std::uint32_t>(rgb.green()) << 8) |
           (static_cast<std::uint32_t>(rgb.blue()) << 16);
}

QFont CallerIdFont(const std::string& faceName, int pointSize, bool bold, bool italic) {
    QFont font(QString::fromStdString(faceName));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(std::max(1, pointSize) / 10.0);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(italic);
    return font;
}

CCallerIdPopup* CCallerIdPopup::Open(const SCallerIdPopup& call) {
    auto* popup = new CCallerIdPopup(call);
    popup->show();
    popup->CentreFrame();
    popup->raise();
    return popup;
}

void CCallerIdPopup::CentreFrame() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr || windowHandle() == nullptr) {
        return;
    }
    const QMargins frame = windowHandle()->frameMargins();
    const QRect area = screen->availableGeometry();
    const QSize outer = size().grownBy(frame);
    const QPoint client(area.x() + (area.width() - outer.width()) / 2 + frame.left(),
                        area.y() + (area.height() - outer.height()) / 2 + frame.top());
    m_centredFrame = frame;
    setGeometry(QRect(client, size()));
}

void CCallerIdPopup::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    // The window manager may tell the size of its frame only after the window is shown: the
    // popup is centred again then. A move by the user keeps the frame and stays.
    if (isVisible() && windowHandle() != nullptr && windowHandle()->frameMargins() != m_centredFrame) {
        CentreFrame();
    }
}

int CCallerIdPopup::WidthFor(int topLineWidth, int numberWidth) {
    int width = std::max(topLineWidth, numberWidth) + 10;
    width = std::max(width, 200);
    return width * 125 / 100;
}

CCallerIdPopup::CCallerIdPopup(const SCallerIdPopup& call)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_call(call), m_baseFont(CallerIdFont(call.faceName, call.pointSizeTenths, call.bold, call.italic)),
      m_largeFont(CallerIdFont(call.faceName, call.pointSizeTenths * 6 / 5, call.bold, call.italic)),
      m_textColor(ColorFromColorRef(call.textColor)), m_backgroundColor(ColorFromColorRef(call.backgroundColor)),
      m_pointSize(call.pointSizeTenths), m_italic(call.italic) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QString::fromLatin1(kTitle));
    setCursor(Qt::ArrowCursor);
    if (!call.showNumber) {
        m_call.number.clear();
    }

    // The top line leaves room for the port digit after the name.
    const QFontMetrics large(m_largeFont);
    const QFontMetrics base(m_baseFont);
    const QString topLine = QString::fromStdString(m_call.name) + QStringLiteral("   2");
    const QString number = QString::fromStdString(m_call.number);
    // The height of a line of the base font, also when the number is not shown, so the number
    // line has its place whatever the text.
    m_numberHeight = base.height();
    const int width = WidthFor(large.horizontalAdvance(topLine), base.horizontalAdvance(number));
    const int height = large.height() + m_pointSize / 10 + m_numberHeight;
    setFixedSize(width, height);

    m_dismissTimer.setSingleShot(true);
    connect(&m_dismissTimer, &QTimer::timeout, this, &CCallerIdPopup::Dismiss);
    if (call.autoDismiss) {
        m_dismissTimer.start(std::max(0, call.seconds) * 1000);
    }
}

int CCallerIdPopup::PortMargin() const {
    return m_italic ? m_pointSize / 30 : 2;
}

void CCallerIdPopup::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), m_backgroundColor);
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(m_backgroundColor);

    painter.setFont(m_largeFont);
    const QFontMetrics large(m_largeFont);
    const QString port = QString::number(m_call.portIndex + 1);
    painter.setPen(QColor(192, 0, 192));
    DrawTextAt(painter, width() - PortMargin() - large.horizontalAdvance(port), 0, port);

    painter.setPen(m_textColor);
    DrawTextAt(painter, 0, 0, QString::fromStdString(m_call.name));

    painter.setFont(m_baseFont);
    DrawTextAt(painter, 0, height() - m_numberHeight, QString::fromStdString(m_call.number));
}

void CCallerIdPopup::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        Dismiss();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CCallerIdPopup::Dismiss() {
    if (m_dismissed) {
        return;
    }
    m_dismissed = true;
    m_dismissTimer.stop();
    emit Dismissed();
    close();
}
