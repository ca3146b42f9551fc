#include "ui/UiMessageBox.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

MessageBoxFn QtMessageBoxFn(QWidget* parent) {
    QPointer<QWidget> owner(parent);
    return [owner](const std::string& text) {
        QMessageBox::information(owner.data(), QStringLiteral("Ringvale"), QString::fromStdString(text));
    };
}
