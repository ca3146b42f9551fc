// Call-waiting setup: which phone ports get call waiting while the feature is enabled and
// while it is disabled. Each set is an S-register 76 value: bit 0 Phone 1, bit 1 Phone 2;
// only those two bits are shown, and only they come back.
#pragma once

#include <QDialog>

class QCheckBox;

class CCallWaitingSetupDlg : public QDialog {
    Q_OBJECT
public:
    CCallWaitingSetupDlg(int onValue, int offValue, QWidget* parent = nullptr);

    // The two values as the check boxes stand (0..3).
    int OnValue() const;
    int OffValue() const;

private:
    QCheckBox* m_enabledPhone1;
    QCheckBox* m_enabledPhone2;
    QCheckBox* m_disabledPhone1;
    QCheckBox* m_disabledPhone2;
};
