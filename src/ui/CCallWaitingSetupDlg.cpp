#include "ui/CCallWaitingSetupDlg.h"

#include "ui/UiDialogParts.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {

QGroupBox* PortGroup(const QString& title, QCheckBox* phone1, QCheckBox* phone2, QWidget* parent) {
    auto* group = new QGroupBox(title, parent);
    auto* row = new QHBoxLayout(group);
    row->addWidget(phone1);
    row->addSpacing(24);
    row->addWidget(phone2);
    row->addStretch();
    return group;
}

int Bits(const QCheckBox* phone1, const QCheckBox* phone2) {
    return (phone1->isChecked() ? 1 : 0) + (phone2->isChecked() ? 2 : 0);
}

} // namespace

CCallWaitingSetupDlg::CCallWaitingSetupDlg(int onValue, int offValue, QWidget* parent)
    : QDialog(parent), m_enabledPhone1(NamedCheckBox(tr("Phone 1"), "checkEnabledPhone1", (onValue & 1) != 0, this)),
      m_enabledPhone2(NamedCheckBox(tr("Phone 2"), "checkEnabledPhone2", (onValue & 2) != 0, this)),
      m_disabledPhone1(NamedCheckBox(tr("Phone 1"), "checkDisabledPhone1", (offValue & 1) != 0, this)),
      m_disabledPhone2(NamedCheckBox(tr("Phone 2"), "checkDisabledPhone2", (offValue & 2) != 0, this)) {
    setWindowTitle(tr("Call Waiting Setup"));
    auto* buttons = OkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        PortGroup(tr("Call Waiting ENABLED, enable it on these ports"), m_enabledPhone1, m_enabledPhone2, this));
    layout->addWidget(
        PortGroup(tr("Call Waiting DISABLED, enable it on these ports"), m_disabledPhone1, m_disabledPhone2, this));
    layout->addSpacing(6);
    layout->addWidget(buttons);
}

int CCallWaitingSetupDlg::OnValue() const {
    return Bits(m_enabledPhone1, m_enabledPhone2);
}

int CCallWaitingSetupDlg::OffValue() const {
    return Bits(m_disabledPhone1, m_disabledPhone2);
}
