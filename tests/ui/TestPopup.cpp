// The caller-ID popup: size rules, the italic margin of the port digit, the number shown or
// not, window kind, and dismissal by its timer and by a click.
#include "UiTestSupport.h"
#include "ui/CCallerIdPopup.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QtTest>

namespace {

SCallerIdPopup Sample(const std::string& name, int pointSizeTenths = 100, bool italic = false) {
    SCallerIdPopup call;
    call.name = name;
    call.number = "4085551212";
    call.portIndex = 1;
    call.autoDismiss = false;
    call.faceName = "DejaVu Sans";
    call.pointSizeTenths = pointSizeTenths;
    call.italic = italic;
    call.textColor = 0x000000;
    call.backgroundColor = 0xF0FFFF; // light yellow
    return call;
}

const QRgb kPortPurple = qRgb(192, 0, 192);

// The popup's background with only the port digit "2" drawn right-aligned at a margin.
QImage DigitAt(const CCallerIdPopup& popup, const QFont& font, int margin) {
    QImage image(popup.size(), QImage::Format_RGB32);
    const QColor background(0xFF, 0xFF, 0xF0);
    image.fill(background);
    QPainter painter(&image);
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(background);
    painter.setFont(font);
    painter.setPen(QColor(kPortPurple));
    const QFontMetrics metrics(font);
    painter.drawText(popup.width() - margin - metrics.horizontalAdvance("2"), metrics.ascent(), QStringLiteral("2"));
    return image;
}

} // namespace

class TestPopup : public QObject {
    Q_OBJECT
private slots:
    void widthRule_data() {
        QTest::addColumn<int>("topLine");
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("width");
        QTest::newRow("short texts use the 200 floor") << 40 << 60 << 250;
        QTest::newRow("exactly at the floor") << 190 << 0 << 250;
        QTest::newRow("one above the floor") << 191 << 0 << 251;
        QTest::newRow("number wider than name") << 50 << 300 << 387;
        QTest::newRow("wide name") << 400 << 100 << 512;
    }
    void widthRule() {
        QFETCH(int, topLine);
        QFETCH(int, number);
        QFETCH(int, width);
        QCOMPARE(CCallerIdPopup::WidthFor(topLine, number), width);
    }

    void shortNameGivesWidth250AndHeightFromTheFonts() {
        CCallerIdPopup popup(Sample("Ann"));
        QCOMPARE(popup.width(), 250);
        const QFontMetrics large(CallerIdFont("DejaVu Sans", 120, false, false));
        const QFontMetrics base(CallerIdFont("DejaVu Sans", 100, false, false));
        // Top line, the size in whole points as pixels, the number line.
        QCOMPARE(popup.height(), large.height() + 10 + base.height());
        QCOMPARE(popup.NumberHeight(), base.height());
    }

    void longNameWidensThePopup() {
        const std::string name = "Maximilian Alexander von Hohenzollern-Sigmaringen";
        CCallerIdPopup popup(Sample(name));
        const QFontMetrics large(CallerIdFont("DejaVu Sans", 120, false, false));
        const int topLine = large.horizontalAdvance(QString::fromStdString(name) + "   2");
        QVERIFY(topLine > 200);
        QCOMPARE(popup.width(), (topLine + 10) * 125 / 100);
    }

