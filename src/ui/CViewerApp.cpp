#include "ui/CViewerApp.h"

#include "calls/CCallScreening.h"
#include "core/CWindowHost.h"
#include "core/Format.h"
#include "core/ProgramArguments.h"
#include "core/Trace.h"
#include "net/MqttConfig.h"
#include "ui/CCallerIdPopup.h"
#include "ui/CDesktopNotifier.h"
#include "ui/CIcons.h"
#include "ui/CNetworkDlg.h"
#include "ui/CRingvaleApp.h"
#include "ui/CTrayIcon.h"
#include "ui/CViewerWindow.h"
#include "ui/UiMessageBox.h"

#include <QApplication>
#include <QMenuBar>
#include <QSystemTrayIcon>

namespace {

std::string CallText(const SNetCall& call) {
    return StrFormat("%s %s on Phone %d", call.name.c_str(), call.number.empty() ? "(no number)" : call.number.c_str(),
                     call.port);
}

} // namespace

CViewerApp::CViewerApp(const SProgramArguments& arguments)
    : m_folders(ChooseDataFolders(ProcessDataFolderInputs(arguments.dataDir))) {}

std::string CViewerApp::SettingsPath() const {
    return PathInFolder(m_folders.config, CSettings::kFileName);
}

CViewerApp::~CViewerApp() {
    m_client.reset(); // its thread ends before the windows go
}

bool CViewerApp::LoadSettings() {
    const MessageBoxFn box = QtMessageBoxFn(nullptr);
    const auto loaded = m_settings.Load(SettingsPath(), box, [](CSettings& settings) {
        return CNetworkDlg::Run(settings, CNetworkDlg::EMode::Viewer);
    });
    if (loaded == CSettings::ELoadResult::Cancelled) {
        return false;
    }
    bool changed = loaded == CSettings::ELoadResult::ConfiguredByUser;
    SMqttConfig config;
    std::string why;
    while (!MqttConfigFromSettings(m_settings, true, config, why)) {
        box("The viewer cannot use these network settings: " + why + ".");
        if (!CNetworkDlg::Run(m_settings, CNetworkDlg::EMode::Viewer)) {
            return false;
        }
        changed = true;
    }
    if (changed) {
        m_settings.Save(SettingsPath(), false, box);
    }
    return true;
}

bool CViewerApp::Connect() {
    m_client.reset();
    SMqttConfig config;
    std::string why;
    if (!MqttConfigFromSettings(m_settings, true, config, why)) {
        Trace("Viewer: " + why);
        return false;
    }
    CMqttClient::SHandlers handlers;
    handlers.connection = [this](bool up, const std::string& text) {
        QMetaObject::invokeMethod(
            this, [this, up, text = QString::fromStdString(text)] { OnConnection(up, text); }, Qt::QueuedConnection);
    };
    handlers.message = [this](const std::string& topic, const std::string& payload, bool retained) {
        QMetaObject::invokeMethod(
            this, [this, topic, payload, retained] { OnMessage(topic, payload, retained); }, Qt::QueuedConnection);
    };
    handlers.trace = [](const std::string& text) { Trace(text); };
    m_client = std::make_unique<CMqttClient>(config.client, std::move(handlers));
    if (!m_client->Start(why)) {
        m_client.reset();
        Trace("Viewer: cannot connect: " + why);
        m_window->ShowStatus(QString::fromStdString("Cannot connect: " + why));
        return false;
    }
    Trace(StrFormat("Viewer: reading %s from %s:%d%s", config.prefix.c_str(), config.client.host.c_str(),
                    config.client.port, config.client.tls ? " (TLS)" : ""));
    m_window->ShowStatus(QStringLiteral("Connecting to %1:%2...")
                             .arg(QString::fromStdString(config.client.host))
                             .arg(config.client.port));
    return true;
}

