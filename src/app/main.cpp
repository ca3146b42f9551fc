// Ringvale: the desktop companion for the ISDN telephone adapter. It takes no command-line
// arguments; the environment chooses the adapter's network address (RINGVALE_ADAPTER_ADDRESS)
// and the dial-up service (RINGVALE_DIALUP).
#include "ui/CRingvaleApp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ringvale"));
    QApplication::setDesktopFileName(QStringLiteral("ringvale"));
    CRingvaleApp ringvale;
    return ringvale.Run();
}
