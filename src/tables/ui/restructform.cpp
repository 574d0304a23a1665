#include "tables/ui/restructform.h"

#include "tables/workspace.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace qf::tables {

namespace {
QPushButton *Button(QWidget *Parent, const char *Name, const QString &Caption)
{
    auto *B = new QPushButton(Caption, Parent);
    B->setObjectName(QLatin1String(Name));
    B->setAutoDefault(false);
    return B;
}

void ErrorBox(QWidget *Parent, const QString &Text)
{
    QMessageBox::critical(Parent, QStringLiteral("Quillfast"), Text, QMessageBox::Ok);
}
} // namespace

// ---------------------------------------------------------------------------------------------
// TEditForm

TEditForm::TEditForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("EditForm"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("Character"), QStringLiteral("Number"),
                         QStringLiteral("Date"), QStringLiteral("Logical"),
                         QStringLiteral("Memo")});
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    OkBtn = Button(this, "OkBtn", QStringLiteral("OK"));
    OkBtn->setDefault(true);
    CancelBtn = Button(this, "CancelBtn", QStringLiteral("Cancel"));
    auto *Form = new QFormLayout;
    Form->addRow(QStringLiteral("Name"), Edit1);
    Form->addRow(QStringLiteral("Type"), ComboBox1);
    Form->addRow(QStringLiteral("Size"), Edit2);
    auto *Buttons = new QHBoxLayout;
    Buttons->addStretch(1);
    Buttons->addWidget(OkBtn);
    Buttons->addWidget(CancelBtn);
    auto *L = new QVBoxLayout(this);
    L->addLayout(Form);
    L->addLayout(Buttons);
    setFixedSize(sizeHint().expandedTo(QSize(280, 0)));
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TEditForm::showEvent(QShowEvent *Event)
{
    QDialog::showEvent(Event);
    if (FAddMode == 1) {
        Edit1->clear();
        Edit2->clear();
        ComboBox1->setCurrentIndex(0);
    } else {
        FillEditFields();
    }
    Edit1->setFocus();
}

void TEditForm::FillEditFields()
{
    if (!FList || FIndex < 0 || FIndex >= int(FList->FFieldDefs.size()))
        return;
    const QStringList Row = FList->RowTexts(FIndex);
    Edit1->setText(Row[0]);
    ComboBox1->setCurrentIndex(
        int(QStringLiteral("CNDLM").indexOf(Row[1].size() == 1 ? Row[1] : QStringLiteral("?"))));
    Edit2->setText(Row[2]);
}

bool TEditForm::IsUniqueFieldName(const QString &Name) const
{
    return !FList || FList->IsUniqueFieldName(FIndex, Name);
}

void TEditForm::done(int Result)
{
    if (Result == QDialog::Accepted && FList) {
        const QString Error =
            FList->CheckField(FIndex, Edit1->text(), ComboBox1->currentIndex(), Edit2->text());
        if (!Error.isEmpty()) {
            ErrorBox(this, Error);
            return; // the dialog stays open with the user's input
        }
    }
    QDialog::done(Result);
}

// ---------------------------------------------------------------------------------------------
// TCopyOptForm

TCopyOptForm::TCopyOptForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("CopyOptForm"));
    setWindowTitle(QStringLiteral("Data"));
    // No system menu and no close box: the choice ends with "Ok".
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    CheckBox1 = new QCheckBox(QStringLiteral("Copy Data"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setChecked(true);
    CheckBox2 = new QCheckBox(QStringLiteral("Copy Only Filtered Records"), this);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox3 = new QCheckBox(QStringLiteral("Copy by Sorted Sequence"), this);
    CheckBox3->setObjectName(QStringLiteral("CheckBox3"));
    OkBtn = Button(this, "OkBtn", QStringLiteral("Ok"));
    OkBtn->setDefault(true);
    auto *L = new QVBoxLayout(this);
    L->addWidget(CheckBox1);
    L->addWidget(CheckBox2);
    L->addWidget(CheckBox3);
    L->addWidget(OkBtn, 0, Qt::AlignHCenter);
    setFixedSize(sizeHint().expandedTo(QSize(240, 0)));
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CheckBox1, &QCheckBox::toggled, this, &TCopyOptForm::UpdateCopyOptions);
}

void TCopyOptForm::showEvent(QShowEvent *Event)
{
    QDialog::showEvent(Event);
    if (!MainFiltered)
        CheckBox2->setChecked(false);
    if (!MainSorted)
        CheckBox3->setChecked(false);
    UpdateCopyOptions();
}

void TCopyOptForm::UpdateCopyOptions()
{
    CheckBox2->setEnabled(CheckBox1->isChecked() && MainFiltered);
    CheckBox3->setEnabled(CheckBox1->isChecked() && MainSorted);
}

