// A push button that never takes the keyboard focus and is never the default button, so the
// main window keeps the focus and typed digits reach the keypad. With accepts-input cleared
// it only displays: mouse presses, releases and double-clicks, activation and enabling are
// ignored (the tile indicators).
#pragma once

#include <QPushButton>

class CNoFocusButton : public QPushButton {
    Q_OBJECT
public:
    explicit CNoFocusButton(QWidget* parent = nullptr);

    bool AcceptsInput() const { return m_bAcceptsInput; }
    void SetAcceptsInput(bool accepts);

    // Enabling is refused while the button only displays.
    void SetEnabledState(bool enable);

protected:
    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    bool m_bAcceptsInput = true;
};
