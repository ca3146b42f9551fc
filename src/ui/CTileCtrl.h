// The display area of one call tile on the main window: the caller's name and the phone port
// on the first line, the number and the running time on the second. The control only paints;
// the call state machine sets and clears what it shows and asks for repaints.
#pragma once

#include "core/CWindowHost.h"

#include <QFont>
#include <QWidget>

class CTileCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CTileCtrl(QWidget* parent = nullptr);

    // Shows a view exactly as given, its running time ready-made by the call state machine.
    void SetView(const STileView& view);
    // Empties the tile: an empty tile is a white area.
    void Clear();

    // What the tile paints now.
    const STileView& View() const { return m_view; }

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
    STileView m_view;
    QFont m_smallFont; // 10 points
    QFont m_largeFont; // 12 points
};
