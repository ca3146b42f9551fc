// "New Area Code": asks for one area code for the configuration dialog's no-dial-1 list.
// The text is returned as typed (any characters, possibly empty).
#pragma once

#include <QDialog>

#include <string>

class QLineEdit;

class CNewAreaCodeDlg : public QDialog {
    Q_OBJECT
public:
    explicit CNewAreaCodeDlg(QWidget* parent = nullptr);
    std::string Text() const;

private:
    QLineEdit* m_edit;
};
