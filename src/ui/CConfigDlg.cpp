#include "ui/CConfigDlg.h"

#include "adapter/CSerialDeviceWatch.h"
#include "core/Format.h"
#include "dialup/IDialUpService.h"
#include "ui/CCallWaitingSetupDlg.h"
#include "ui/CCallerIdSetupDlg.h"
#include "ui/CDigitsValidator.h"
#include "ui/CNewAreaCodeDlg.h"
#include "ui/UiDialogParts.h"
#include "ui/UiMessageBox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// One port of the list: shown with its name and path, and the path alone in the port field
// (an editable combo box takes an item's edit role into its field).
class CPortItem : public QStandardItem {
public:
    explicit CPortItem(const SSerialPort& port)
        : QStandardItem(QString::fromStdString(port.path)), m_label(QString::fromStdString(port.label)) {}
    QVariant data(int role) const override {
        if (role == Qt::DisplayRole && !m_label.isEmpty()) {
            return QStringLiteral("%1 (%2)").arg(m_label, QStandardItem::data(Qt::EditRole).toString());
        }
        return QStandardItem::data(role == Qt::DisplayRole ? Qt::EditRole : role);
    }

private:
    QString m_label;
};

template <typename T> T* Named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// Selects the item exactly equal to text; otherwise the item at fallback.
void SelectExactly(QComboBox* combo, const std::string& text, int fallback) {
    const int index = combo->findText(QString::fromStdString(text), Qt::MatchExactly | Qt::MatchCaseSensitive);
    combo->setCurrentIndex(index >= 0 ? index : fallback);
}

} // namespace

std::vector<SSerialPort> CConfigDlg::ComPortChoices(const std::string& current,
                                                    const std::vector<SSerialPort>& serialPorts) {
    std::vector<SSerialPort> choices;
    const auto listed = [&](const std::string& path) {
        return std::any_of(choices.begin(), choices.end(), [&](const SSerialPort& p) { return p.path == path; });
    };
    for (int n = 1; n <= 8; ++n) {
        const std::string com = StrFormat("COM%d", n);
        choices.push_back({com, com, ""});
    }
    std::vector<SSerialPort> ports = serialPorts;
    std::sort(ports.begin(), ports.end(), [](const SSerialPort& a, const SSerialPort& b) { return a.path < b.path; });
    for (const SSerialPort& port : ports) {
        if (!listed(port.path)) {
            choices.push_back(port);
        }
    }
    if (!current.empty() && !listed(current)) {
        choices.push_back({current, current, ""});
    }
    return choices;
}

const std::vector<std::string>& CConfigDlg::BaudChoices() {
    static const std::vector<std::string> choices = {"230400", "115200", "57600", "28800", "19200",
                                                     "14400",  "9600",   "4800",  "2400",  "1200"};
    return choices;
}

CConfigDlg::CConfigDlg(const CSettings& settings, IDialUpService& dialUp, const MessageBoxFn& showMessage,
                       QWidget* parent)
    : CConfigDlg(settings, dialUp, showMessage, SSerialPortRoots{}, parent) {}

CConfigDlg::CConfigDlg(const CSettings& settings, IDialUpService& dialUp, const MessageBoxFn& showMessage,
                       const SSerialPortRoots& serialRoots, QWidget* parent)
    : QDialog(parent), m_work(settings), m_dialUp(dialUp), m_showMessage(showMessage), m_serialRoots(serialRoots) {
    setWindowTitle(tr("Configuration"));
    if (!m_showMessage) {
        m_showMessage = QtMessageBoxFn(this);
    }
    Build();
    // Adapters plugged in or out while the dialog is open come and go in the list.
    m_deviceWatch = std::make_unique<CSerialDeviceWatch>(m_serialRoots);
    if (m_deviceWatch->Fd() >= 0) {
        auto* notifier = new QSocketNotifier(m_deviceWatch->Fd(), QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            if (m_deviceWatch->ReadChanges()) {
                FillPorts();
            }
        });
    }
}

CConfigDlg::~CConfigDlg() = default;

