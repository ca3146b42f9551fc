// "Remote Control Configuration": the triggers that start or end the dial-up connection —
// a DTMF sequence heard on a call, or a call between two watched numbers. No enabling rules:
// every field stays editable whatever the check boxes say. The two numbers hold digits only.
#pragma once

#include "core/MessageBox.h"

#include <QDialog>

class CSettings;
class QCheckBox;
class QLineEdit;

class CRemoteControlDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kNumbersMessage = "Please enter the numbers to watch for as digits only.";

    CRemoteControlDlg(const CSettings& settings, const MessageBoxFn& showMessage, QWidget* parent = nullptr);

    // OK: the numbers must be digits only (a value read from the file may be anything).
    void accept() override;

    // Copies the seven remote-control values as the controls stand into the settings.
    void ApplyTo(CSettings& settings) const;

private:
    MessageBoxFn m_showMessage;
    QCheckBox* m_watchDtmf;
    QLineEdit* m_dtmf;
    QCheckBox* m_incoming;
    QCheckBox* m_outgoing;
    QCheckBox* m_watchNumbers;
    QLineEdit* m_remoteNumber;
    QLineEdit* m_localNumber;
};
