// The display area of one call tile on the main window: the caller's name and the phone port
// on the first line, the number and the running time on the second. The control only paints;
// the call state machine sets and clears what it shows and asks for repaints.
#pragma once

#include "core/CWindowHost.h"
#include "core/Clock.h"

#include <QFont>
#include <QWidget>

#include <cstdint>
#include <string>

// A call as a tile shows it, with the running time still to be worked out from its start.
struct CTileContent {
    bool empty = true;
    std::string name;
    std::string number;
    int portIndex = 0;          // 0 or 1: shown as "1" or "2"
    std::int64_t startTime = 0; // seconds since the epoch
};

class CTileCtrl : public QWidget {
    Q_OBJECT
public:
    // The clock gives "now" for content set with SetContent; it must outlive the control.
    explicit CTileCtrl(const IClock& clock = CSystemClock::Instance(), QWidget* parent = nullptr);

    // Shows a view exactly as given (the window host's way: the running time is ready-made).
    void SetView(const STileView& view);
    // Shows a call whose running time is taken from the clock at every repaint.
    void SetContent(const CTileContent& content);
    // Empties the tile: an empty tile is a white area.
    void Clear();

    // What the tile paints now.
    STileView View() const;

    // "%d:%2.2d": whole minutes (not capped at an hour), colon, two-digit seconds.
    static std::string FormatRunningTime(std::int64_t seconds);

    const QFont& SmallFont() const { return m_smallFont; }
    const QFont& LargeFont() const { return m_largeFont; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Colour of the port digit.
    static QColor PortColor() { return {192, 0, 192}; }
    // Margin between the right-aligned texts and the right edge.
    static constexpr int kRightMargin = 2;
    // Top of the second line.
    static constexpr int kSecondLineY = 20;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const IClock& m_clock;
    STileView m_view;
    bool m_running = false; // m_view's running time follows the clock from m_startTime
    std::int64_t m_startTime = 0;
    QFont m_smallFont; // 10 points
    QFont m_largeFont; // 12 points
};
