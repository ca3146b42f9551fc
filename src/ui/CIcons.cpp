#include "ui/CIcons.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

// Every picture is drawn on a 32 × 32 grid and scaled to the requested size.
constexpr qreal kGrid = 32.0;

struct PhoneColors {
    QColor light;
    QColor dark;
    QColor outline;
};

const PhoneColors kGreyPhone{QColor(0xB8, 0xC0, 0xC8), QColor(0x6C, 0x75, 0x7F), QColor(0x33, 0x39, 0x40)};
const PhoneColors kRedPhone{QColor(0xF2, 0x6B, 0x5E), QColor(0xB3, 0x1E, 0x14), QColor(0x5C, 0x0B, 0x06)};
const PhoneColors kPalePhone{QColor(0xDD, 0xE1, 0xE5), QColor(0xA9, 0xB0, 0xB7), QColor(0x80, 0x87, 0x8E)};

// A desk telephone filling the rectangle (x, y, w, h) of the grid: body with keypad, handset on
// top, and a sheet of paper peeking out at the right.
void DrawPhone(QPainter& p, const QRectF& box, const PhoneColors& c, bool paper) {
    p.save();
    p.translate(box.topLeft());
    p.scale(box.width() / kGrid, box.height() / kGrid);
    const qreal pen = 1.2;

    if (paper) {
        p.setPen(QPen(QColor(0x8A, 0x90, 0x96), 0.8));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(22.5, 15.5, 8, 11));
        p.setPen(QPen(QColor(0x9A, 0xA6, 0xB4), 0.8));
        for (qreal y = 18.5; y < 26; y += 2.2) {
            p.drawLine(QPointF(24, y), QPointF(29, y));
        }
    }

    // Body: a rounded trapezoid.
    QPainterPath body;
    body.moveTo(8, 13);
    body.lineTo(24, 13);
    body.quadTo(25.5, 13, 26, 14.5);
    body.lineTo(29.5, 27);
    body.quadTo(30, 29.5, 27.5, 29.5);
    body.lineTo(4.5, 29.5);
    body.quadTo(2, 29.5, 2.5, 27);
    body.lineTo(6, 14.5);
    body.quadTo(6.5, 13, 8, 13);
    QLinearGradient bodyFill(0, 13, 0, 30);
    bodyFill.setColorAt(0, c.light);
    bodyFill.setColorAt(1, c.dark);
    p.setPen(QPen(c.outline, pen));
    p.setBrush(bodyFill);
    p.drawPath(body);

    // Keypad: three rows of three keys.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 225));
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            p.drawRoundedRect(QRectF(11 + col * 3.7, 16.5 + row * 3.7, 2.6, 2.6), 0.6, 0.6);
        }
    }

    // Handset: a grip with an ear cup at each end.
    QPainterPath handset;
    handset.addRoundedRect(QRectF(6, 4.5, 20, 4.5), 2.2, 2.2);
    handset.addRoundedRect(QRectF(2.5, 6, 8.5, 6.5), 2.5, 2.5);
    handset.addRoundedRect(QRectF(21, 6, 8.5, 6.5), 2.5, 2.5);
    handset.setFillRule(Qt::WindingFill);
    QLinearGradient handsetFill(0, 4, 0, 13);
    handsetFill.setColorAt(0, c.light.lighter(110));
    handsetFill.setColorAt(1, c.dark);
    p.setPen(QPen(c.outline, pen));
    p.setBrush(handsetFill);
    p.drawPath(handset.simplified());
    p.restore();
}

void DrawComputer(QPainter& p, const QRectF& screen) {
    p.setPen(QPen(QColor(0x2E, 0x34, 0x3B), 1.0));
    p.setBrush(QColor(0xE4, 0xE7, 0xEA));
    p.drawRoundedRect(screen, 1.2, 1.2);
    QLinearGradient glass(screen.topLeft(), screen.bottomRight());
    glass.setColorAt(0, QColor(0x6F, 0xB7, 0xF2));
    glass.setColorAt(1, QColor(0x1F, 0x6F, 0xC4));
    p.setPen(Qt::NoPen);
    p.setBrush(glass);
    p.drawRect(screen.adjusted(1.6, 1.6, -1.6, -1.6));
    p.setBrush(QColor(0x5A, 0x62, 0x6B));
    const qreal cx = screen.center().x();
    p.drawRect(QRectF(cx - 1, screen.bottom(), 2, 2));
    p.drawRoundedRect(QRectF(cx - 3.5, screen.bottom() + 2, 7, 1.6), 0.8, 0.8);
}

