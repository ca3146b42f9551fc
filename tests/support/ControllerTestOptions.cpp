#include "support/ControllerTestOptions.h"

#include <chrono>

using namespace std::chrono_literals;

CMainDialog::SOptions QuickControllerOptions(const std::string& dir, const std::string& address) {
    CMainDialog::SOptions options;
    options.settingsPath = dir + "/RV.cfg";
    options.adapterAddress = address;
    options.modemHooks.lockDir = dir;
    options.modemHooks.serialTries = 1;
    options.modemHooks.serialRetryDelay = 0ms;
    options.modemHooks.discardDelay = 50ms;
    options.modemHooks.finalPause = 50ms;
    return options;
}

CSettings QuickControllerSettings(const std::string& comPort) {
    CSettings s;
    s.m_strComPort = comPort;
    s.m_nBaud = 115200;
    s.m_strPhoneBookName = "RV.pbk";
    s.m_strCallLogName = "RV.log";
    return s;
}

bool PumpMessagesUntil(CMainDialog& dialog, const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        dialog.Messages().WaitForMessage(50);
        dialog.DrainMessages();
    }
    return true;
}
