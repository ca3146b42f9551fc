// Ringvale: the desktop companion for the ISDN telephone adapter.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Ringvale"));
    window.resize(560, 380);
    window.show();
    return QApplication::exec();
}
