// The modal "PhoneBook Entry" dialog: names, company, area code (digits only, at most three,
// centred), number (digits only, required), memo and "Ignore Caller". The data members are
// copied into the controls by UpdateControls (before the dialog opens) and back by OK; Cancel
// or Esc changes nothing.
#pragma once

#include "core/MessageBox.h"

#include <QDialog>

#include <string>

class QCheckBox;
class QLineEdit;
class QPushButton;

class CPhoneBookEntryDlg : public QDialog {
public:
    // Control ids.
    static constexpr int kIdFirstName = 1026;
    static constexpr int kIdLastName = 1027;
    static constexpr int kIdCompany = 1028;
    static constexpr int kIdMemo = 1029;
    static constexpr int kIdArea = 1030;
    static constexpr int kIdNumber = 1031;
    static constexpr int kIdIgnore = 1046;

    static constexpr const char* kAreaMessage = "Please enter the area code as digits only, at most three.";
    static constexpr const char* kNumberMessage = "Please enter the number as digits only: an entry needs one.";

    // showMessage tells the user what OK refused (empty: the window framework's message box).
    explicit CPhoneBookEntryDlg(MessageBoxFn showMessage = {}, QWidget* parent = nullptr);

    std::string m_strArea;
    std::string m_strCompany;
    std::string m_strFirstName;
    std::string m_strLastName;
    std::string m_strNumber;
    std::string m_strMemo;
    bool m_bIgnore = false;

    // Members → controls.
    void UpdateControls();
    // OK: controls → members, then closes with Accepted. An area code or number that is not
    // digits (text from a file may be anything) or an empty number is refused with a message.
    void accept() override;

    QLineEdit* FirstNameEdit() const { return m_first; }
    QLineEdit* LastNameEdit() const { return m_last; }
    QLineEdit* CompanyEdit() const { return m_company; }
    QLineEdit* AreaEdit() const { return m_area; }
    QLineEdit* NumberEdit() const { return m_number; }
    QLineEdit* MemoEdit() const { return m_memo; }
    QCheckBox* IgnoreCheck() const { return m_ignore; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    MessageBoxFn m_showMessage;
    QLineEdit* m_first;
    QLineEdit* m_last;
    QLineEdit* m_company;
    QLineEdit* m_area;
    QLineEdit* m_number;
    QLineEdit* m_memo;
    QCheckBox* m_ignore;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};
