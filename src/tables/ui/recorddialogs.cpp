#include "tables/ui/recorddialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qf::tables {

TDelForm::TDelForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("DelForm"));
    setWindowTitle(QStringLiteral("Delete Record"));
    auto *L = new QVBoxLayout(this);
    Label1 = new QLabel(QStringLiteral("Delete Record?"), this);
    CheckBox1 = new QCheckBox(QStringLiteral("Do not perform this check"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    L->addWidget(Label1);
    L->addWidget(CheckBox1);
    auto *B = new QHBoxLayout;
    B->addStretch(1);
    YesButton = new QPushButton(QStringLiteral("Yes"), this);
    YesButton->setObjectName(QStringLiteral("YesButton"));
    YesButton->setDefault(true);
    NoButton = new QPushButton(QStringLiteral("No"), this);
    NoButton->setObjectName(QStringLiteral("NoButton"));
    B->addWidget(YesButton);
    B->addWidget(NoButton);
    L->addLayout(B);
    // Esc rejects, which is the answer No.
    connect(YesButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(NoButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TDelForm::showEvent(QShowEvent *Event)
{
    QDialog::showEvent(Event);
    NoButton->setFocus();
}

TFindForm::TFindForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("FindForm"));
    setWindowTitle(QStringLiteral("Find"));
    auto *L = new QVBoxLayout(this);
    auto *F = new QFormLayout;
    FieldList = new QComboBox(this);
    FieldList->setObjectName(QStringLiteral("FieldList"));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    F->addRow(QStringLiteral("Field"), FieldList);
    F->addRow(QStringLiteral("Value"), Edit1);
    L->addLayout(F);
    auto *Mode = new QGroupBox(QStringLiteral("Mode"), this);
    auto *M = new QHBoxLayout(Mode);
    Exactly = new QRadioButton(QStringLiteral("Exactly"), Mode);
    Including = new QRadioButton(QStringLiteral("Including"), Mode);
    Including->setChecked(true);
    M->addWidget(Exactly);
    M->addWidget(Including);
    L->addWidget(Mode);
    auto *B = new QHBoxLayout;
    B->addStretch(1);
    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    B->addWidget(OkButton);
    B->addWidget(CancelButton);
    L->addLayout(B);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TFindForm::SetFieldNames(const QStringList &Names)
{
    const QString Remembered = FieldList->currentText();
    FieldList->clear();
    FieldList->addItems(Names);
    FieldList->setCurrentIndex(Names.indexOf(Remembered));
    if (FieldList->currentIndex() < 0)
        Edit1->clear();
}

void TFindForm::showEvent(QShowEvent *Event)
{
    QDialog::showEvent(Event);
    FieldList->setFocus();
}

} // namespace qf::tables
