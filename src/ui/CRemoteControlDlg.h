// "Remote Control Configuration": the triggers that start or end the dial-up connection —
// a DTMF sequence heard on a call, or a call between two watched numbers. No validation and
// no enabling rules: every field stays editable whatever the check boxes say.
#pragma once

#include <QDialog>

class CSettings;
class QCheckBox;
class QLineEdit;

class CRemoteControlDlg : public QDialog {
    Q_OBJECT
public:
    explicit CRemoteControlDlg(const CSettings& settings, QWidget* parent = nullptr);

    // Copies the seven remote-control values as the controls stand into the settings.
    void ApplyTo(CSettings& settings) const;

private:
    QCheckBox* m_watchDtmf;
    QLineEdit* m_dtmf;
    QCheckBox* m_incoming;
    QCheckBox* m_outgoing;
    QCheckBox* m_watchNumbers;
    QLineEdit* m_remoteNumber;
    QLineEdit* m_localNumber;
};
