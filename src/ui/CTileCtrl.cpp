#include "ui/CTileCtrl.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

QFont TileFont(int pointSize) {
    // The tile's face; a neutral sans-serif where it is not installed.
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(pointSize);
    return font;
}

// Draws text with its top-left corner at (x, y) on an opaque background.
void DrawTextAt(QPainter& painter, int x, int y, const QString& text) {
    const QFontMetrics metrics(painter.font());
    painter.drawText(x, y + metrics.ascent(), text);
}

} // namespace

CTileCtrl::CTileCtrl(QWidget* parent) : QWidget(parent), m_smallFont(TileFont(10)), m_largeFont(TileFont(12)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

void CTileCtrl::SetView(const STileView& view) {
    m_view = view;
    update();
}

void CTileCtrl::Clear() {
    SetView(STileView{});
}

QSize CTileCtrl::sizeHint() const {
    const QFontMetrics small(m_smallFont);
    return {240, kSecondLineY + small.height() + 2};
}

QSize CTileCtrl::minimumSizeHint() const {
    const QFontMetrics small(m_smallFont);
    return {120, kSecondLineY + small.height()};
}

void CTileCtrl::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setPen(Qt::white);
    painter.setBrush(Qt::white);
    painter.fillRect(rect(), Qt::white);
    if (!m_view.call) {
        return;
    }
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(Qt::white);

    painter.setFont(m_largeFont);
    const QFontMetrics large(m_largeFont);
    const QString port = QString::number(m_view.port);
    painter.setPen(PortColor());
    DrawTextAt(painter, width() - large.horizontalAdvance(port) - kRightMargin, 0, port);

    // The name is drawn after the digit, so a long name covers it.
    painter.setPen(Qt::black);
    DrawTextAt(painter, 0, 0, QString::fromStdString(m_view.name));

    painter.setFont(m_smallFont);
    const QFontMetrics small(m_smallFont);
    DrawTextAt(painter, 0, kSecondLineY, QString::fromStdString(m_view.number));
    const QString time = QString::fromStdString(m_view.runningTime);
    DrawTextAt(painter, width() - small.horizontalAdvance(time) - kRightMargin, kSecondLineY, time);
}
