// The call tile: the running time text, and what is painted where — port digit, name, number,
// time — checked on the rendered pixels against the same texts drawn where they belong.
#include "UiTestSupport.h"
#include "ui/CTileCtrl.h"

#include <QFontMetrics>
#include <QPainter>
#include <QtTest>

namespace {

constexpr std::int64_t kNow = 1700000000;

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

CTileContent Call(const std::string& name, int portIndex, std::int64_t secondsAgo) {
    CTileContent content;
    content.empty = false;
    content.name = name;
    content.number = "4085551212";
    content.portIndex = portIndex;
    content.startTime = kNow - secondsAgo;
    return content;
}

} // namespace

class TestTile : public QObject {
    Q_OBJECT
private slots:
    void runningTime_data() {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("just started") << qint64(0) << "0:00";
        QTest::newRow("nine seconds") << qint64(9) << "0:09";
        QTest::newRow("one minute") << qint64(60) << "1:00";
        QTest::newRow("just under an hour") << qint64(3599) << "59:59";
        QTest::newRow("an hour is not capped") << qint64(3600) << "60:00";
        QTest::newRow("connected 3725 s ago") << qint64(3725) << "62:05";
        QTest::newRow("a day") << qint64(86400) << "1440:00";
    }
    void runningTime() {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        SettableClock clock(kNow);
        CTileCtrl tile(clock);
        tile.SetContent(Call("Ann", 0, seconds));
        QCOMPARE(QString::fromStdString(tile.View().runningTime), text);
    }

    void timeRunsWithTheClock() {
        SettableClock clock(kNow);
        CTileCtrl tile(clock);
        tile.SetContent(Call("Ann", 0, 5));
        QCOMPARE(tile.View().runningTime, std::string("0:05"));
        clock.Set(kNow + 60);
        QCOMPARE(tile.View().runningTime, std::string("1:05"));
    }

    void paintsPortDigitAndTimeWhereTheyBelong() {
        SettableClock clock(kNow);
        CTileCtrl tile(clock);
        tile.resize(260, 40);
        tile.SetContent(Call("Ann Smith", 1, 3725));
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

    void portIndexZeroShowsOne() {
        SettableClock clock(kNow);
        CTileCtrl tile(clock);
        tile.resize(260, 40);
        tile.SetContent(Call("Ann", 0, 9));
        const QImage image = Render(&tile);
        const QRect portArea(tile.width() - 30, 0, 30, CTileCtrl::kSecondLineY);
        QVERIFY(SameRegion(image, ExpectedRightText(tile, "1", true, CTileCtrl::PortColor()), portArea));
    }

    void hostViewIsPaintedAsGiven() {
        SettableClock clock(kNow);
        CTileCtrl tile(clock);
        tile.resize(260, 40);
        STileView view;
        view.call = true;
        view.port = 2;
        view.name = "Bob";
        view.number = "5551212";
        view.runningTime = "62:05";
        tile.SetView(view);
        QCOMPARE(tile.View(), view);
        const QImage image = Render(&tile);
        const QRect timeArea(tile.width() / 2, CTileCtrl::kSecondLineY, tile.width() / 2,
                             tile.height() - CTileCtrl::kSecondLineY);
        QVERIFY(SameRegion(image, ExpectedRightText(tile, "62:05", false, Qt::black), timeArea));
    }

    void emptiedTileIsWhite() {
        SettableClock clock(kNow);
        CTileCtrl tile(clock);
        tile.resize(260, 40);
        tile.SetContent(Call("Ann", 1, 30));
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
        SettableClock clock(kNow);
        CTileCtrl tile(clock);
        tile.resize(160, 40);
        tile.SetContent(Call("Bartholomew Featherstonehaugh-Worthington", 1, 30));
        const QImage image = Render(&tile);
        QCOMPARE(CountPurple(image, tile.rect()), 0);
    }
};

QTEST_MAIN(TestTile)
#include "TestTile.moc"
