// The main window's mail project commands: New, Open, Save and Save As with the "Save Project?"
// question, the message settings between the controls and the project store, the merge of one
// record, the attachment page, the charset dialog and the files named on the command line. Each
// handler hands the work to the composer's classes; the window only binds its controls.

#include "composer/attachments.h"
#include "composer/mailviews.h"
#include "composer/merge.h"
#include "composer/preview.h"
#include "composer/project.h"
#include "composer/ui/attachpage.h"
#include "composer/ui/charsetform.h"
#include "delivery/charsets.h"
#include "expr/adcalc.h"
#include "shell/globals.h"
#include "shell/mainform.h"
#include "shell/settings.h"
#include "tables/calc/recordvars.h"
#include "tables/data/dataset.h"
#include "tables/workspace.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWebEngineView>

namespace qf::shell {

using composer::TMessageSettings;

namespace {

// The dataset whose fields the merge and the To box read.
tables::TADOQuery *MainDataSet(TMainForm &F)
{
    return F.Workspace ? &F.Workspace->ADOQuery1() : nullptr;
}

// The editors hold line feeds; the project keeps the CR LF line breaks its texts are written with.
QString WithCrLf(const QPlainTextEdit *Editor)
{
    QString Text = Editor->toPlainText();
    Text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return Text;
}

} // namespace

void TMainForm::CreateProject()
{
    Project = std::make_unique<composer::TMailProject>(DList1, FModified);
    Attachments = std::make_unique<composer::TAttachments>(DList1);
    Merge = std::make_unique<composer::TMailMerge>(DList1, Reader1, *AdCalc1);
    // The merge shares the record variables' evaluation state and points them at the main table.
    Merge->FEvalStack = &RecordVariables->FEvalStack;
    Merge->FCalcError = &RecordVariables->FCalcError;
    Merge->FInFilter = &RecordVariables->FInFilter;
    Merge->OnPointAtDataSet = [this](tables::TADOQuery *DataSet) {
        RecordVariables->CurrentDataSet = DataSet;
    };
    Merge->OnCalcException = [this](const QString &Name, const QString &Message) {
        QMessageBox::critical(this, QStringLiteral("Quillfast"),
                              QStringLiteral("Error in expression of Calculated Field \"%1\":\n%2")
                                  .arg(Name, Message));
    };
    // The To box follows the table: its text and memo fields once it opens, empty once it closes.
    for (std::function<void()> *Hook : {&Workspace->OnOpening, &Workspace->OnClosed})
        *Hook = [this, Then = std::move(*Hook)] {
            if (Then)
                Then();
            FillToAddressList();
        };

    auto *L = new QVBoxLayout(TabSheet6);
    L->setContentsMargins(0, 0, 0, 0);
    AttachPage = new composer::TAttachPage(*Attachments, TabSheet6);
    AttachPage->OnModified = [this] { Project->FModified = true; };
    L->addWidget(AttachPage);
    CharSetForm = new composer::TCharSetForm(this);

    composer::TMailProject &P = *Project;
    P.GetMessageSettings = [this] {
        TMessageSettings S;
        S.FText = WithCrLf(Memo1);
        S.UseF = UseFilter->isChecked();
        S.Doc = WithCrLf(RxRichEdit1);
        S.From = ComboBox4->currentIndex() >= 0 ? ComboBox4->currentText() : FFromProfile;
        S.SubMail = Views->FMailFormat;
        S.Subject = Edit2->text();
        S.ToAddr = FToAddr;
        S.Plain = WithCrLf(RxRichEdit2);
        S.Charset = Project->CharsetIndex;
        return S;
    };
    P.ApplyMessageSettings = [this](const TMessageSettings &S) {
        Memo1->setPlainText(S.FText);
        UseFilter->setChecked(S.UseF);
        RxRichEdit1->setPlainText(S.Doc);
        FFromProfile = S.From;
        ComboBox4->setCurrentIndex(ComboBox4->findText(S.From, Qt::MatchExactly));
        SetMailFormat(S.SubMail);
        Edit2->setText(S.Subject);
        FToAddr = S.ToAddr;
        RxRichEdit2->setPlainText(S.Plain);
        // The command of the loaded format runs again: HTML for 4, else plain text.
        if (S.SubMail == composer::TMailViews::HtmlFormat)
            Html0Click();
        else
            PlainText0Click();
        FillToAddressList();
    };
    P.ReadDefaultCharset = [] {
        TOptionValues V;
        return ReadOptionValues(V) ? V.DefaultCharset : composer::DefaultCharsetIndex;
    };
    P.SourceText = [this] { return RxRichEdit1->toPlainText(); };
    P.PlainText = [this] { return RxRichEdit2->toPlainText(); };
    P.RefillLists = [this] {
        RefreshCalcFieldList();
        if (CalcFieldList->count() > 0) {
            CalcFieldList->setCurrentRow(0);
            ListBox1Click();
        }
        RefreshAttachList();
        if (AttachPage->ListBox3->count() > 0)
            AttachPage->ListBox3->setCurrentRow(0);
        UpdateAttachControls();
    };
    // The expression being edited and the HTML editor's pending changes are stored before the
    // file is written.
    P.BeforeSave = [this] {
        Memo2Exit();
        Views->CarryEditorChanges();
    };
    P.AfterLoad = [this] { AssignHTML(); };
    P.EditorDocument = [this](QString &Html) {
        if (!DomWork->Ready)
            return false;
        Html = DomWork->DocumentHTML();
        return true;
    };
    // The first display change of the HTML editor after a reset takes the document's hash.
    connect(DomWork, &composer::TDomWork::DisplayChanged, this, [this] {
        if (Project->FDocChecksum.isEmpty() && DomWork->Ready)
            Project->TakeDocChecksum(DomWork->DocumentHTML());
    });
    // The preview merges the current record and names the charset.
    Preview->ExpandPlaceholders = [this](const QString &Text) { return ExpandPlaceholders(Text); };
    Preview->EvaluateName = [this](const QString &Name, QString &Value) {
        return EvaluateName(Name, Value);
    };
    Preview->CharsetName = [this] {
        return QString::fromLatin1(delivery::CharsetTable[size_t(Project->CharsetIndex)].MimeName);
    };
    P.AskSaveProject = [this] {
        QMessageBox Box(QMessageBox::Question, QStringLiteral("Confirm"),
                        QStringLiteral("Save Project?"),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
        Box.setObjectName(QStringLiteral("SaveProjectQuestion"));
        switch (Box.exec()) {
        case QMessageBox::Yes: return composer::saYes;
        case QMessageBox::No: return composer::saNo;
        default: return composer::saCancel;
        }
    };
    P.ChooseOpenFile = [this](QString &FileName) {
        QFileDialog Dialog(this, QStringLiteral("Open Project"), MailDir,
                           QStringLiteral("Quillfast Files (*.qfx);;All Files (*)"));
        Dialog.setObjectName(QStringLiteral("OpenDialog2"));
        Dialog.setOption(QFileDialog::DontUseNativeDialog);
        Dialog.setFileMode(QFileDialog::ExistingFile);
        if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
            return false;
        FileName = Dialog.selectedFiles().constFirst();
        return true;
    };
    P.ChooseSaveFile = [this](QString &FileName) {
        QFileDialog Dialog(this, QStringLiteral("Save Project As"), MailDir,
                           QStringLiteral("Quillfast Files (*.qfx)"));
        Dialog.setObjectName(QStringLiteral("SaveDialog1"));
        Dialog.setOption(QFileDialog::DontUseNativeDialog);
        Dialog.setAcceptMode(QFileDialog::AcceptSave);
        if (!FileName.isEmpty())
            Dialog.selectFile(FileName);
        if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
            return false;
        FileName = Dialog.selectedFiles().constFirst();
        return true;
    };
    P.OnMailDirChanged = [](const QString &Dir) {
        MailDir = Dir;
        SaveMailDir();
    };
    P.OnCaptionChanged = [this] {
        ProjectFileName = Project->ProjectFileName;
        UpdateCaption();
    };
    P.OnError = [this](const QString &Message) {
        QMessageBox::critical(this, QStringLiteral("Quillfast"), Message);
    };

    // What the user changes in the message settings changes the project.
    auto Modified = [this] { Project->FModified = true; };
    connect(Edit2, &QLineEdit::textEdited, this, Modified);
    connect(ComboBox4, &QComboBox::activated, this, Modified);
    connect(ComboBox2, &QComboBox::activated, this, [this] {
        Project->FModified = true;
        FToAddr = ComboBox2->currentText();
    });
    connect(PageControl2, &QTabWidget::currentChanged, this, [this] {
        if (PageControl2->currentWidget() == TabSheet6) {
            UpdateAttachControls();
            AttachPage->ListBox3->setFocus();
        }
    });

    const std::pair<QAction *, void (TMainForm::*)()> Commands[] = {
        // The tool bars' New, Open and Save Project are places of these same actions.
        {NewProject0, &TMainForm::NewProject0Click},
        {OpenProject0, &TMainForm::OpenProject0Click},
        {SaveProject0, &TMainForm::SaveProject0Click},
        {SaveProjectAs0, &TMainForm::SaveProjectAs0Click},
        {Encoding0, &TMainForm::Encoding0Click},
    };
    for (const auto &[Action, Handler] : Commands) {
        Action->setEnabled(true);
        connect(Action, &QAction::triggered, this, Handler);
    }
}

void TMainForm::NewProject0Click() { Project->NewProject(); }
void TMainForm::OpenProject0Click() { Project->OpenProject(); }
void TMainForm::SaveProject0Click() { Project->SaveProject(); }
void TMainForm::SaveProjectAs0Click() { Project->SaveProjectAs(); }
void TMainForm::OpenMailFile(const QString &FileName) { Project->OpenMailFile(FileName); }
void TMainForm::StoreMessageSettings() { Project->StoreMessageSettings(); }
void TMainForm::LoadMessageSettings() { Project->LoadMessageSettings(); }
void TMainForm::ResetModified() { Project->ResetModified(); }
bool TMainForm::IsModified() { return Project->IsModified(); }
void TMainForm::RefreshAttachList() { AttachPage->RefreshAttachList(); }
void TMainForm::UpdateAttachControls() { AttachPage->UpdateAttachControls(); }

bool TMainForm::EvaluateName(const QString &Name, QString &Value)
{
    Merge->ADOQuery1 = MainDataSet(*this);
    return Merge->EvaluateName(Name, Value);
}

QString TMainForm::ExpandPlaceholders(const QString &Text)
{
    Merge->ADOQuery1 = MainDataSet(*this);
    return Merge->ExpandPlaceholders(Text);
}

void TMainForm::Encoding0Click()
{
    int Index = Project->CharsetIndex;
    if (!CharSetForm->Execute(Index))
        return;
    Project->FModified = true;
    Project->CharsetIndex = Index;
    if (PageControl1->currentWidget() == TabSheet2 && PageControl2->currentWidget() == TabSheet5) {
        Preview->FPreviewDirty = true;
        BuildPreview();
    }
}

void TMainForm::FillToAddressList()
{
    ComboBox2->clear();
    tables::TADOQuery *DataSet = MainDataSet(*this);
    if (DataSet && DataSet->Active())
        for (int I = 0; I < DataSet->FieldCount(); ++I) {
            const tables::TField &Field = DataSet->Fields(I);
            const tables::TDbfType Kind = tables::MapFieldTypeToDbf(Field.DataType());
            if (Kind == tables::dtC || Kind == tables::dtM)
                ComboBox2->addItem(Field.FieldName());
        }
    ComboBox2->setCurrentIndex(
        ComboBox2->findText(FToAddr, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

bool TMainForm::CheckAttachments()
{
    const QString Message = composer::TAttachments::CheckFiles(Attachments->Lines());
    if (Message.isEmpty())
        return true;
    QMessageBox::critical(this, QStringLiteral("Quillfast"), Message);
    return false;
}

void TMainForm::OpenCommandLine(const QStringList &Arguments)
{
    const composer::TCommandLine Files = composer::ParseCommandLine(Arguments);
    if (!Files.Project.isEmpty())
        Project->OpenCommandLineProject(Files.Project);
    OpenCommandLineTables(Arguments);
}

} // namespace qf::shell
