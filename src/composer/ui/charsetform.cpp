#include "composer/ui/charsetform.h"

#include "delivery/charsets.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace qf::composer {

TCharSetForm::TCharSetForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("CharSetForm"));
    setWindowTitle(QStringLiteral("Select Charset"));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    auto *L = new QVBoxLayout(this);
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    for (const delivery::TCharsetInfo &Row : delivery::CharsetTable)
        ListBox1->addItem(QStringLiteral("%1, %2").arg(QLatin1String(Row.DisplayName),
                                                       QLatin1String(Row.MimeName)));
    L->addWidget(ListBox1);
    auto *Buttons = new QHBoxLayout;
    Buttons->addStretch(1);
    OkBtn = new QPushButton(QStringLiteral("Ok"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    OkBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    Buttons->addWidget(OkBtn);
    Buttons->addWidget(CancelBtn);
    L->addLayout(Buttons);
    resize(300, 340);
    setFixedSize(size());

    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, &TCharSetForm::UpdateOk);
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *Item) {
        if (Item && Item->isSelected())
            OkBtn->click();
    });
}

void TCharSetForm::UpdateOk() { OkBtn->setEnabled(!ListBox1->selectedItems().isEmpty()); }

void TCharSetForm::showEvent(QShowEvent *Event)
{
    QDialog::showEvent(Event);
    if (QScreen *S = screen())
        move(S->availableGeometry().center() - rect().center());
    if (ListBox1->count() > 0 && ListBox1->selectedItems().isEmpty())
        ListBox1->setCurrentRow(0);
    ListBox1->setFocus();
    UpdateOk();
}

bool TCharSetForm::Execute(int &Index)
{
    ListBox1->clearSelection();
    if (Index >= 0 && Index < ListBox1->count())
        ListBox1->setCurrentRow(Index);
    if (exec() != QDialog::Accepted || ListBox1->currentRow() < 0)
        return false;
    Index = ListBox1->currentRow();
    return true;
}

} // namespace qf::composer