void CConfigDlg::FillPorts() {
    const QString typed = m_comboComPort->currentText();
    auto* model = new QStandardItemModel(m_comboComPort);
    for (const SSerialPort& port : ComPortChoices(m_work.m_strComPort, ListSerialPorts(m_serialRoots))) {
        model->appendRow(new CPortItem(port));
    }
    m_comboComPort->setModel(model);
    m_comboComPort->setEditText(typed);
}

void CConfigDlg::Build() {
    // Adapter port and speed. The port field takes any path typed into it; the list offers
    // COM1..COM8 and the adapters there are, by the names they tell.
    m_comboComPort = Named(new QComboBox(this), "comboComPort");
    m_comboComPort->setEditable(true);
    m_comboComPort->setInsertPolicy(QComboBox::NoInsert);
    m_comboComPort->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_comboComPort->setEditText(QString::fromStdString(m_work.m_strComPort));
    FillPorts();
    if (m_work.m_strComPort.empty()) {
        m_comboComPort->setCurrentIndex(0);
    }
    m_comboBaud = Named(new QComboBox(this), "comboBaud");
    for (const std::string& baud : BaudChoices()) {
        m_comboBaud->addItem(QString::fromStdString(baud));
    }
    SelectExactly(m_comboBaud, StrFormat("%d", m_work.m_nBaud), 0);
    auto* adapterGroup = new QGroupBox(tr("Adapter"), this);
    auto* adapterForm = new QFormLayout(adapterGroup);
    adapterForm->addRow(tr("COM Port"), m_comboComPort);
    adapterForm->addRow(tr("BAUD Rate"), m_comboBaud);

    // Window options.
    m_checkMinimizeAtStartup = Named(new QCheckBox(tr("Minimize at Startup"), this), "checkMinimizeAtStartup");
    m_checkMinimizeAtStartup->setChecked(m_work.m_bMinimizeAtStartup);
    m_checkMinimizeToTray = Named(new QCheckBox(tr("Minimize to Tray"), this), "checkMinimizeToTray");
    m_checkMinimizeToTray->setChecked(m_work.m_bMinimizeToTray);
    m_checkStartWithDesktop = Named(new QCheckBox(tr("Start with the desktop"), this), "checkStartWithDesktop");
    m_checkStartWithDesktop->setEnabled(false);
    auto* windowGroup = new QGroupBox(tr("Window"), this);
    auto* windowLayout = new QVBoxLayout(windowGroup);
    windowLayout->addWidget(m_checkMinimizeAtStartup);
    windowLayout->addWidget(m_checkMinimizeToTray);
    windowLayout->addWidget(m_checkStartWithDesktop);

    // Sub-dialogs.
    auto* callerIdButton = Named(new QPushButton(tr("CallerID Setup..."), this), "buttonCallerIdSetup");
    auto* callWaitingButton = Named(new QPushButton(tr("Call Waiting Setup..."), this), "buttonCallWaitingSetup");
    connect(callerIdButton, &QPushButton::clicked, this, &CConfigDlg::OnCallerIdSetup);
    connect(callWaitingButton, &QPushButton::clicked, this, &CConfigDlg::OnCallWaitingSetup);
    auto* callsGroup = new QGroupBox(tr("Calls"), this);
    auto* callsLayout = new QVBoxLayout(callsGroup);
    callsLayout->addWidget(callerIdButton);
    callsLayout->addWidget(callWaitingButton);

    // Area-code dialling rules.
    m_editAreaCode = Named(new QLineEdit(QString::fromStdString(m_work.m_strDefaultAreaCode), this), "editAreaCode");
    m_editAreaCode->setValidator(new CDigitsValidator(m_editAreaCode, 3));
    m_editAreaCode->setMaximumWidth(90);
    m_checkAlwaysDialAreaCode = Named(new QCheckBox(tr("Always dial area code"), this), "checkAlwaysDialAreaCode");
    m_checkAlwaysDialAreaCode->setChecked(m_work.m_bAlwaysDialAreaCode);
    m_checkDial1OnlyIfDifferent =
        Named(new QCheckBox(tr("Dial '1' only for different area codes"), this), "checkDial1OnlyIfDifferent");
    m_checkDial1OnlyIfDifferent->setChecked(m_work.m_bDial1OnlyIfDifferent);
    m_checkDial1OnlyIfDifferent->setEnabled(m_work.m_bAlwaysDialAreaCode);
    connect(m_checkAlwaysDialAreaCode, &QCheckBox::clicked, this, &CConfigDlg::OnAlwaysDialAreaCode);
    m_listAreaCodes = Named(new QListWidget(this), "listAreaCodes");
    m_listAreaCodes->setSortingEnabled(true);
    for (const std::string& code : m_work.m_NoDial1AreaCodes) {
        m_listAreaCodes->addItem(QString::fromStdString(code));
    }
    m_work.m_NoDial1AreaCodes.clear(); // refilled from the list on OK
    auto* newButton = Named(new QPushButton(tr("New..."), this), "buttonNewAreaCode");
    auto* removeButton = Named(new QPushButton(tr("Remove"), this), "buttonRemoveAreaCode");
    connect(newButton, &QPushButton::clicked, this, &CConfigDlg::OnNewAreaCode);
    connect(removeButton, &QPushButton::clicked, this, &CConfigDlg::OnRemoveAreaCode);
    auto* dialingGroup = new QGroupBox(tr("Dialing"), this);
    auto* dialingLayout = new QVBoxLayout(dialingGroup);
    auto* areaRow = new QHBoxLayout;
    areaRow->addWidget(new QLabel(tr("Your Area Code"), this));
    areaRow->addWidget(m_editAreaCode);
    areaRow->addStretch();
    dialingLayout->addLayout(areaRow);
    dialingLayout->addWidget(m_checkAlwaysDialAreaCode);
    auto* dial1Row = new QHBoxLayout;
    dial1Row->addSpacing(22);
    dial1Row->addWidget(m_checkDial1OnlyIfDifferent);
    dialingLayout->addLayout(dial1Row);
    dialingLayout->addWidget(new QLabel(tr("Don't dial '1' for these area codes:"), this));
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(m_listAreaCodes, 1);
    auto* listButtons = new QVBoxLayout;
    listButtons->addWidget(newButton);
    listButtons->addWidget(removeButton);
    listButtons->addStretch();
    listRow->addLayout(listButtons);
    dialingLayout->addLayout(listRow);

    // Dial-up connection slots.
    m_slotGroup = new QButtonGroup(this);
    auto* slotRow = new QHBoxLayout;
    for (int slot = 0; slot < kRasSlots; ++slot) {
        auto* radio = new QRadioButton(tr("Connection %1").arg(slot + 1), this);
        radio->setObjectName(QStringLiteral("radioConnection%1").arg(slot + 1));
        m_slotGroup->addButton(radio, slot);
        slotRow->addWidget(radio);
    }
    slotRow->addStretch();
    connect(m_slotGroup, &QButtonGroup::idClicked, this, &CConfigDlg::OnConnectionRadio);
    m_comboConnection = Named(new QComboBox(this), "comboConnection");
    m_editUserName = Named(new QLineEdit(this), "editUserName");
    m_editPassword = Named(new QLineEdit(this), "editPassword");
    m_editPassword->setEchoMode(QLineEdit::Password);
    m_editConfirmPassword = Named(new QLineEdit(this), "editConfirmPassword");
    m_editConfirmPassword->setEchoMode(QLineEdit::Password);
    // How long a dial may take before it is given up (pppd with "persist" or "maxfail" could
    // otherwise retry for a long time).
    m_spinDialUpTimeLimit = Named(new QSpinBox(this), "spinDialUpTimeLimit");
    m_spinDialUpTimeLimit->setRange(10, 3600);
    m_spinDialUpTimeLimit->setSuffix(tr(" s"));
    m_spinDialUpTimeLimit->setValue(m_work.DialUpTimeLimitSeconds());
    m_spinDialUpTimeLimit->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* dialUpGroup = new QGroupBox(tr("Dial-Up Networking"), this);
    auto* dialUpForm = new QFormLayout(dialUpGroup);
    dialUpForm->addRow(tr("Current Selection"), slotRow);
    dialUpForm->addRow(tr("Dial-Up Networking / RAS Connection"), m_comboConnection);
    dialUpForm->addRow(tr("User Name for this connection"), m_editUserName);
    dialUpForm->addRow(tr("Password for this connection"), m_editPassword);
    dialUpForm->addRow(tr("Confirm Password"), m_editConfirmPassword);
    dialUpForm->addRow(tr("Give up a dial after"), m_spinDialUpTimeLimit);

    auto* buttons = OkCancelButtons(this);

    auto* grid = new QGridLayout;
    grid->addWidget(adapterGroup, 0, 0);
    grid->addWidget(windowGroup, 1, 0);
    grid->addWidget(callsGroup, 2, 0);
    grid->addWidget(dialingGroup, 0, 1, 3, 1);
    grid->addWidget(dialUpGroup, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(6);
    layout->addWidget(buttons);

    FillEntries();
    m_shownSlot = 0;
    ShowSlot(0);
    m_slotGroup->button(0)->setChecked(true);
}

void CConfigDlg::FillEntries() {
    for (const std::string& entry : m_dialUp.Entries()) {
        m_comboConnection->addItem(QString::fromStdString(entry));
        m_devices.push_back(m_dialUp.EntryDeviceName(entry));
    }
    m_comboConnection->addItem(QString::fromLatin1(kNoneSelected));
}

void CConfigDlg::ShowSlot(int slot) {
    m_shownSlot = slot;
    const auto index = static_cast<std::size_t>(slot);
    SelectExactly(m_comboConnection, m_work.m_strRASConnection[index], m_comboConnection->count() - 1);
    m_editUserName->setText(QString::fromStdString(m_work.m_strRASUserName[index]));
    m_editPassword->setText(QString::fromStdString(m_work.m_strRASPassword[index]));
    m_editConfirmPassword->setText(QString::fromStdString(m_work.m_strRASPassword[index]));
}

void CConfigDlg::SaveShownSlot() {
    const auto slot = static_cast<std::size_t>(m_shownSlot);
    const std::string entry = m_comboConnection->currentText().toStdString();
    const int k = m_comboConnection->currentIndex();
    m_work.m_strRASConnection[slot] = entry;
    if (!entry.empty() && entry != kNoneSelected && k >= 0 && static_cast<std::size_t>(k) < m_devices.size()) {
        m_work.m_strModemName = m_devices[static_cast<std::size_t>(k)];
        m_work.m_strRASUserName[slot] = m_editUserName->text().toStdString();
        m_work.m_strRASPassword[slot] = m_editPassword->text().toStdString();
    } else {
        m_work.m_strModemName.clear();
        m_work.m_strRASUserName[slot].clear();
        m_work.m_strRASPassword[slot].clear();
    }
}

void CConfigDlg::OnConnectionRadio(int slot) {
    if (slot == m_shownSlot) {
        return;
    }
    if (m_editPassword->text() != m_editConfirmPassword->text()) {
        if (m_showMessage) {
            m_showMessage(kPasswordMismatch);
        }
        if (slot == 0) {
            m_editPassword->clear();
            m_editConfirmPassword->clear();
            m_editPassword->setFocus();
        }
        // The edits still belong to the shown slot, so its button stays selected.
        m_slotGroup->button(m_shownSlot)->setChecked(true);
        return;
    }
    SaveShownSlot();
    ShowSlot(slot);
}

void CConfigDlg::OnAlwaysDialAreaCode() {
    m_checkDial1OnlyIfDifferent->setEnabled(m_checkAlwaysDialAreaCode->isChecked());
}

void CConfigDlg::OnNewAreaCode() {
    auto* dialog = new CNewAreaCodeDlg(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const std::string text = dialog->Text();
        if (!text.empty()) {
            m_listAreaCodes->addItem(QString::fromStdString(text));
        }
    });
    dialog->open();
}

