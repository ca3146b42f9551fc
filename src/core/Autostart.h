// The desktop's autostart entry for the program: $XDG_CONFIG_HOME/autostart/ringvale.desktop
// (~/.config/autostart unless the variable says otherwise), which desktops that follow the
// autostart rules run at login. The entry starts this program, with --data-dir when it keeps
// its files in one folder, so the copy started at login uses the same configuration.
#pragma once

#include <functional>
#include <string>

struct SAutostart {
    std::string entryPath; // where the entry goes; "" when there is no home folder to put it in
    std::string program;   // the program to start, an absolute path
    std::string dataDir;   // --data-dir of the entry; "" for none
};

// The entry's path from the environment (XDG_CONFIG_HOME, HOME); "" without either.
std::string AutostartEntryPath(const std::function<std::string(const char*)>& env);

// The entry's text.
std::string AutostartEntryText(const SAutostart& autostart);

// One argument as an Exec value holds it: quoted where it has characters the rules reserve,
// with the escapes of both the Exec rules and the string value.
std::string DesktopExecArgument(const std::string& argument);

bool AutostartEnabled(const SAutostart& autostart);

// Writes or removes the entry. False with a sentence for the user when it cannot.
bool SetAutostartEnabled(const SAutostart& autostart, bool enabled, std::string& problem);
