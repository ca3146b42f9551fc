// The caller-ID popup: a small topmost window in the middle of the screen announcing an
// incoming call — the caller's name in a large font with the phone port at the right, and the
// number below. It keeps a snapshot of the call taken at creation, owns itself, and closes
// (deleting itself) on its dismissal timer or a click. Any number may be open at once.
#pragma once

#include "core/CWindowHost.h"

#include <QFont>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <string>

// 0x00BBGGRR to a colour and back.
QColor ColorFromColorRef(std::uint32_t colorRef);
std::uint32_t ColorRefFromColor(const QColor& color);

// A font of a face at a size in tenths of a point, weight 700 or 400, italic or not.
QFont CallerIdFont(const std::string& faceName, int pointSize, bool bold, bool italic);

class CCallerIdPopup : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Ringvale - Incoming Call";

    // Creates and shows a popup centred on the screen (its frame, not only its client area),
    // above every other window. The popup deletes itself when dismissed; the returned pointer
    // is only for watching it (QPointer).
    static CCallerIdPopup* Open(const SCallerIdPopup& call);

    // Takes the snapshot; the number is dropped when it is not to be shown.
    explicit CCallerIdPopup(const SCallerIdPopup& call);

    const SCallerIdPopup& Snapshot() const { return m_call; }
    // Right margin of the port digit: a thirtieth of the point size for italic fonts, else 2.
    int PortMargin() const;
    int NumberHeight() const { return m_numberHeight; }
    bool DismissTimerActive() const { return m_dismissTimer.isActive(); }
    int DismissTimerIntervalMs() const { return m_dismissTimer.interval(); }

    // The window width for two measured text widths: the wider plus 10, at least 200, times
    // 125 / 100 — so never below 250.
    static int WidthFor(int topLineWidth, int numberWidth);

signals:
    void Dismissed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void Dismiss();
    // Centres the whole window, frame and title bar included, on the screen.
    void CentreFrame();

    SCallerIdPopup m_call;
    QFont m_baseFont;
    QFont m_largeFont;
    QColor m_textColor;
    QColor m_backgroundColor;
    int m_pointSize;
    int m_numberHeight = 0;
    bool m_italic;
    QTimer m_dismissTimer;
    bool m_dismissed = false;
    QMargins m_centredFrame; // the frame the popup was centred with
};
