// The main window's handlers of the record commands and of Execute SQL: each hands the work to
// the workspace's record commands or the SQL dialog and shows what comes back.

#include "shell/globals.h"
#include "shell/mainform.h"
#include "shell/optform.h"
#include "shell/settings.h"
#include "tables/recordcommands.h"
#include "tables/sqlstatement.h"
#include "tables/ui/editdb.h"
#include "tables/ui/recorddialogs.h"
#include "tables/ui/sqlform.h"
#include "tables/workspace.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>

namespace qf::shell {

using tables::EDatabaseError;

namespace {
// Enter and double click on the grid open the record editor; Ctrl+Delete never deletes there.
class TGridKeys : public QObject {
public:
    explicit TGridKeys(TMainForm *Form) : QObject(Form), FForm(Form) {}

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override
    {
        if (Event->type() != QEvent::KeyPress)
            return QObject::eventFilter(Watched, Event);
        const auto *Key = static_cast<QKeyEvent *>(Event);
        if (Key->key() == Qt::Key_Return || Key->key() == Qt::Key_Enter) {
            FForm->RxDBGrid1DblClick();
            return true;
        }
        if (Key->key() == Qt::Key_Delete && (Key->modifiers() & Qt::ControlModifier))
            return true;
        return QObject::eventFilter(Watched, Event);
    }

private:
    TMainForm *FForm;
};
} // namespace

void TMainForm::CreateRecordCommands()
{
    if (!Workspace)
        Workspace = std::make_unique<tables::TTableWorkspace>();
    tables::TRecordCommands &C = Workspace->RecordCommands();
    EditDB = new tables::TEditDB(*Workspace, this);
    DelForm = new tables::TDelForm(this);
    FindForm = new tables::TFindForm(this);
    SQLForm = new tables::TSQLForm(this);
    EditDB->OnDelete = [this] { DeleteCurrentRecord(); };

    C.ConfirmDel = [] { return OptForm && OptForm->CheckBox2->isChecked(); };
    C.AskDelete = [this] {
        DelForm->CheckBox1->setChecked(false);
        if (DelForm->exec() != QDialog::Accepted)
            return tables::TRecordCommands::daNo;
        return DelForm->CheckBox1->isChecked() ? tables::TRecordCommands::daYesDontAskAgain
                                               : tables::TRecordCommands::daYes;
    };
    C.TurnOffConfirmDel = [this] {
        if (OptForm)
            OptForm->CheckBox2->setChecked(false);
        TOptionValues Values;
        Values.ConfirmDel = false;
        if (!WriteOptionValues(Values, ofConfirmDel))
            QMessageBox::warning(
                this, QStringLiteral("Quillfast"),
                QStringLiteral("The settings file \"%1\" could not be written: the question before "
                               "deleting is off until Quillfast closes and comes back next time.")
                    .arg(TSettingsKey::FileName()));
    };
    C.OnError = [this](const QString &Message) { ShowTableError(Message); };
    C.OnEditorLayout = [this] { EditDB->LayOut(); };
    C.OnButtonsChanged = [this] {
        EditDB->UpdateEditRecordButtons();
        UpdateRecordCommands();
    };
    C.OnScroll = [this] { ADOQuery1AfterScroll(); };
    C.OnPosted = [this] { PageControl1->setCurrentWidget(TabSheet1); };
    C.AskDiscard = [this](const QString &Message) {
        return QMessageBox::warning(this, QStringLiteral("Quillfast"), Message,
                                    QMessageBox::Yes | QMessageBox::No,
                                    QMessageBox::No) == QMessageBox::Yes;
    };
    // The workspace's hooks belong to the table commands; the record commands follow them.
    auto Chain = [](std::function<void()> &Hook, std::function<void()> Then) {
        Hook = [First = Hook, Then] {
            if (First)
                First();
            Then();
        };
    };
    tables::TTableWorkspace &W = *Workspace;
    Chain(W.OnRefreshCommands, [this] { UpdateRecordCommands(); });
    Chain(W.OnSortChanged, [this] { UpdateRecordCommands(); });
    Chain(W.OnClosed, [this] {
        RecordPosition->clear();
        UpdateRecordCommands();
    });
    Chain(W.OnRelayout, [this] {
        EditDB->RefreshPickLists();
        EditDB->LayOut();
    });

    SQLForm->OnSQLFileDirChanged = [](const QString &Folder) {
        SQLFileDir = Folder;
        SaveSQLFileDir();
    };

    RxDBGrid1->installEventFilter(new TGridKeys(this));
    connect(RxDBGrid1, &QTableView::doubleClicked, this, [this] { RxDBGrid1DblClick(); });

    const std::pair<QAction *, void (TMainForm::*)()> Commands[] = {
        // AddRec5, EditRec5, DeleteRec5 and FindRec5 are the tool bar's places of these actions.
        {AddRec0, &TMainForm::AddRec0Click},       {EditRec0, &TMainForm::EditRec0Click},
        {DeleteRec0, &TMainForm::DeleteRec0Click}, {Find0, &TMainForm::Find0Click},
        {Unique0, &TMainForm::Unique0Click},       {ExecSQL0, &TMainForm::ExecSQL0Click},
    };
    for (const auto &[Action, Handler] : Commands)
        connect(Action, &QAction::triggered, this, Handler);
    ExecSQL0->setEnabled(true);
    UpdateRecordCommands();
}

void TMainForm::UpdateRecordCommands() { UpdateControls(); }

void TMainForm::NarrowRecordCommands()
{
    // The enabling rule has set the record commands; a table that cannot take them (an Access
    // table is read-only here, a record being edited) turns them off again. Edit stays: its
    // editor shows a read-only record and says why a change is refused.
    const tables::TRecordCommands &C = Workspace->RecordCommands();
    const bool Browsing = Workspace->ADOQuery1().State() == tables::dsBrowse;
    const std::pair<QAction *, bool> Can[] = {{AddRec0, Browsing && C.CanAdd()},
                                              {EditRec0, C.CanEdit()},
                                              {DeleteRec0, C.CanDelete()},
                                              {Find0, C.CanFind()},
                                              {Unique0, C.CanFindDuplicates()}};
    for (const auto &[Action, Possible] : Can)
        if (!Possible && Action->isEnabled())
            Action->setEnabled(false);
}

void TMainForm::ShowTableError(const QString &Message)
{
    QMessageBox::critical(this, QStringLiteral("Quillfast"), Message);
}

void TMainForm::AddRec0Click()
{
    if (Workspace->RecordCommands().AddRecord())
        EditDB->exec();
}

void TMainForm::EditRec0Click()
{
    if (!Workspace->RecordCommands().CanEdit())
        return;
    EditDB->UpdateEditRecordButtons();
    EditDB->exec();
}

void TMainForm::DeleteRec0Click() { DeleteCurrentRecord(); }

void TMainForm::DeleteCurrentRecord()
{
    Workspace->RecordCommands().DeleteCurrentRecord();
    EditDB->UpdateEditRecordButtons();
    PageControl1->setCurrentWidget(TabSheet1);
    UpdateRecordCommands();
}

void TMainForm::Find0Click()
{
    tables::TRecordCommands &C = Workspace->RecordCommands();
    if (!C.Active())
        return;
    FindForm->SetFieldNames(C.FindFieldNames());
    if (FindForm->FieldList->count() == 0 || FindForm->exec() != QDialog::Accepted)
        return;
    try {
        const auto Result = C.Find(FindForm->FieldList->currentText(), FindForm->Edit1->text(),
                                   FindForm->Including->isChecked());
        if (Result == tables::TRecordCommands::frNotFound)
            QMessageBox::information(this, QStringLiteral("Quillfast"), tables::kSearchNotFound);
    } catch (const EDatabaseError &E) {
        ShowTableError(E.Message());
    }
}

void TMainForm::Unique0Click()
{
    tables::TRecordCommands &C = Workspace->RecordCommands();
    if (!C.CanFindDuplicates())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool Found = false;
    try {
        Found = C.FindDuplicates();
    } catch (const EDatabaseError &E) {
        QApplication::restoreOverrideCursor();
        ShowTableError(E.Message());
        return;
    }
    QApplication::restoreOverrideCursor();
    if (PageControl1->currentWidget() == TabSheet1)
        RxDBGrid1->setFocus();
    if (!Found)
        QMessageBox::information(this, QStringLiteral("Quillfast"), tables::kReviewCompleted);
}

void TMainForm::ExecSQL0Click()
{
    SQLForm->SQLDataBase = SQLDataBase;
    SQLForm->SQLFileDir = SQLFileDir;
    if (SQLForm->exec() != QDialog::Accepted || !Workspace->RecordCommands().SavePendingChanges())
        return;
    SQLDataBase = SQLForm->Edit1->text();
    SaveSQLDataBase();
    PageControl1->setCurrentWidget(TabSheet1);
    const auto Kind = tables::TSqlDatabaseKind(SQLForm->ComboBox1->currentIndex());
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        tables::ExecuteSqlStatement(*Workspace, Kind, SQLDataBase, SQLForm->Memo1->toPlainText(),
                                    UseFilter->isChecked());
    } catch (const EDatabaseError &E) {
        QApplication::restoreOverrideCursor();
        ShowTableError(E.Message());
        UpdateRecordCommands();
        return;
    }
    QApplication::restoreOverrideCursor();
    UpdateRecordCommands();
}

void TMainForm::RxDBGrid1DblClick()
{
    if (!Workspace->ADOQuery1().Active())
        return;
    if (Workspace->ADOQuery1().IsEmpty())
        AddRec0Click();
    else
        EditRec0Click();
}

void TMainForm::ADOQuery1AfterScroll()
{
    const QString Text = Workspace->ADOQuery1().Active()
                             ? Workspace->RecordCommands().RecordPositionText()
                             : QString();
    RecordPosition->setText(Text);
    EditDB->StatusPanel->setText(Text);
    UpdateRecordCommands();
}

} // namespace qf::shell
