#include "ui/CCallerIdSetupDlg.h"

#include "core/CSettings.h"
#include "ui/CCallerIdPopup.h"
#include "ui/UiDialogParts.h"
#include "ui/UiMessageBox.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The seconds field: digits only and free to type (a value out of range is reported when the
// values are taken), while the arrows step within the allowed range.
class CSecondsSpin : public QSpinBox {
public:
    explicit CSecondsSpin(QWidget* parent) : QSpinBox(parent) {
        setRange(0, 99999);
        setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    }
    void stepBy(int steps) override {
        setValue(std::clamp(value() + steps, CCallerIdSetupDlg::kMinSeconds, CCallerIdSetupDlg::kMaxSeconds));
        selectAll();
    }

protected:
    StepEnabled stepEnabled() const override {
        StepEnabled enabled = StepNone;
        if (value() < CCallerIdSetupDlg::kMaxSeconds) {
            enabled |= StepUpEnabled;
        }
        if (value() > CCallerIdSetupDlg::kMinSeconds) {
            enabled |= StepDownEnabled;
        }
        return enabled;
    }
};

bool ChooseFontWithSystemDialog(QWidget* parent, CFontChoice& choice) {
    bool ok = false;
    const QFont initial = CallerIdFont(choice.faceName, choice.pointSize, choice.weight == 700, choice.italic);
    QFont chosen = QFontDialog::getFont(&ok, initial, parent, QObject::tr("Select Font"));
    if (!ok) {
        return false;
    }
    choice.faceName = chosen.family().toStdString();
    choice.pointSize = static_cast<int>(chosen.pointSizeF() * 10.0 + 0.5);
    choice.weight = chosen.weight();
    choice.italic = chosen.italic();
    // The text colour is chosen with the font; cancelling it keeps the colour, not the font.
    const QColor color = QColorDialog::getColor(ColorFromColorRef(choice.color), parent, QObject::tr("Text Colour"));
    if (color.isValid()) {
        choice.color = ColorRefFromColor(color);
    }
    return true;
}

bool ChooseColorWithSystemDialog(QWidget* parent, std::uint32_t& colorRef) {
    const QColor color = QColorDialog::getColor(ColorFromColorRef(colorRef), parent, QObject::tr("Background"));
    if (!color.isValid()) {
        return false;
    }
    colorRef = ColorRefFromColor(color);
    return true;
}

} // namespace

