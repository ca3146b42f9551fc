#include "ui/CNewAreaCodeDlg.h"

#include "ui/UiDialogParts.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

CNewAreaCodeDlg::CNewAreaCodeDlg(QWidget* parent) : QDialog(parent), m_edit(new QLineEdit(this)) {
    setWindowTitle(tr("New Area Code"));
    m_edit->setObjectName(QStringLiteral("editAreaCode"));
    auto* label = new QLabel(tr("Enter an Area Code:"), this);
    label->setBuddy(m_edit);
    auto* buttons = OkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_edit);
    layout->addSpacing(6);
    layout->addWidget(buttons);
    setMinimumWidth(260);
}

std::string CNewAreaCodeDlg::Text() const {
    return m_edit->text().toStdString();
}
