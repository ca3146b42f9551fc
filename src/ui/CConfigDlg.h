// "Configuration": the adapter's port and speed, the area-code dialling rules, the window
// options and the three dial-up connection slots, with the caller-ID and call-waiting setups
// as sub-dialogs. It works on a copy of the settings; ApplyTo hands the edited values back
// after OK, and Cancel leaves everything as it was, sub-dialog changes included.
#pragma once

#include "adapter/SerialPortCatalog.h"
#include "core/Autostart.h"
#include "core/CSettings.h"
#include "core/MessageBox.h"

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

class CSerialDeviceWatch;
class IDialUpService;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

class CConfigDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kNoneSelected = "<none selected>";
    static constexpr const char* kPasswordMismatch = "Your passwords don't match - please reenter them";
    static constexpr const char* kAreaCodeMessage = "Please enter your area code as three digits.";

    // The serial devices that exist are looked up in the system's folders and udev unless
    // other roots are given, and the list follows them while the dialog is open.
    CConfigDlg(const CSettings& settings, IDialUpService& dialUp, const MessageBoxFn& showMessage,
               QWidget* parent = nullptr);
    CConfigDlg(const CSettings& settings, IDialUpService& dialUp, const MessageBoxFn& showMessage,
               const SSerialPortRoots& serialRoots, QWidget* parent = nullptr);
    ~CConfigDlg() override;

    // Copies the values the dialog shows into the settings (CSettings::TakeConfigurationValues);
    // the current dial-up slot and everything else the dialog does not show stay as they are.
    void ApplyTo(CSettings& settings) const;

    // Runs the dialog modally on the settings; on OK copies the values back and returns true.
    // The caller then re-sends the call-waiting register and rebuilds the connection menus.
    static bool Run(CSettings& settings, IDialUpService& dialUp, const MessageBoxFn& showMessage,
                    const SAutostart& autostart, QWidget* parent = nullptr);

    // "Start with the desktop" shows whether the autostart entry is there, and OK writes or
    // removes it. Without an entry path the check box is disabled.
    void SetAutostart(const SAutostart& autostart);

    // The COM port list: COM1..COM8, then the serial devices that exist (by their stable path),
    // then the current value when it is none of these.
    static std::vector<SSerialPort> ComPortChoices(const std::string& current,
                                                   const std::vector<SSerialPort>& serialPorts);
    static const std::vector<std::string>& BaudChoices();

    // The slot whose fields the user name and password edits show (0..2).
    int ShownSlot() const { return m_shownSlot; }

public slots:
    void accept() override;
    void OnConnectionRadio(int slot);
    void OnAlwaysDialAreaCode();
    void OnNewAreaCode();
    void OnRemoveAreaCode();
    void OnCallerIdSetup();
    void OnCallWaitingSetup();

private:
    void Build();
    // Lists the ports again, keeping what the port field holds.
    void FillPorts();
    void FillEntries();
    // Puts slot s into the edits and selects its entry (else "<none selected>").
    void ShowSlot(int slot);
    // Takes the shown slot's entry, user name and password from the controls; the device name
    // follows the entry (empty, with user name and password, when no valid entry is chosen).
    void SaveShownSlot();

    CSettings m_work;
    IDialUpService& m_dialUp;
    MessageBoxFn m_showMessage;
    int m_shownSlot = 0;
    std::vector<std::string> m_devices; // device of each entry, in the entry combo's order
    SSerialPortRoots m_serialRoots;
    std::unique_ptr<CSerialDeviceWatch> m_deviceWatch;

    QComboBox* m_comboComPort = nullptr;
    QComboBox* m_comboBaud = nullptr;
    QLineEdit* m_editAreaCode = nullptr;
    QCheckBox* m_checkAlwaysDialAreaCode = nullptr;
    QCheckBox* m_checkDial1OnlyIfDifferent = nullptr;
    QListWidget* m_listAreaCodes = nullptr;
    QCheckBox* m_checkMinimizeAtStartup = nullptr;
    QCheckBox* m_checkMinimizeToTray = nullptr;
    QCheckBox* m_checkStartWithDesktop = nullptr;
    SAutostart m_autostart;
    QButtonGroup* m_slotGroup = nullptr;
    QComboBox* m_comboConnection = nullptr;
    QLineEdit* m_editUserName = nullptr;
    QLineEdit* m_editPassword = nullptr;
    QLineEdit* m_editConfirmPassword = nullptr;
    QSpinBox* m_spinDialUpTimeLimit = nullptr;
};
