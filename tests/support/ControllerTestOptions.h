// Helpers for tests that run the whole controller (CMainDialog) on a fake host.
#pragma once

#include "controller/CMainDialog.h"

#include <functional>
#include <string>

// Options for a controller under test: settings file and serial lock files in dir, the given
// adapter address, one quick serial try and short handshake pauses.
CMainDialog::SOptions QuickControllerOptions(const std::string& dir, const std::string& address);

// Settings of a controller under test: the adapter on comPort at 115200 bit/s, the stores as
// "RV.pbk" and "RV.log" in the working directory.
CSettings QuickControllerSettings(const std::string& comPort);

// Handles the controller's queued messages until the condition holds; false after 10 s.
bool PumpMessagesUntil(CMainDialog& dialog, const std::function<bool()>& condition);
