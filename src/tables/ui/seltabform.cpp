#include "tables/ui/seltabform.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace qf::tables {

TSelTabForm::TSelTabForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("SelTabForm"));
    setWindowTitle(QStringLiteral("Select Table"));
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    Select = new QPushButton(QStringLiteral("Select"), this);
    Select->setObjectName(QStringLiteral("Select"));
    Select->setDefault(true);
    Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    Cancel->setObjectName(QStringLiteral("Cancel"));
    auto *Buttons = new QHBoxLayout;
    Buttons->addStretch(1);
    Buttons->addWidget(Select);
    Buttons->addWidget(Cancel);
    auto *L = new QVBoxLayout(this);
    L->addWidget(ListBox1, 1);
    L->addLayout(Buttons);
    resize(300, 320);

    connect(Select, &QPushButton::clicked, this, &QDialog::accept);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, &TSelTabForm::UpdateSelect);
    connect(ListBox1, &QListWidget::itemClicked, this, &TSelTabForm::UpdateSelect);
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] {
        UpdateSelect();
        if (Select->isEnabled())
            Select->click();
    });
}

bool TSelTabForm::Pick(const QStringList &Names, QString &Chosen)
{
    ListBox1->clear();
    ListBox1->addItems(Names);
    if (exec() != QDialog::Accepted || !ListBox1->currentItem() ||
        !ListBox1->currentItem()->isSelected())
        return false;
    Chosen = ListBox1->currentItem()->text();
    return true;
}

void TSelTabForm::showEvent(QShowEvent *Event)
{
    QDialog::showEvent(Event);
    if (ListBox1->count() > 0 && ListBox1->selectedItems().isEmpty())
        ListBox1->setCurrentRow(0);
    ListBox1->setFocus();
    UpdateSelect();
}

void TSelTabForm::UpdateSelect() { Select->setEnabled(!ListBox1->selectedItems().isEmpty()); }

} // namespace qf::tables
