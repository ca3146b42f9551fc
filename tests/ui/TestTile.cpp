// The call tile: what is painted where — port digit, name, number, time — checked on the
// rendered pixels against the same texts drawn where they belong.
#include "UiTestSupport.h"
#include "ui/CTileCtrl.h"

#include <QFontMetrics>
#include <QPainter>
#include <QtTest>

namespace {

// A white image of the tile's size with one text drawn where the tile draws it: right-aligned
// with a margin of 2 at the top (large font) or on the second line (small font).
QImage ExpectedRightText(const CTileCtrl& tile, const QString& text, bool firstLine, const QColor& color) {
    QImage image(tile.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(Qt::white);
    const QFont& font = firstLine ? tile.LargeFont() : tile.SmallFont();
    painter.setFont(font);
    painter.setPen(color);
    const QFontMetrics metrics(font);
    const int y = firstLine ? 0 : CTileCtrl::kSecondLineY;
    painter.drawText(tile.width() - metrics.horizontalAdvance(text) - CTileCtrl::kRightMargin, y + metrics.ascent(),
                     text);
    return image;
}

bool SameRegion(const QImage& a, const QImage& b, const QRect& area) {
    return a.copy(area) == b.copy(area);
}

bool IsPortPurple(QRgb pixel) {
    return qRed(pixel) > 140 && qGreen(pixel) < 90 && qBlue(pixel) > 140;
}

int CountPurple(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            count += IsPortPurple(image.pixel(x, y)) ? 1 : 0;
        }
    }
    return count;
}

STileView Call(const std::string& name, int port, const std::string& runningTime) {
    STileView view;
    view.call = true;
    view.name = name;
    view.number = "4085551212";
    view.port = port;
    view.runningTime = runningTime;
    return view;
}

} // namespace

class TestTile : public QObject {
    Q_OBJECT
private slots:
    void paintsPortDigitAndTimeWhereTheyBelong() {
        CTileCtrl tile;
        tile.resize(260, 40);
        tile.SetView(Call("Ann Smith", 2, "62:05"));
        const QImage image = Render(&tile);
        SaveScreenshot(&tile, QStringLiteral("tile_connected"));

        const int w = tile.width();
        const QRect portArea(w - 30, 0, 30, CTileCtrl::kSecondLineY);
        QVERIFY(SameRegion(image, ExpectedRightText(tile, "2", true, CTileCtrl::PortColor()), portArea));
        QVERIFY(!SameRegion(image, ExpectedRightText(tile, "1", true, CTileCtrl::PortColor()), portArea));
        QVERIFY(CountPurple(image, portArea) > 0);
        // The purple digit is the only purple on the tile.
        QCOMPARE(CountPurple(image, QRect(0, 0, w - 30, tile.height())), 0);

        const QRect timeArea(w / 2, CTileCtrl::kSecondLineY, w / 2, tile.height() - CTileCtrl::kSecondLineY);
        QVERIFY(SameRegion(image, ExpectedRightText(tile, "62:05", false, Qt::black), timeArea));
        QVERIFY(!SameRegion(image, ExpectedRightText(tile, "62:04", false, Qt::black), timeArea));

        // Name and number are dark text at the left of their lines.
        QVERIFY(CountColor(image, QRect(0, 0, 60, CTileCtrl::kSecondLineY), qRgb(255, 255, 255)) < 60 * 20);
        QVERIFY(CountColor(image, QRect(0, CTileCtrl::kSecondLineY, 60, 15), qRgb(255, 255, 255)) < 60 * 15);
    }

    void emptiedTileIsWhite() {
        CTileCtrl tile;
        tile.resize(260, 40);
        tile.SetView(Call("Ann", 2, "0:30"));
        QImage image = Render(&tile);
        const int all = tile.width() * tile.height();
        QVERIFY(CountColor(image, tile.rect(), qRgb(255, 255, 255)) < all);
        tile.Clear();
        image = Render(&tile);
        QCOMPARE(CountColor(image, tile.rect(), qRgb(255, 255, 255)), all);
        QVERIFY(!tile.View().call);
        SaveScreenshot(&tile, QStringLiteral("tile_empty"));
    }

    void longNameCoversThePortDigit() {
        CTileCtrl tile;
        tile.resize(160, 40);
        tile.SetView(Call("Bartholomew Featherstonehaugh-Worthington", 2, "0:30"));
        const QImage image = Render(&tile);
        QCOMPARE(CountPurple(image, tile.rect()), 0);
    }
};

QTEST_MAIN(TestTile)
#include "TestTile.moc"
