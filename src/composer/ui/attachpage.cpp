#include "composer/ui/attachpage.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace qf::composer {

TAttachPage::TAttachPage(TAttachments &Attachments, QWidget *Parent)
    : QWidget(Parent), FAttachments(Attachments)
{
    auto *L = new QVBoxLayout(this);
    ListBox3 = new QListWidget(this);
    ListBox3->setObjectName(QStringLiteral("ListBox3"));
    L->addWidget(ListBox3, 1);
    auto *Row = new QHBoxLayout;
    AddButton = new QPushButton(QStringLiteral("Add..."), this);
    AddButton->setObjectName(QStringLiteral("AttachAdd"));
    RemoveButton = new QPushButton(QStringLiteral("Remove"), this);
    RemoveButton->setObjectName(QStringLiteral("AttachRemove"));
    Row->addWidget(AddButton);
    Row->addWidget(RemoveButton);
    Row->addStretch(1);
    L->addLayout(Row);

    connect(AddButton, &QPushButton::clicked, this, &TAttachPage::AddClick);
    connect(RemoveButton, &QPushButton::clicked, this, &TAttachPage::RemoveClick);
    connect(ListBox3, &QListWidget::itemSelectionChanged, this, &TAttachPage::UpdateAttachControls);
    UpdateAttachControls();
}

void TAttachPage::RefreshAttachList()
{
    ListBox3->clear();
    ListBox3->addItems(FAttachments.Lines());
}

void TAttachPage::UpdateAttachControls()
{
    RemoveButton->setEnabled(!ListBox3->selectedItems().isEmpty());
}

void TAttachPage::AddClick()
{
    FAttachments.EnsureItem();
    QFileDialog Dialog(this, QStringLiteral("Attach Files"), QString(),
                       QStringLiteral("All Files (*)"));
    Dialog.setObjectName(QStringLiteral("OpenDialog3"));
    Dialog.setOption(QFileDialog::DontUseNativeDialog);
    Dialog.setFileMode(QFileDialog::ExistingFiles);
    if (Dialog.exec() == QDialog::Accepted && !Dialog.selectedFiles().isEmpty()) {
        if (OnModified)
            OnModified();
        const int Last = FAttachments.Add(Dialog.selectedFiles());
        RefreshAttachList();
        ListBox3->setCurrentRow(Last);
        UpdateAttachControls();
    }
    ListBox3->setFocus();
}

void TAttachPage::RemoveClick()
{
    const int Row = ListBox3->selectedItems().isEmpty() ? -1 : ListBox3->currentRow();
    int Select = -1;
    if (Row >= 0 && FAttachments.HasItem() && FAttachments.Remove(Row, Select)) {
        if (OnModified)
            OnModified();
        RefreshAttachList();
        if (Select >= 0)
            ListBox3->setCurrentRow(Select);
    }
    UpdateAttachControls();
    ListBox3->setFocus();
}

} // namespace qf::composer
