#include "ui/CPhoneBookEntryDlg.h"

#include "ui/CDigitsValidator.h"
#include "ui/UiDialogParts.h"
#include "ui/UiMessageBox.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace {

QLineEdit* MakeEdit(QWidget* parent, const char* name, int id) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setProperty("controlId", id);
    return edit;
}

QString ToQt(const std::string& text) {
    return QString::fromStdString(text);
}

std::string FromQt(const QLineEdit* edit) {
    return edit->text().toStdString();
}

} // namespace

CPhoneBookEntryDlg::CPhoneBookEntryDlg(MessageBoxFn showMessage, QWidget* parent)
    : QDialog(parent), m_showMessage(std::move(showMessage)) {
    if (!m_showMessage) {
        m_showMessage = QtMessageBoxFn(this);
    }
    setObjectName(QStringLiteral("PhoneBookEntryDlg"));
    setWindowTitle(QStringLiteral("PhoneBook Entry"));
    setModal(true);

    // Created in tab order.
    m_first = MakeEdit(this, "editFirstName", kIdFirstName);
    m_last = MakeEdit(this, "editLastName", kIdLastName);
    m_company = MakeEdit(this, "editCompany", kIdCompany);
    m_area = MakeEdit(this, "editArea", kIdArea);
    m_area->setValidator(new CDigitsValidator(m_area, 3));
    m_area->setAlignment(Qt::AlignCenter);
    m_area->setFixedWidth(m_area->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);
    m_number = MakeEdit(this, "editNumber", kIdNumber);
    m_number->setValidator(new CDigitsValidator(m_number));
    m_memo = MakeEdit(this, "editMemo", kIdMemo);
    m_ignore = new QCheckBox(QStringLiteral("Ignore Caller"), this);
    m_ignore->setObjectName(QStringLiteral("checkIgnore"));
    m_ignore->setProperty("controlId", kIdIgnore);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setObjectName(QStringLiteral("buttonOk"));
    m_ok->setText(QStringLiteral("OK"));
    m_ok->setDefault(true);
    m_cancel = buttons->button(QDialogButtonBox::Cancel);
    m_cancel->setObjectName(QStringLiteral("buttonCancel"));
    m_cancel->setText(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CPhoneBookEntryDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* grid = new QGridLayout;
    const auto label = [this](const char* text, QWidget* buddy) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(label("First Name", m_first), 0, 0);
    grid->addWidget(m_first, 0, 1, 1, 3);
    grid->addWidget(label("Last Name", m_last), 1, 0);
    grid->addWidget(m_last, 1, 1, 1, 3);
    grid->addWidget(label("Company", m_company), 2, 0);
    grid->addWidget(m_company, 2, 1, 1, 3);
    grid->addWidget(label("Area", m_area), 3, 0);
    grid->addWidget(m_area, 3, 1);
    grid->addWidget(label("Number", m_number), 3, 2, Qt::AlignRight);
    grid->addWidget(m_number, 3, 3);
    grid->addWidget(label("Memo", m_memo), 4, 0);
    grid->addWidget(m_memo, 4, 1, 1, 3);
    grid->addWidget(m_ignore, 5, 1, 1, 3);
    grid->setColumnStretch(3, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(6);
    layout->addWidget(buttons);
    setMinimumWidth(360);
    m_first->setFocus();
}

void CPhoneBookEntryDlg::UpdateControls() {
    m_first->setText(ToQt(m_strFirstName));
    m_last->setText(ToQt(m_strLastName));
    m_company->setText(ToQt(m_strCompany));
    m_area->setText(ToQt(m_strArea));
    m_number->setText(ToQt(m_strNumber));
    m_memo->setText(ToQt(m_strMemo));
    m_ignore->setChecked(m_bIgnore);
}

void CPhoneBookEntryDlg::accept() {
    if (!FieldHoldsDigits(m_area, 0, 3, kAreaMessage, m_showMessage) ||
        !FieldHoldsDigits(m_number, 1, -1, kNumberMessage, m_showMessage)) {
        return;
    }
    m_strFirstName = FromQt(m_first);
    m_strLastName = FromQt(m_last);
    m_strCompany = FromQt(m_company);
    m_strArea = FromQt(m_area);
    m_strNumber = FromQt(m_number);
    m_strMemo = FromQt(m_memo);
    m_bIgnore = m_ignore->isChecked();
    QDialog::accept();
}