void DrawRedCross(QPainter& p) {
    QPen pen(QColor(0xE5, 0x1C, 0x23), 3.6, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.drawLine(QPointF(6, 6), QPointF(26, 26));
    p.drawLine(QPointF(26, 6), QPointF(6, 26));
}

void DrawLamp(QPainter& p, const QColor& color, bool lit) {
    const QPointF centre(16, 16);
    QRadialGradient glow(QPointF(12.5, 11.5), 17);
    glow.setColorAt(0, lit ? color.lighter(175) : color.lighter(130));
    glow.setColorAt(0.55, color);
    glow.setColorAt(1, color.darker(lit ? 150 : 130));
    p.setPen(QPen(color.darker(220), 1.4));
    p.setBrush(glow);
    p.drawEllipse(centre, 12, 12);
    // The glass's highlight.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, lit ? 170 : 90));
    p.drawEllipse(QPointF(12.5, 11), 4.5, 3);
}

void DrawLetter(QPainter& p, const QString& letter, const QColor& color, qreal x, bool mark) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Black);
    font.setPixelSize(mark ? 25 : 31);
    p.setFont(font);
    p.setPen(color);
    p.drawText(QRectF(x, 0, mark ? 20 - x : 32 - 2 * x, 32), Qt::AlignCenter, letter);
    if (mark) {
        p.setPen(QColor(0xE0, 0x10, 0x10));
        p.drawText(QRectF(20, 0, 12, 32), Qt::AlignCenter, QStringLiteral("!"));
    }
}

void DrawHandsetGlyph(QPainter& p, const QColor& color, qreal angle) {
    p.save();
    p.translate(16, 16);
    p.rotate(angle);
    QPainterPath handset;
    handset.addRoundedRect(QRectF(-10, -2.4, 20, 4.8), 2.4, 2.4);
    handset.addRoundedRect(QRectF(-12, -1.5, 7, 6.5), 2.4, 2.4);
    handset.addRoundedRect(QRectF(5, -1.5, 7, 6.5), 2.4, 2.4);
    handset.setFillRule(Qt::WindingFill);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(handset.simplified());
    p.restore();
}

void DrawPicture(QPainter& p, EIcon icon) {
    switch (icon) {
    case EIcon::App:
        DrawPhone(p, QRectF(0, 0, 32, 32), kGreyPhone, true);
        break;
    case EIcon::NewCall:
        DrawPhone(p, QRectF(0, 0, 32, 32), kRedPhone, true);
        break;
    case EIcon::DialUpOffline:
    case EIcon::DialUpOnline: {
        p.setPen(QPen(QColor(0x3C, 0x44, 0x4C), 1.4, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(6.5, 13), QPointF(6.5, 24));
        p.drawLine(QPointF(6.5, 24), QPointF(11, 24));
        p.drawLine(QPointF(25.5, 13), QPointF(25.5, 24));
        p.drawLine(QPointF(25.5, 24), QPointF(21, 24));
        DrawComputer(p, QRectF(0.5, 1, 12, 9));
        DrawComputer(p, QRectF(19.5, 1, 12, 9));
        DrawPhone(p, QRectF(9, 15, 14, 14), kGreyPhone, false);
        if (icon == EIcon::DialUpOnline) {
            DrawRedCross(p);
        }
        break;
    }
    case EIcon::CallWaitingOn:
    case EIcon::CallWaitingOff: {
        const bool on = icon == EIcon::CallWaitingOn;
        DrawPhone(p, QRectF(3, 11, 21, 21), on ? kGreyPhone : kPalePhone, false);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setStyleHint(QFont::SansSerif);
        font.setBold(true);
        font.setPixelSize(15);
        p.setFont(font);
        p.setPen(on ? QColor(0xD9, 0x1E, 0x18) : QColor(0xB0, 0xB6, 0xBC));
        p.drawText(QRectF(12, -1, 20, 16), Qt::AlignCenter, QStringLiteral("2!"));
        break;
    }
    case EIcon::SelectOn:
        DrawLamp(p, QColor(0x2E, 0xC2, 0x5A), true);
        break;
    case EIcon::SelectOff:
        DrawLamp(p, QColor(0xB5, 0xBB, 0xC1), false);
        break;
    case EIcon::HoldLit:
        DrawLamp(p, QColor(0xFF, 0xA7, 0x1A), true);
        break;
    case EIcon::HoldUnlit:
        DrawLamp(p, QColor(0x8E, 0x7E, 0x63), false);
        break;
    case EIcon::HangUp:
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xE0, 0x36, 0x2C));
        p.drawEllipse(QPointF(16, 16), 15, 15);
        DrawHandsetGlyph(p, Qt::white, 0);
        break;
    case EIcon::Hold:
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2B, 0x7C, 0xD3));
        p.drawEllipse(QPointF(16, 16), 15, 15);
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(10.5, 9, 4, 14), 1.2, 1.2);
        p.drawRoundedRect(QRectF(17.5, 9, 4, 14), 1.2, 1.2);
        break;
    case EIcon::CallInAnswered:
        DrawLetter(p, QStringLiteral("i"), QColor(0x9B, 0x11, 0x11), 0, false);
        break;
    case EIcon::CallOutAnswered:
        DrawLetter(p, QStringLiteral("o"), QColor(0x17, 0x8F, 0x2E), 0, false);
        break;
    case EIcon::CallInMissed:
        DrawLetter(p, QStringLiteral("i"), QColor(0x9B, 0x11, 0x11), 1, true);
        break;
    case EIcon::CallOutUnanswered:
        DrawLetter(p, QStringLiteral("o"), QColor(0x17, 0x8F, 0x2E), 0, true);
        break;
    case EIcon::PhoneBookEntry: {
        const QRectF face(3, 3, 26, 26);
        QLinearGradient fill(face.topLeft(), face.bottomLeft());
        fill.setColorAt(0, QColor(0xF4, 0xF6, 0xF8));
        fill.setColorAt(1, QColor(0xC9, 0xCF, 0xD5));
        p.setPen(QPen(QColor(0x70, 0x78, 0x80), 1.2));
        p.setBrush(fill);
        p.drawRoundedRect(face, 3, 3);
        // Bevel: light upper-left edge, dark lower-right edge.
        p.setPen(QPen(Qt::white, 1.6));
        p.drawLine(QPointF(5.5, 26), QPointF(5.5, 5.5));
        p.drawLine(QPointF(5.5, 5.5), QPointF(26, 5.5));
        p.setPen(QPen(QColor(0x8C, 0x94, 0x9C), 1.6));
        p.drawLine(QPointF(26.5, 6), QPointF(26.5, 26.5));
        p.drawLine(QPointF(26.5, 26.5), QPointF(6, 26.5));
        break;
    }
    }
}

} // namespace

