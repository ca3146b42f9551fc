#include "ui/CNetworkDlg.h"

#include "core/CSettings.h"
#include "net/MqttConfig.h"
#include "ui/UiDialogParts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QLineEdit* Edit(const char* name, const std::string& text, QWidget* parent) {
    auto* edit = new QLineEdit(QString::fromStdString(text), parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

// The TLS choices in the order of EMqttTls.
constexpr EMqttTls kTlsChoices[] = {EMqttTls::Auto, EMqttTls::On, EMqttTls::Off};

} // namespace

CNetworkDlg::CNetworkDlg(const CSettings& settings, EMode mode, QWidget* parent)
    : QDialog(parent), m_mode(mode), m_enabled(NamedCheckBox(tr("Publish the calls to an MQTT broker"), "checkEnabled",
                                                             settings.m_bMqttEnabled, this)),
      m_host(Edit("editHost", settings.m_strMqttHost, this)), m_port(new QSpinBox(this)), m_tls(new QComboBox(this)),
      m_caFile(Edit("editCaFile", settings.m_strMqttCAFile, this)),
      m_userName(Edit("editUserName", settings.m_strMqttUserName, this)),
      m_password(Edit("editPassword", settings.m_strMqttPassword, this)),
      m_prefix(Edit("editPrefix", settings.m_strMqttTopicPrefix, this)),
      m_allowCommands(NamedCheckBox(tr("Viewers may reject and block offered calls"), "checkAllowCommands",
                                    settings.m_bMqttAllowCommands, this)),
      m_homeAssistant(NamedCheckBox(tr("Home Assistant discovery (last caller, line busy)"), "checkHomeAssistant",
                                    settings.m_bMqttHomeAssistant, this)) {
    setWindowTitle(tr("Network"));
    m_port->setObjectName(QStringLiteral("spinPort"));
    m_port->setRange(1, 65535);
    m_port->setValue(settings.m_nMqttPort >= 1 && settings.m_nMqttPort <= 65535 ? settings.m_nMqttPort : 1883);
    m_tls->setObjectName(QStringLiteral("comboTls"));
    m_tls->addItems({tr("Unless the broker is on this computer"), tr("Always"), tr("Never")});
    for (int i = 0; i < 3; ++i) {
        if (kTlsChoices[i] == settings.m_eMqttTls) {
            m_tls->setCurrentIndex(i);
        }
    }
    m_password->setEchoMode(QLineEdit::Password);
    m_prefix->setPlaceholderText(mode == EMode::Viewer ? QStringLiteral("ringvale/+ (every publisher)")
                                                       : QString::fromStdString(DefaultTopicPrefix()));
    m_caFile->setPlaceholderText(tr("the system's certificate authorities"));
    auto* browse = new QPushButton(tr("Browse..."), this);
    browse->setObjectName(QStringLiteral("buttonBrowseCa"));
    connect(browse, &QPushButton::clicked, this, &CNetworkDlg::BrowseCaFile);
    auto* caRow = new QHBoxLayout;
    caRow->addWidget(m_caFile, 1);
    caRow->addWidget(browse);

    auto* form = new QFormLayout;
    form->addRow(tr("Broker"), m_host);
    form->addRow(tr("Port"), m_port);
    form->addRow(tr("TLS"), m_tls);
    form->addRow(tr("CA file"), caRow);
    form->addRow(tr("User name"), m_userName);
    form->addRow(tr("Password"), m_password);
    form->addRow(tr("Topic prefix"), m_prefix);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enabled);
    layout->addLayout(form);
    layout->addWidget(m_allowCommands);
    layout->addWidget(m_homeAssistant);
    layout->addSpacing(6);
    layout->addWidget(OkCancelButtons(this));
    if (mode == EMode::Viewer) {
        // A viewer always reads the broker and publishes nothing but the commands.
        for (QWidget* publisherOnly : {static_cast<QWidget*>(m_enabled), static_cast<QWidget*>(m_allowCommands),
                                       static_cast<QWidget*>(m_homeAssistant)}) {
            publisherOnly->hide();
        }
    }
    setMinimumWidth(440);
}

void CNetworkDlg::BrowseCaFile() {
    const QString file = QFileDialog::getOpenFileName(this, tr("CA file"), m_caFile->text(),
                                                      tr("Certificates (*.crt *.pem);;All files (*)"));
    if (!file.isEmpty()) {
        m_caFile->setText(file);
    }
}

void CNetworkDlg::ApplyTo(CSettings& settings) const {
    if (m_mode == EMode::Publisher) {
        settings.m_bMqttEnabled = m_enabled->isChecked();
        settings.m_bMqttAllowCommands = m_allowCommands->isChecked();
        settings.m_bMqttHomeAssistant = m_homeAssistant->isChecked();
    }
    settings.m_strMqttHost = m_host->text().trimmed().toStdString();
    settings.m_nMqttPort = m_port->value();
    settings.m_eMqttTls = kTlsChoices[std::max(0, m_tls->currentIndex())];
    settings.m_strMqttCAFile = m_caFile->text().trimmed().toStdString();
    settings.m_strMqttUserName = m_userName->text().toStdString();
    settings.m_strMqttPassword = m_password->text().toStdString();
    settings.m_strMqttTopicPrefix = m_prefix->text().trimmed().toStdString();
}

bool CNetworkDlg::Run(CSettings& settings, EMode mode, QWidget* parent) {
    CNetworkDlg dialog(settings, mode, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    dialog.ApplyTo(settings);
    return true;
}