// ---------------------------------------------------------------------------------------------
// TRestructForm

TRestructForm::TRestructForm(TTableWorkspace &Workspace, QWidget *Parent)
    : QDialog(Parent), Flow(Workspace), FWorkspace(Workspace)
{
    setObjectName(QStringLiteral("RestructForm"));
    setWindowTitle(QStringLiteral("Restructure Table"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    StringGrid1 = new QTableWidget(0, 3, this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setHorizontalHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("Size")});
    StringGrid1->setColumnWidth(0, 210);
    StringGrid1->setColumnWidth(1, 68);
    StringGrid1->setColumnWidth(2, 108);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setDefaultSectionSize(18);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setMinimumSize(
        210 + 68 + 108 + StringGrid1->verticalScrollBar()->sizeHint().width() + 4, 300);

    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setArrowType(Qt::UpArrow);
    SpeedButton1->setToolTip(QStringLiteral("Move the field up"));
    SpeedButton2 = new QToolButton(this);
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    SpeedButton2->setArrowType(Qt::DownArrow);
    SpeedButton2->setToolTip(QStringLiteral("Move the field down"));

    Button1 = Button(this, "Button1", QStringLiteral("Add"));
    Button2 = Button(this, "Button2", QStringLiteral("Edit"));
    Button4 = Button(this, "Button4", QStringLiteral("Delete"));
    Button3 = Button(this, "Button3", QStringLiteral("Save As..."));
    CloseBtn = Button(this, "CloseBtn", QStringLiteral("Close"));

    auto *Arrows = new QVBoxLayout;
    Arrows->addWidget(SpeedButton1);
    Arrows->addWidget(SpeedButton2);
    Arrows->addStretch(1);
    auto *Buttons = new QHBoxLayout;
    for (QPushButton *B : {Button1, Button2, Button4, Button3})
        Buttons->addWidget(B);
    Buttons->addStretch(1);
    Buttons->addWidget(CloseBtn);
    auto *L = new QGridLayout(this);
    L->addWidget(StringGrid1, 0, 0);
    L->addLayout(Arrows, 0, 1);
    L->addLayout(Buttons, 1, 0, 1, 2);
    setFixedSize(sizeHint());

    EditForm = new TEditForm(this);
    EditForm->FList = &List;
    CopyOptForm = new TCopyOptForm(this);

    connect(Button1, &QPushButton::clicked, this, &TRestructForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TRestructForm::Button2Click);
    connect(StringGrid1, &QTableWidget::cellDoubleClicked, this,
            &TRestructForm::StringGrid1DblClick);
    connect(Button4, &QPushButton::clicked, this, &TRestructForm::Button4Click);
    connect(SpeedButton1, &QToolButton::clicked, this, &TRestructForm::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TRestructForm::SpeedButton2Click);
    connect(Button3, &QPushButton::clicked, this, &TRestructForm::Button3Click);
    connect(CloseBtn, &QPushButton::clicked, this, &TRestructForm::CloseBtnClick);

    Flow.Copy.OnCopyOptions = [this] {
        CopyOptForm->MainFiltered = FWorkspace.ADOQuery1().Filtered();
        CopyOptForm->MainSorted = FWorkspace.FSorted == 1;
        CopyOptForm->exec();
        return TCopyOptions{CopyOptForm->CheckBox1->isChecked(),
                            CopyOptForm->CheckBox2->isChecked(),
                            CopyOptForm->CheckBox3->isChecked()};
    };
    Flow.OnBusy = [](bool Busy) {
        if (Busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    };
    Flow.OnConfirmLoss = [this](const QString &Question) {
        return QMessageBox::warning(this, QStringLiteral("Quillfast"), Question,
                                    QMessageBox::Yes | QMessageBox::No,
                                    QMessageBox::No) == QMessageBox::Yes;
    };
}

int TRestructForm::Execute(const QString &Caption, uint8_t CreateMode)
{
    setWindowTitle(Caption);
    List.FCreateMode = CreateMode;
    return exec();
}

int TRestructForm::SelectedRow() const { return StringGrid1->currentRow(); }

void TRestructForm::SelectRow(int Row)
{
    if (Row >= 0 && Row < StringGrid1->rowCount())
        StringGrid1->selectRow(Row);
}

void TRestructForm::showEvent(QShowEvent *Event)
{
    QDialog::showEvent(Event);
    if (List.FCreateMode == 1)
        FreeFieldDefs();
    else
        BuildFieldDefs();
    FillFieldGrid();
    StringGrid1->setFocus();
    SelectRow(0);
}

void TRestructForm::done(int Result)
{
    FreeFieldDefs();
    StringGrid1->setRowCount(0);
    QDialog::done(Result);
}

void TRestructForm::BuildFieldDefs()
{
    // The grid's widths as they are now; the field records learn them only when the table closes.
    if (FWorkspace.GetColumnWidth && FWorkspace.SqlQueryMode == 0)
        for (size_t i = 0; i < FWorkspace.FieldInfo.size(); ++i)
            if (const int Width = FWorkspace.GetColumnWidth(int(i)); Width > 0)
                FWorkspace.FieldInfo[i].GridWidth = Width;
    List.BuildFieldDefs(FWorkspace.ADOQuery1(), FWorkspace.FieldInfo);
}

void TRestructForm::FillFieldGrid()
{
    const int Current = SelectedRow();
    StringGrid1->setRowCount(int(List.FFieldDefs.size()));
    for (int Row = 0; Row < StringGrid1->rowCount(); ++Row) {
        const QStringList Texts = List.RowTexts(Row);
        for (int Column = 0; Column < 3; ++Column) {
            QTableWidgetItem *Item = StringGrid1->item(Row, Column);
            if (!Item)
                StringGrid1->setItem(Row, Column, Item = new QTableWidgetItem);
            Item->setText(Texts[Column]);
        }
    }
    SelectRow(std::min(Current, StringGrid1->rowCount() - 1));
}

void TRestructForm::ApplyEdit()
{
    List.ApplyEdit(SelectedRow(), EditForm->Edit1->text(), EditForm->ComboBox1->currentIndex(),
                   EditForm->Edit2->text());
}

void TRestructForm::Button1Click()
{
    const int Row = List.Add();
    StringGrid1->setRowCount(Row + 1);
    for (int Column = 0; Column < 3; ++Column)
        StringGrid1->setItem(Row, Column, new QTableWidgetItem);
    SelectRow(Row);
    EditForm->setWindowTitle(QStringLiteral("Add field"));
    EditForm->FAddMode = 1;
    EditForm->FIndex = Row;
    if (EditForm->exec() == QDialog::Accepted) {
        ApplyEdit();
        FillFieldGrid();
        StringGrid1->setFocus();
    } else {
        Button4Click(); // the new row goes again
    }
}

void TRestructForm::Button2Click()
{
    const int Row = SelectedRow();
    if (Row < 0 || Row >= int(List.FFieldDefs.size())) {
        Button1Click();
        return;
    }
    EditForm->setWindowTitle(QStringLiteral("Edit field"));
    EditForm->FAddMode = 0;
    EditForm->FIndex = Row;
    if (EditForm->exec() == QDialog::Accepted) {
        ApplyEdit();
        FillFieldGrid();
        StringGrid1->setFocus();
    }
}

void TRestructForm::Button4Click()
{
    List.Delete(SelectedRow());
    StringGrid1->setFocus();
    FillFieldGrid();
}

void TRestructForm::SpeedButton1Click()
{
    const int Row = SelectedRow();
    if (List.MoveUp(Row)) {
        SelectRow(Row - 1);
        FillFieldGrid();
    }
}

void TRestructForm::SpeedButton2Click()
{
    const int Row = SelectedRow();
    if (List.MoveDown(Row)) {
        SelectRow(Row + 1);
        FillFieldGrid();
    }
}

void TRestructForm::Button3Click()
{
    if (List.FFieldDefs.empty()) {
        ErrorBox(this, QStringLiteral("Though one field is required"));
        return;
    }
    QFileDialog SaveDialog1(this, QStringLiteral("Save Database As"), FWorkspace.DataBaseDir,
                            QStringLiteral("DBase files (*.dbf)"));
    SaveDialog1.setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1.setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1.setFileMode(QFileDialog::AnyFile);
    // A name typed without extension is the ".dbf" file, and its overwrite question names it.
    SaveDialog1.setDefaultSuffix(QStringLiteral("dbf"));
    if (SaveDialog1.exec() != QDialog::Accepted || SaveDialog1.selectedFiles().isEmpty()) {
        StringGrid1->setFocus();
        return;
    }
    const QString FileName = SaveDialog1.selectedFiles().constFirst();
    try {
        if (Flow.SaveAs(FileName, List.FFieldDefs, List.FCreateMode == 1)) {
            if (!Flow.Warning.isEmpty())
                QMessageBox::warning(this, QStringLiteral("Quillfast"), Flow.Warning);
            if (FWorkspace.Active()) {
                FreeFieldDefs();
                BuildFieldDefs();
                FillFieldGrid();
            }
        }
    } catch (const EDatabaseError &Error) {
        ErrorBox(this, Error.Message());
    }
    StringGrid1->setFocus();
}

} // namespace qf::tables