void CViewerApp::OnConnection(bool up, const QString& text) {
    Trace(std::string("Viewer: ") + (up ? "" : "cannot reach the broker: ") + text.toStdString());
    const std::string publishers = m_model.StatusText();
    m_window->ShowStatus(up ? text + (publishers.empty() ? QString() : "; " + QString::fromStdString(publishers))
                            : QStringLiteral("Broker not reachable: ") + text);
}

void CViewerApp::OnMessage(const std::string& topic, const std::string& payload, bool retained) {
    const CViewerModel::SChange change = m_model.OnMessage(topic, payload, retained);
    if (!change.problem.empty()) {
        Trace("Viewer: " + change.problem);
    }
    if (change.status) {
        Trace("Viewer: " + m_model.StatusText());
        m_window->ShowStatus(QString::fromStdString(m_model.StatusText()));
    }
    if (change.tiles) {
        m_window->ShowTiles(m_model);
        for (int tile = 0; tile < CViewerModel::kTiles; ++tile) {
            const auto& shown = m_model.TileCalls()[static_cast<std::size_t>(tile)];
            Trace(StrFormat("Viewer: tile %d: %s", tile + 1,
                            shown ? (CallText(shown->call) + " " + shown->call.state).c_str() : "empty"));
        }
    }
    if (change.announce) {
        const SNetCall& call = change.announce->call;
        Trace("Viewer: incoming call: " + CallText(call));
        CCallerIdPopup::Open(CCallScreening::PopupFor(call.name, call.number, call.port - 1, m_settings));
        const QString text = QString::fromStdString(CallText(call));
        if (!CDesktopNotifier::Announce(QStringLiteral("Incoming call"), text)) {
            if (QSystemTrayIcon* icon = m_tray->Icon()) {
                icon->showMessage(QStringLiteral("Incoming call"), text);
            }
        }
    }
    if (change.record) {
        const SNetLogRecord& record = *change.record;
        Trace(StrFormat("Viewer: call log: %s %s %s", record.name.c_str(),
                        record.number.empty() ? "(no number)" : record.number.c_str(),
                        record.answered ? "answered" : "not answered"));
        m_window->AddRecord(*change.record);
    }
}

void CViewerApp::Send(const std::string& topic, const std::string& payload) {
    Trace("Viewer: asking " + topic + ": " + payload);
    if (!m_client || !m_client->Connected() || !m_client->Publish(topic, payload, 1, false)) {
        Trace("Viewer: not connected; nothing was asked");
    }
}

void CViewerApp::OnNetworkSettings() {
    CSettings edited = m_settings;
    if (!CNetworkDlg::Run(edited, CNetworkDlg::EMode::Viewer, m_window.get())) {
        return;
    }
    m_settings = edited;
    m_settings.Save(SettingsPath(), false, QtMessageBoxFn(m_window.get()));
    Connect();
}

int CViewerApp::Run() {
    std::string problem;
    if (!PrepareDataFolders(m_folders, problem)) {
        CRingvaleApp::ReportUnusableFolders(problem);
        return 1;
    }
    SetTraceFilePath(PathInFolder(m_folders.state, kTraceFile));
    TruncateTrace();
    if (!LoadSettings()) {
        return 0;
    }
    m_window = std::make_unique<CViewerWindow>(
        CSystemClock::Instance(),
        [this](const std::string& topic, const std::string& payload) { Send(topic, payload); });
    QMenuBar* bar = m_window->menuBar();
    connect(bar->addAction(QStringLiteral("&Network...")), &QAction::triggered, this, [this] { OnNetworkSettings(); });
    connect(bar->addAction(QStringLiteral("&Quit")), &QAction::triggered, m_window.get(), &QWidget::close);
    m_tray = std::make_unique<CTrayIcon>(nullptr);
    m_tray->Add(img::kMainIcon, QStringLiteral("Ringvale Viewer"));
    m_window->show();
    Connect();
    const int code = QApplication::exec();
    m_client.reset();
    Trace("Viewer: ended");
    return code;
}
