// The drawn pictures: every one at the sizes the windows use, distinct from the others, with
// the colours that carry meaning (red telephone, red cross, green and amber lamps), and the
// call log's choice of icon per record.
#include "UiTestSupport.h"
#include "ui/CIcons.h"

#include <QPainter>
#include <QtTest>

namespace {

// Share of the visible pixels whose colour is clearly of one hue family.
struct ColourShares {
    double red = 0;
    double green = 0;
    double amber = 0;
    int visible = 0;
};

ColourShares Shares(const QImage& image) {
    ColourShares shares;
    int red = 0;
    int green = 0;
    int amber = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) < 128) {
                continue;
            }
            ++shares.visible;
            const int r = qRed(p);
            const int g = qGreen(p);
            const int b = qBlue(p);
            red += (r > 150 && g < 110 && b < 110) ? 1 : 0;
            green += (g > 120 && r < 110 && b < 140) ? 1 : 0;
            amber += (r > 200 && g > 120 && g < 220 && b < 90) ? 1 : 0;
        }
    }
    if (shares.visible > 0) {
        shares.red = double(red) / shares.visible;
        shares.green = double(green) / shares.visible;
        shares.amber = double(amber) / shares.visible;
    }
    return shares;
}

QImage Image(EIcon icon, int size) {
    return CIcons::Pixmap(icon, size).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestIcons : public QObject {
    Q_OBJECT
private slots:
    void everyPictureAtEverySize() {
        for (const EIcon icon : CIcons::All()) {
            for (const int size : {16, 24, 32}) {
                const QImage image = Image(icon, size);
                QCOMPARE(image.size(), QSize(size, size));
                const ColourShares shares = Shares(image);
                // Something is drawn, and the picture does not just fill its square.
                QVERIFY2(shares.visible > size * size / 30, CIcons::Name(icon));
                QVERIFY2(shares.visible < size * size, CIcons::Name(icon));
            }
            const QList<QSize> sizes = CIcons::Icon(icon).availableSizes();
            for (const int size : {16, 24, 32}) {
                QVERIFY2(sizes.contains(QSize(size, size)), CIcons::Name(icon));
            }
        }
    }

    void picturesAreDistinct() {
        const auto& all = CIcons::All();
        for (std::size_t i = 0; i < all.size(); ++i) {
            for (std::size_t j = i + 1; j < all.size(); ++j) {
                QVERIFY2(Image(all[i], 32) != Image(all[j], 32),
                         qPrintable(QStringLiteral("%1 == %2").arg(CIcons::Name(all[i]), CIcons::Name(all[j]))));
            }
        }
    }

    void meaningfulColours() {
        QVERIFY(Shares(Image(EIcon::App, 32)).red < 0.02);
        QVERIFY(Shares(Image(EIcon::NewCall, 32)).red > 0.3);
        QVERIFY(Shares(Image(EIcon::DialUpOnline, 32)).red > Shares(Image(EIcon::DialUpOffline, 32)).red + 0.05);
        QVERIFY(Shares(Image(EIcon::SelectOn, 32)).green > 0.4);
        QVERIFY(Shares(Image(EIcon::SelectOff, 32)).green < 0.05);
        QVERIFY(Shares(Image(EIcon::HoldLit, 32)).amber > 0.3);
        QVERIFY(Shares(Image(EIcon::HoldUnlit, 32)).amber < 0.05);
        QVERIFY(Shares(Image(EIcon::CallOutAnswered, 32)).green > 0.3);
        QVERIFY(Shares(Image(EIcon::CallWaitingOn, 32)).red > Shares(Image(EIcon::CallWaitingOff, 32)).red);
        // The exclamation mark of the missed calls is red.
        QVERIFY(Shares(Image(EIcon::CallOutUnanswered, 32)).red > 0.1);
    }

    void callLogIconPerRecord_data() {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("outgoing");
        QTest::addColumn<int>("icon");
        QTest::newRow("answered incoming") << true << false << int(EIcon::CallInAnswered);
        QTest::newRow("answered outgoing") << true << true << int(EIcon::CallOutAnswered);
        QTest::newRow("missed incoming") << false << false << int(EIcon::CallInMissed);
        QTest::newRow("unanswered outgoing") << false << true << int(EIcon::CallOutUnanswered);
    }
    void callLogIconPerRecord() {
        QFETCH(bool, connected);
        QFETCH(bool, outgoing);
        QFETCH(int, icon);
        QCOMPARE(int(CIcons::CallLogIcon(connected, outgoing)), icon);
    }

    void sheet() {
        // A contact sheet of every picture at 16, 24, 32 and 64 pixels, for looking at.
        const QList<int> sizes = {16, 24, 32, 64};
        const int rowHeight = 72;
        const int nameWidth = 150;
        QPixmap sheet(nameWidth + 16 + 4 * 80, rowHeight * int(CIcons::All().size()));
        sheet.fill(QColor(0xF5, 0xF6, 0xF7));
        QPainter painter(&sheet);
        int row = 0;
        for (const EIcon icon : CIcons::All()) {
            const int top = row * rowHeight;
            painter.setPen(Qt::black);
            painter.drawText(QRect(8, top, nameWidth, rowHeight), Qt::AlignVCenter, CIcons::Name(icon));
            int x = nameWidth + 8;
            for (const int size : sizes) {
                painter.drawPixmap(x, top + (rowHeight - size) / 2, CIcons::Pixmap(icon, size));
                x += 80;
            }
            ++row;
        }
        painter.end();
        SavePixmap(sheet, QStringLiteral("icons_sheet"));
        QVERIFY(!sheet.isNull());
    }
};

QTEST_MAIN(TestIcons)
#include "TestIcons.moc"
