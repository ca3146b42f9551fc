// Ringvale: the desktop companion for the ISDN telephone adapter. The environment chooses the
// adapter's network address (RINGVALE_ADAPTER_ADDRESS) and the dial-up service
// (RINGVALE_DIALUP). The one command-line argument, --viewer, runs the viewer instead: the
// calls of the program that owns the adapter, read from the MQTT broker.
#include "ui/CRingvaleApp.h"
#include "ui/CViewerApp.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[]) {
    // Qt takes its own options (-platform, -session, ...) out of the arguments first.
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ringvale"));
    QApplication::setDesktopFileName(QStringLiteral("ringvale"));
    bool viewer = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--viewer") == 0) {
            viewer = true;
        } else {
            std::fprintf(stderr, "ringvale: unknown argument \"%s\"; the only one is --viewer\n", argv[i]);
            return 2;
        }
    }
    if (viewer) {
        CViewerApp ringvaleViewer;
        return ringvaleViewer.Run();
    }
    CRingvaleApp ringvale;
    return ringvale.Run();
}