void CConfigDlg::OnRemoveAreaCode() {
    const QList<QListWidgetItem*> selected = m_listAreaCodes->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    delete m_listAreaCodes->takeItem(m_listAreaCodes->row(selected.first()));
}

void CConfigDlg::OnCallerIdSetup() {
    auto* dialog = new CCallerIdSetupDlg(m_work, m_showMessage, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] { dialog->ApplyTo(m_work); });
    dialog->open();
}

void CConfigDlg::OnCallWaitingSetup() {
    auto* dialog = new CCallWaitingSetupDlg(m_work.m_nCallWaitingOnValue, m_work.m_nCallWaitingOffValue, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        m_work.m_nCallWaitingOnValue = dialog->OnValue();
        m_work.m_nCallWaitingOffValue = dialog->OffValue();
    });
    dialog->open();
}

void CConfigDlg::accept() {
    if (!FieldHoldsDigits(m_editAreaCode, 3, 3, kAreaCodeMessage, m_showMessage)) {
        return;
    }
    if (m_editPassword->text() != m_editConfirmPassword->text()) {
        if (m_showMessage) {
            m_showMessage(kPasswordMismatch);
        }
        m_editPassword->clear();
        m_editConfirmPassword->clear();
        m_editPassword->setFocus();
        return;
    }
    m_work.m_strComPort = m_comboComPort->currentText().trimmed().toStdString();
    if (m_work.m_strComPort.empty()) {
        m_work.m_strComPort = "COM1";
    }
    int baud = 0;
    if (ScanInt(m_comboBaud->currentText().toStdString(), baud)) {
        m_work.m_nBaud = baud;
    }
    SaveShownSlot();
    m_work.m_NoDial1AreaCodes.clear();
    for (int row = 0; row < m_listAreaCodes->count(); ++row) {
        m_work.m_NoDial1AreaCodes.push_back(m_listAreaCodes->item(row)->text().toStdString());
    }
    m_work.m_strDefaultAreaCode = m_editAreaCode->text().toStdString();
    m_work.m_bAlwaysDialAreaCode = m_checkAlwaysDialAreaCode->isChecked();
    m_work.m_bDial1OnlyIfDifferent = m_checkDial1OnlyIfDifferent->isChecked();
    m_work.m_bMinimizeAtStartup = m_checkMinimizeAtStartup->isChecked();
    m_work.m_bMinimizeToTray = m_checkMinimizeToTray->isChecked();
    // A value the field could not show (below its range, or 0 for the default) stays as it was
    // unless the user changed the field.
    if (m_spinDialUpTimeLimit->value() != std::clamp(m_work.DialUpTimeLimitSeconds(), m_spinDialUpTimeLimit->minimum(),
                                                     m_spinDialUpTimeLimit->maximum())) {
        m_work.m_nDialUpTimeLimit = m_spinDialUpTimeLimit->value();
    }
    const bool autostart = m_checkStartWithDesktop->isChecked();
    std::string problem;
    if (m_checkStartWithDesktop->isEnabled() && autostart != AutostartEnabled(m_autostart) &&
        !SetAutostartEnabled(m_autostart, autostart, problem) && m_showMessage) {
        m_showMessage(problem); // said; the rest of the configuration still counts
    }
    QDialog::accept();
}

void CConfigDlg::SetAutostart(const SAutostart& autostart) {
    m_autostart = autostart;
    m_checkStartWithDesktop->setEnabled(!autostart.entryPath.empty());
    m_checkStartWithDesktop->setChecked(AutostartEnabled(autostart));
}

void CConfigDlg::ApplyTo(CSettings& settings) const {
    settings.TakeConfigurationValues(m_work);
}

bool CConfigDlg::Run(CSettings& settings, IDialUpService& dialUp, const MessageBoxFn& showMessage,
                     const SAutostart& autostart, QWidget* parent) {
    CConfigDlg dialog(settings, dialUp, showMessage, parent);
    dialog.SetAutostart(autostart);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    dialog.ApplyTo(settings);
    return true;
}
