// "Network": the MQTT broker the program publishes its calls to (and a viewer reads them
// from) — host, port, TLS with its CA file, user name and password, the topic prefix — and
// what the publisher allows and adds: Reject and Block from viewers, Home Assistant discovery.
// For a viewer the publishing-only controls are hidden.
#pragma once

#include <QDialog>

class CSettings;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

class CNetworkDlg : public QDialog {
    Q_OBJECT
public:
    enum class EMode { Publisher, Viewer };

    CNetworkDlg(const CSettings& settings, EMode mode, QWidget* parent = nullptr);

    // Copies the network values as the controls stand into the settings.
    void ApplyTo(CSettings& settings) const;

    // Runs the dialog modally; on OK copies the values back and returns true.
    static bool Run(CSettings& settings, EMode mode, QWidget* parent = nullptr);

private:
    void BrowseCaFile();

    EMode m_mode;
    QCheckBox* m_enabled;
    QLineEdit* m_host;
    QSpinBox* m_port;
    QComboBox* m_tls;
    QLineEdit* m_caFile;
    QLineEdit* m_userName;
    QLineEdit* m_password;
    QLineEdit* m_prefix;
    QCheckBox* m_allowCommands;
    QCheckBox* m_homeAssistant;
};