CCallerIdSetupDlg::CCallerIdSetupDlg(const CSettings& settings, const MessageBoxFn& showMessage, QWidget* parent)
    : QDialog(parent), m_showMessage(showMessage),
      m_chooseFont([this](CFontChoice& choice) { return ChooseFontWithSystemDialog(this, choice); }),
      m_chooseColor([this](std::uint32_t& color) { return ChooseColorWithSystemDialog(this, color); }),
      m_ignoreBlocked(settings.m_bIgnoreBlocked), m_autoDismiss(settings.m_bCallerIDTimer),
      m_seconds(settings.m_nCIDTimerValue), m_showNumber(settings.m_bCIDShowNumber),
      m_onlyIfNotInPhoneBook(settings.m_bCIDOnlyIfNotInPhoneBook), m_fontName(settings.m_strCIDFontName),
      m_fontSize(settings.m_nCIDFontSize), m_textColor(settings.m_dwCIDFontColor), m_bold(settings.m_bCIDFontBold),
      m_italic(settings.m_bCIDFontItalic), m_backgroundColor(settings.m_dwCIDBackgroundColor),
      m_checkIgnoreBlocked(NamedCheckBox(tr("Ignore callers with blocked numbers"), "checkIgnoreBlocked", false, this)),
      m_checkAutoDismiss(NamedCheckBox(tr("Auto-dismiss CallerID popup"), "checkAutoDismiss", false, this)),
      m_spinSeconds(new CSecondsSpin(this)),
      m_checkShowNumber(NamedCheckBox(tr("Show Caller's Phone Number"), "checkShowNumber", false, this)),
      m_checkOnlyIfNotInPhoneBook(
          NamedCheckBox(tr("Only if not in Phone Book"), "checkOnlyIfNotInPhoneBook", false, this)),
      m_sample(new QLabel(this)), m_comboAnnounce(new QComboBox(this)) {
    setWindowTitle(tr("CallerID Setup"));
    if (!m_showMessage) {
        m_showMessage = QtMessageBoxFn(this);
    }
    m_spinSeconds->setObjectName(QStringLiteral("spinSeconds"));

    auto* screening = new QGroupBox(tr("Screening"), this);
    auto* screeningLayout = new QVBoxLayout(screening);
    screeningLayout->addWidget(m_checkIgnoreBlocked);

    // In the order of CSettings::EAnnounce.
    m_comboAnnounce->setObjectName(QStringLiteral("comboAnnounce"));
    m_comboAnnounce->addItems({tr("The popup window"), tr("A desktop notification"), tr("Both")});
    m_comboAnnounce->setCurrentIndex(static_cast<int>(settings.m_eCIDAnnounce));
    auto* announceRow = new QHBoxLayout;
    announceRow->addWidget(new QLabel(tr("Announce calls with"), this));
    announceRow->addWidget(m_comboAnnounce);
    announceRow->addStretch();
    screeningLayout->addLayout(announceRow);

    auto* popup = new QGroupBox(tr("Popup"), this);
    auto* popupLayout = new QVBoxLayout(popup);
    auto* dismissRow = new QHBoxLayout;
    dismissRow->addWidget(m_checkAutoDismiss);
    dismissRow->addWidget(new QLabel(tr("after"), this));
    dismissRow->addWidget(m_spinSeconds);
    dismissRow->addWidget(new QLabel(tr("seconds"), this));
    dismissRow->addStretch();
    popupLayout->addLayout(dismissRow);
    popupLayout->addWidget(m_checkShowNumber);
    auto* onlyRow = new QHBoxLayout;
    onlyRow->addSpacing(22);
    onlyRow->addWidget(m_checkOnlyIfNotInPhoneBook);
    popupLayout->addLayout(onlyRow);

    auto* look = new QGroupBox(tr("Appearance"), this);
    auto* lookLayout = new QVBoxLayout(look);
    m_sample->setObjectName(QStringLiteral("labelSample"));
    m_sample->setAlignment(Qt::AlignCenter);
    m_sample->setMinimumHeight(56);
    m_sample->setFrameShape(QFrame::StyledPanel);
    lookLayout->addWidget(m_sample);
    auto* lookButtons = new QHBoxLayout;
    auto* fontButton = new QPushButton(tr("Select Font..."), this);
    fontButton->setObjectName(QStringLiteral("buttonSelectFont"));
    auto* backgroundButton = new QPushButton(tr("Select Background..."), this);
    backgroundButton->setObjectName(QStringLiteral("buttonSelectBackground"));
    lookButtons->addWidget(fontButton);
    lookButtons->addWidget(backgroundButton);
    lookButtons->addStretch();
    auto* previewButton = new QPushButton(tr("Preview!"), this);
    lookButtons->addWidget(previewButton);
    lookLayout->addLayout(lookButtons);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    previewButton->setObjectName(QStringLiteral("buttonPreview"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("buttonOk"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("buttonCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CCallerIdSetupDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(fontButton, &QPushButton::clicked, this, &CCallerIdSetupDlg::OnSelectFont);
    connect(backgroundButton, &QPushButton::clicked, this, &CCallerIdSetupDlg::OnSelectBackground);
    connect(previewButton, &QPushButton::clicked, this, &CCallerIdSetupDlg::OnPreview);
    connect(m_checkShowNumber, &QCheckBox::clicked, this, &CCallerIdSetupDlg::OnShowNumber);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(screening);
    layout->addWidget(popup);
    layout->addWidget(look);
    layout->addSpacing(6);
    layout->addWidget(buttons);

    Exchange(false);
    m_checkOnlyIfNotInPhoneBook->setEnabled(m_showNumber);
    UpdateSample();
}

std::string CCallerIdSetupDlg::RangeMessage() {
    return "Please enter an integer between 1 and 500.";
}

std::string CCallerIdSetupDlg::NotANumberMessage() {
    return "Please enter an integer.";
}

bool CCallerIdSetupDlg::Exchange(bool save) {
    if (!save) {
        m_checkIgnoreBlocked->setChecked(m_ignoreBlocked);
        m_checkAutoDismiss->setChecked(m_autoDismiss);
        m_spinSeconds->setValue(m_seconds);
        m_checkShowNumber->setChecked(m_showNumber);
        m_checkOnlyIfNotInPhoneBook->setChecked(m_onlyIfNotInPhoneBook);
        return true;
    }
    m_ignoreBlocked = m_checkIgnoreBlocked->isChecked();
    m_autoDismiss = m_checkAutoDismiss->isChecked();
    const QString text = m_spinSeconds->cleanText();
    bool isNumber = false;
    const int seconds = text.toInt(&isNumber);
    if (!isNumber || seconds < kMinSeconds || seconds > kMaxSeconds) {
        m_spinSeconds->setFocus();
        m_spinSeconds->selectAll();
        if (m_showMessage) {
            m_showMessage(isNumber ? RangeMessage() : NotANumberMessage());
        }
        return false;
    }
    m_seconds = seconds;
    m_showNumber = m_checkShowNumber->isChecked();
    m_onlyIfNotInPhoneBook = m_checkOnlyIfNotInPhoneBook->isChecked();
    return true;
}

void CCallerIdSetupDlg::OnShowNumber() {
    Exchange(true);
    m_checkOnlyIfNotInPhoneBook->setEnabled(m_checkShowNumber->isChecked());
}

CFontChoice CCallerIdSetupDlg::StoredFont() const {
    CFontChoice choice;
    choice.faceName = m_fontName;
    choice.pointSize = m_fontSize;
    choice.weight = m_bold ? 700 : 400;
    choice.italic = m_italic;
    choice.color = m_textColor;
    return choice;
}

void CCallerIdSetupDlg::OnSelectFont() {
    CFontChoice choice = StoredFont();
    if (!m_chooseFont || !m_chooseFont(choice)) {
        return;
    }
    m_fontName = choice.faceName;
    m_fontSize = choice.pointSize;
    m_bold = choice.weight == 700;
    m_italic = choice.italic;
    m_textColor = choice.color;
    UpdateSample();
}

void CCallerIdSetupDlg::OnSelectBackground() {
    std::uint32_t color = m_backgroundColor;
    if (!m_chooseColor || !m_chooseColor(color)) {
        return;
    }
    m_backgroundColor = color;
    UpdateSample();
}

CCallerIdPopup* CCallerIdSetupDlg::OnPreview() {
    // A failed validation is reported; the preview still follows with the values held so far.
    Exchange(true);
    SCallerIdPopup sample;
    sample.name = "Caller Name";
    sample.number = "4085551212";
    sample.portIndex = 1;
    sample.autoDismiss = m_autoDismiss;
    sample.seconds = m_seconds;
    sample.faceName = m_fontName;
    sample.pointSizeTenths = m_fontSize;
    sample.bold = m_bold;
    sample.italic = m_italic;
    sample.textColor = m_textColor;
    sample.backgroundColor = m_backgroundColor;
    sample.showNumber = m_showNumber;
    return CCallerIdPopup::Open(sample);
}

void CCallerIdSetupDlg::accept() {
    if (!Exchange(true)) {
        return;
    }
    QDialog::accept();
}

void CCallerIdSetupDlg::ApplyTo(CSettings& settings) const {
    settings.m_bIgnoreBlocked = m_ignoreBlocked;
    settings.m_bCallerIDTimer = m_autoDismiss;
    settings.m_nCIDTimerValue = m_seconds;
    settings.m_bCIDShowNumber = m_showNumber;
    settings.m_bCIDOnlyIfNotInPhoneBook = m_onlyIfNotInPhoneBook;
    settings.m_strCIDFontName = m_fontName;
    settings.m_nCIDFontSize = m_fontSize;
    settings.m_dwCIDFontColor = m_textColor;
    settings.m_bCIDFontBold = m_bold;
    settings.m_bCIDFontItalic = m_italic;
    settings.m_dwCIDBackgroundColor = m_backgroundColor;
    settings.m_eCIDAnnounce = static_cast<CSettings::EAnnounce>(m_comboAnnounce->currentIndex());
}

void CCallerIdSetupDlg::UpdateSample() {
    QFont font = CallerIdFont(m_fontName, m_fontSize * 6 / 5, m_bold, m_italic);
    m_sample->setFont(font);
    const QColor text = ColorFromColorRef(m_textColor);
    const QColor background = ColorFromColorRef(m_backgroundColor);
    m_sample->setStyleSheet(QStringLiteral("QLabel { color: %1; background-color: %2; border-radius: 4px; }")
                                .arg(text.name(), background.name()));
    m_sample->setText(tr("Caller Name"));
    m_sample->setToolTip(QStringLiteral("%1, %2 pt").arg(QString::fromStdString(m_fontName)).arg(m_fontSize / 10.0));
}
