// "CallerID Setup": how incoming callers are screened and how the caller-ID popup looks —
// ignoring blocked numbers, automatic dismissal after 1..500 seconds, showing the number, the
// font, text colour and background colour — with "Preview!" opening real popups for a sample
// caller — and whether calls are announced by the popup, a desktop notification or both.
// Works on a copy of the values; ApplyTo hands them back after OK.
#pragma once

#include "core/MessageBox.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>

class CSettings;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class CCallerIdPopup;

// A font as the font chooser deals in it.
struct CFontChoice {
    std::string faceName;
    int pointSize = 100; // tenths of a point
    int weight = 400;    // 100..900; 700 is bold, 400 normal
    bool italic = false;
    std::uint32_t color = 0; // 0x00BBGGRR
};

class CCallerIdSetupDlg : public QDialog {
    Q_OBJECT
public:
    // Asked with the stored font; true with the chosen one in the argument, false when cancelled.
    using FontChooserFn = std::function<bool(CFontChoice&)>;
    // Asked with a colour; true with the chosen one in the argument, false when cancelled.
    using ColorChooserFn = std::function<bool(std::uint32_t&)>;

    static constexpr int kMinSeconds = 1;
    static constexpr int kMaxSeconds = 500;

    CCallerIdSetupDlg(const CSettings& settings, const MessageBoxFn& showMessage, QWidget* parent = nullptr);

    // Replace the system's font and colour choosers (tests).
    void SetFontChooser(FontChooserFn chooser) { m_chooseFont = std::move(chooser); }
    void SetColorChooser(ColorChooserFn chooser) { m_chooseColor = std::move(chooser); }

    // Copies the caller-ID values into the settings (the eleven of the popup and screening, and
    // how calls are announced).
    void ApplyTo(CSettings& settings) const;

    // The font the chooser opens with: the stored face and size, weight 700 when bold else 400.
    CFontChoice StoredFont() const;

    // The range message for the seconds field.
    static std::string RangeMessage();
    static std::string NotANumberMessage();

public slots:
    void accept() override;
    void OnSelectFont();
    void OnSelectBackground();
    // Opens one more popup for the sample caller with the values as they stand.
    CCallerIdPopup* OnPreview();

private:
    // Members to controls (save false) or controls to members (save true), in the order
    // ignore-blocked, auto-dismiss, seconds, show-number, only-if-not-in-phone-book. Taking
    // values stops at a seconds field that is not a number from 1 to 500: the message is shown,
    // the field selected, and false returned.
    bool Exchange(bool save);
    void OnShowNumber();
    void UpdateSample();

    MessageBoxFn m_showMessage;
    FontChooserFn m_chooseFont;
    ColorChooserFn m_chooseColor;

    bool m_ignoreBlocked;
    bool m_autoDismiss;
    int m_seconds;
    bool m_showNumber;
    bool m_onlyIfNotInPhoneBook;
    std::string m_fontName;
    int m_fontSize;
    std::uint32_t m_textColor;
    bool m_bold;
    bool m_italic;
    std::uint32_t m_backgroundColor;

    QCheckBox* m_checkIgnoreBlocked;
    QCheckBox* m_checkAutoDismiss;
    QSpinBox* m_spinSeconds;
    QCheckBox* m_checkShowNumber;
    QCheckBox* m_checkOnlyIfNotInPhoneBook;
    QLabel* m_sample;
    QComboBox* m_comboAnnounce; // popup, notification or both
};