    void portMarginFollowsItalic_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("italic");
        QTest::addColumn<int>("margin");
        QTest::newRow("upright 15 pt") << 150 << false << 2;
        QTest::newRow("italic 15 pt") << 150 << true << 5;
        QTest::newRow("italic 24 pt") << 240 << true << 8;
        QTest::newRow("italic 8 pt") << 80 << true << 2;
    }
    void portMarginFollowsItalic() {
        QFETCH(int, size);
        QFETCH(bool, italic);
        QFETCH(int, margin);
        CCallerIdPopup popup(Sample("Ann", size, italic));
        QCOMPARE(popup.PortMargin(), margin);
    }

    void italicDigitKeepsItsMargin_data() {
        QTest::addColumn<bool>("italic");
        QTest::addColumn<int>("margin");
        QTest::addColumn<int>("otherMargin");
        QTest::newRow("upright: 2 pixels") << false << 2 << 5;
        QTest::newRow("italic 15 pt: 5 pixels") << true << 5 << 2;
    }
    void italicDigitKeepsItsMargin() {
        QFETCH(bool, italic);
        QFETCH(int, margin);
        QFETCH(int, otherMargin);
        const SCallerIdPopup call = Sample("Ann", 150, italic);
        CCallerIdPopup popup(call);
        const QImage image = Render(&popup);
        if (italic) {
            SaveScreenshot(&popup, QStringLiteral("popup_italic_150"));
        }
        const QFont large = CallerIdFont(call.faceName, 180, false, italic);
        const QRect digitArea(popup.width() - 40, 0, 40, QFontMetrics(large).height());
        QVERIFY(CountColor(image, digitArea, kPortPurple) > 0);
        QCOMPARE(image.copy(digitArea), DigitAt(popup, large, margin).copy(digitArea));
        QVERIFY(image.copy(digitArea) != DigitAt(popup, large, otherMargin).copy(digitArea));
    }

    void numberShownOrDropped() {
        SCallerIdPopup call = Sample("Ann");
        CCallerIdPopup shown(call);
        QCOMPARE(shown.Snapshot().number, std::string("4085551212"));
        call.showNumber = false;
        CCallerIdPopup hidden(call);
        QVERIFY(hidden.Snapshot().number.empty());

        // The number line is painted only when the number is shown.
        const QRect numberLine(0, shown.height() - shown.NumberHeight(), 150, shown.NumberHeight());
        const QRgb background = qRgb(0xFF, 0xFF, 0xF0);
        const int area = numberLine.width() * numberLine.height();
        QVERIFY(CountColor(Render(&shown), numberLine, background) < area);
        QCOMPARE(CountColor(Render(&hidden), numberLine, background), area);
    }

    void paintsBackgroundAndTextColours() {
        SCallerIdPopup call = Sample("Ann");
        call.backgroundColor = 0x00FF0000; // blue as 0x00BBGGRR
        call.textColor = 0x000000FF;       // red
        CCallerIdPopup popup(call);
        const QImage image = Render(&popup);
        QCOMPARE(QColor(image.pixel(popup.width() / 2, popup.height() / 2)), QColor(0, 0, 255));
        QVERIFY(CountColor(image, QRect(0, 0, 60, 20), qRgb(255, 0, 0)) > 0);
    }

    void isATopmostToolWindowWithoutCloseBox() {
        auto* popup = CCallerIdPopup::Open(Sample("Ann"));
        QPointer<CCallerIdPopup> watch(popup);
        QCOMPARE(popup->windowTitle(), QStringLiteral("Ringvale - Incoming Call"));
        const Qt::WindowFlags flags = popup->windowFlags();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
        QVERIFY(flags & Qt::WindowStaysOnTopHint);
        QVERIFY(flags & Qt::WindowTitleHint);
        QVERIFY(!(flags & Qt::WindowCloseButtonHint));
        QVERIFY(!(flags & Qt::WindowSystemMenuHint));
        QVERIFY(popup->isVisible());
        QVERIFY(!popup->DismissTimerActive());
        // The whole window, title bar included, sits in the middle of the screen.
        const QPoint offCentre = popup->frameGeometry().center() - popup->screen()->availableGeometry().center();
        QVERIFY2(offCentre.manhattanLength() <= 1,
                 qPrintable(QStringLiteral("%1,%2").arg(offCentre.x()).arg(offCentre.y())));
        SaveScreenshot(popup, QStringLiteral("popup_caller_id"));
        popup->close();
        QTRY_VERIFY(watch.isNull());
    }

    void dismissedByItsTimer() {
        SCallerIdPopup call = Sample("Ann");
        call.autoDismiss = true;
        call.seconds = 1;
        QPointer<CCallerIdPopup> popup(CCallerIdPopup::Open(call));
        QVERIFY(popup->DismissTimerActive());
        QCOMPARE(popup->DismissTimerIntervalMs(), 1000);
        QTRY_VERIFY_WITH_TIMEOUT(popup.isNull(), 5000);
    }

    void timerIntervalIsSecondsTimesThousand() {
        SCallerIdPopup call = Sample("Ann");
        call.autoDismiss = true;
        call.seconds = 10;
        CCallerIdPopup popup(call);
        QCOMPARE(popup.DismissTimerIntervalMs(), 10000);
    }

    void dismissedByAClickAndOthersStay() {
        QPointer<CCallerIdPopup> first(CCallerIdPopup::Open(Sample("First")));
        QPointer<CCallerIdPopup> second(CCallerIdPopup::Open(Sample("Second")));
        // Both centred at the same place.
        QCOMPARE(first->pos(), second->pos());
        QTest::mouseClick(second.data(), Qt::LeftButton, {}, QPoint(20, 10));
        QTRY_VERIFY(second.isNull());
        QVERIFY(!first.isNull());
        QTest::mouseClick(first.data(), Qt::RightButton, {}, QPoint(20, 10));
        QCoreApplication::processEvents();
        QVERIFY(!first.isNull());
        QTest::mouseClick(first.data(), Qt::LeftButton, {}, QPoint(20, 10));
        QTRY_VERIFY(first.isNull());
    }
};

QTEST_MAIN(TestPopup)
#include "TestPopup.moc"
