#include "ui/CRemoteControlDlg.h"

#include "core/CSettings.h"
#include "ui/CDigitsValidator.h"
#include "ui/UiDialogParts.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

QLineEdit* Edit(const char* name, const std::string& text, bool digitsOnly, QWidget* parent) {
    auto* edit = new QLineEdit(QString::fromStdString(text), parent);
    edit->setObjectName(QLatin1String(name));
    if (digitsOnly) {
        edit->setValidator(new CDigitsValidator(edit));
    }
    return edit;
}

} // namespace

CRemoteControlDlg::CRemoteControlDlg(const CSettings& settings, const MessageBoxFn& showMessage, QWidget* parent)
    : QDialog(parent), m_showMessage(showMessage),
      m_watchDtmf(NamedCheckBox(tr("Watch DTMF"), "checkWatchDtmf", settings.m_bRCWatchDTMF, this)),
      m_dtmf(Edit("editDtmf", settings.m_strRCDTMF, false, this)),
      m_incoming(NamedCheckBox(tr("Incoming"), "checkIncoming", settings.m_bRCIncoming, this)),
      m_outgoing(NamedCheckBox(tr("Outgoing"), "checkOutgoing", settings.m_bRCOutgoing, this)),
      m_watchNumbers(NamedCheckBox(tr("Watch Incoming Calls"), "checkWatchNumbers", settings.m_bRCWatchNumbers, this)),
      m_remoteNumber(Edit("editRemoteNumber", settings.m_strRCRemoteNumber, true, this)),
      m_localNumber(Edit("editLocalNumber", settings.m_strRCLocalNumber, true, this)) {
    setWindowTitle(tr("Remote Control Configuration"));

    auto* dtmfGroup = new QGroupBox(tr("DTMF"), this);
    auto* dtmfForm = new QFormLayout(dtmfGroup);
    dtmfForm->addRow(m_watchDtmf);
    dtmfForm->addRow(tr("DTMF Sequence"), m_dtmf);
    auto* directions = new QHBoxLayout;
    directions->addWidget(m_incoming);
    directions->addSpacing(16);
    directions->addWidget(m_outgoing);
    directions->addStretch();
    dtmfForm->addRow(directions);

    auto* numbersGroup = new QGroupBox(tr("Numbers"), this);
    auto* numbersForm = new QFormLayout(numbersGroup);
    numbersForm->addRow(m_watchNumbers);
    numbersForm->addRow(tr("Remote number to watch for"), m_remoteNumber);
    numbersForm->addRow(tr("Local number to watch for"), m_localNumber);

    auto* buttons = OkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(dtmfGroup);
    layout->addWidget(numbersGroup);
    layout->addSpacing(6);
    layout->addWidget(buttons);
    setMinimumWidth(380);
}

void CRemoteControlDlg::accept() {
    if (FieldHoldsDigits(m_remoteNumber, 0, -1, kNumbersMessage, m_showMessage) &&
        FieldHoldsDigits(m_localNumber, 0, -1, kNumbersMessage, m_showMessage)) {
        QDialog::accept();
    }
}

void CRemoteControlDlg::ApplyTo(CSettings& settings) const {
    settings.m_bRCWatchDTMF = m_watchDtmf->isChecked();
    settings.m_strRCDTMF = m_dtmf->text().toStdString();
    settings.m_bRCIncoming = m_incoming->isChecked();
    settings.m_bRCOutgoing = m_outgoing->isChecked();
    settings.m_bRCWatchNumbers = m_watchNumbers->isChecked();
    settings.m_strRCRemoteNumber = m_remoteNumber->text().toStdString();
    settings.m_strRCLocalNumber = m_localNumber->text().toStdString();
}
