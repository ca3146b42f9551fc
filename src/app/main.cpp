// Ringvale: the desktop companion for the ISDN telephone adapter. Its arguments choose the
// folder of its files (--data-dir) or run the viewer instead (--viewer: the calls of the
// program that owns the adapter, read from the MQTT broker); the environment chooses that
// folder too (RINGVALE_HOME), the adapter's network address (RINGVALE_ADAPTER_ADDRESS) and the
// dial-up service (RINGVALE_DIALUP).
#include "core/ProgramArguments.h"
#include "ui/CRingvaleApp.h"
#include "ui/CViewerApp.h"

#include <QApplication>

#include <cstdio>
#include <string_view>

int main(int argc, char* argv[]) {
    // --help needs no display.
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--help") {
            std::fputs(ProgramUsage(), stdout);
            return 0;
        }
    }
    // Qt takes its own options (-platform, -display, ...) out of argv; the rest are ours.
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ringvale"));
    QApplication::setDesktopFileName(QStringLiteral("ringvale"));
    SProgramArguments arguments;
    std::string error;
    if (!ParseProgramArguments(std::vector<std::string>(argv + 1, argv + argc), arguments, error)) {
        std::fprintf(stderr, "ringvale: %s\n%s", error.c_str(), ProgramUsage());
        return 2;
    }
    if (arguments.viewer) {
        CViewerApp ringvaleViewer(arguments);
        return ringvaleViewer.Run();
    }
    CRingvaleApp ringvale(arguments);
    return ringvale.Run();
}