QPixmap CIcons::Pixmap(EIcon icon, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(size / kGrid, size / kGrid);
    DrawPicture(painter, icon);
    return pixmap;
}

QIcon CIcons::Icon(EIcon icon) {
    QIcon result;
    for (const int size : {16, 24, 32, 48, 64}) {
        result.addPixmap(Pixmap(icon, size));
    }
    return result;
}

EIcon CIcons::CallLogIcon(bool connected, bool outgoing) {
    if (connected) {
        return outgoing ? EIcon::CallOutAnswered : EIcon::CallInAnswered;
    }
    return outgoing ? EIcon::CallOutUnanswered : EIcon::CallInMissed;
}

const std::vector<EIcon>& CIcons::All() {
    static const std::vector<EIcon> all = {EIcon::App,
                                           EIcon::NewCall,
                                           EIcon::DialUpOffline,
                                           EIcon::DialUpOnline,
                                           EIcon::CallWaitingOn,
                                           EIcon::CallWaitingOff,
                                           EIcon::SelectOn,
                                           EIcon::SelectOff,
                                           EIcon::HoldLit,
                                           EIcon::HoldUnlit,
                                           EIcon::HangUp,
                                           EIcon::Hold,
                                           EIcon::CallInAnswered,
                                           EIcon::CallOutAnswered,
                                           EIcon::CallInMissed,
                                           EIcon::CallOutUnanswered,
                                           EIcon::PhoneBookEntry};
    return all;
}

const char* CIcons::Name(EIcon icon) {
    switch (icon) {
    case EIcon::App:
        return "App";
    case EIcon::NewCall:
        return "NewCall";
    case EIcon::DialUpOffline:
        return "DialUpOffline";
    case EIcon::DialUpOnline:
        return "DialUpOnline";
    case EIcon::CallWaitingOn:
        return "CallWaitingOn";
    case EIcon::CallWaitingOff:
        return "CallWaitingOff";
    case EIcon::SelectOn:
        return "SelectOn";
    case EIcon::SelectOff:
        return "SelectOff";
    case EIcon::HoldLit:
        return "HoldLit";
    case EIcon::HoldUnlit:
        return "HoldUnlit";
    case EIcon::HangUp:
        return "HangUp";
    case EIcon::Hold:
        return "Hold";
    case EIcon::CallInAnswered:
        return "CallInAnswered";
    case EIcon::CallOutAnswered:
        return "CallOutAnswered";
    case EIcon::CallInMissed:
        return "CallInMissed";
    case EIcon::CallOutUnanswered:
        return "CallOutUnanswered";
    case EIcon::PhoneBookEntry:
        return "PhoneBookEntry";
    }
    return "";
}
