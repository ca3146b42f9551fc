// "ringvale --viewer": the calls of the program that owns the adapter, seen on another desktop
// through the MQTT broker. It reads RV.cfg in the program's settings folder for the broker and the
// caller-ID popup (a missing file opens the network dialog, and is written on OK), shows the
// caller-ID popup and a desktop notification (the session bus's notification service, else
// the tray icon's message) for every incoming call, the four tiles and the call log, and sends
// nothing but the Reject and Block commands its buttons ask for. Its trace goes to
// RingvaleViewer.dbg, so it may share a folder with the program.
#pragma once

#include "core/CSettings.h"
#include "core/DataFolders.h"
#include "net/CMqttClient.h"
#include "net/CViewerModel.h"

#include <QObject>

struct SProgramArguments;

#include <memory>

class CTrayIcon;
class CViewerWindow;

class CViewerApp : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kTraceFile = "RingvaleViewer.dbg";

    explicit CViewerApp(const SProgramArguments& arguments);
    ~CViewerApp() override;
    CViewerApp(const CViewerApp&) = delete;
    CViewerApp& operator=(const CViewerApp&) = delete;

    // Needs a QApplication. Returns the process's exit code.
    int Run();

private:
    // Reads the settings (the network dialog when there is no file, or when they cannot work);
    // false when the user cancelled.
    bool LoadSettings();
    bool Connect();
    std::string SettingsPath() const;
    void OnConnection(bool up, const QString& text);
    void OnMessage(const std::string& topic, const std::string& payload, bool retained);
    void OnNetworkSettings();
    void Send(const std::string& topic, const std::string& payload);

    SDataFolders m_folders;
    CSettings m_settings;
    CViewerModel m_model;
    std::unique_ptr<CViewerWindow> m_window;
    std::unique_ptr<CTrayIcon> m_tray;
    std::unique_ptr<CMqttClient> m_client;
};
