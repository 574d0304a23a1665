#include "shell/addwordform.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace qf::shell {

TAddWordForm::TAddWordForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("AddWordForm"));
    setWindowTitle(QStringLiteral("Add"));
    setFixedSize(313, 104);

    Label1 = new QLabel(QStringLiteral("Enter"), this);
    Label1->setGeometry(12, 10, 289, 16);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(12, 30, 289, 24);
    Label1->setBuddy(Edit1);

    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setGeometry(140, 66, 75, 26);
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setGeometry(226, 66, 75, 26);
    // Escape rejects through QDialog itself.
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TAddWordForm::FormShow() { Edit1->setFocus(Qt::OtherFocusReason); }

void TAddWordForm::showEvent(QShowEvent *Event)
{
    QDialog::showEvent(Event);
    FormShow();
}

} // namespace qf::shell
