// The main window's calculated fields, filter page and record variables. The window owns the
// project store, the expression engine and the objects over them; each handler hands the work to
// the calculated-field page or the record variables, and the window shows their messages.

#include "expr/adcalc.h"
#include "shell/addwordform.h"
#include "shell/mainform.h"
#include "tables/calc/calcfields.h"
#include "tables/calc/recordvars.h"
#include "tables/ui/calcfieldpage.h"
#include "tables/ui/filterpage.h"
#include "tables/workspace.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTabWidget>

namespace qf::shell {

using namespace qf::tables;

void TMainForm::CreateCalcObjects()
{
    SetupProjectStore(DList1);
    AdCalc1 = std::make_unique<expr::TAdCalc>();
    // The window's engine: apostrophes quote strings, double quotes start comments.
    AdCalc1->SetStringSign(expr::ssApostrophe);
    AdCalc1->SetCommentSign(expr::csQMark);
    CalcFields = std::make_unique<TCalcFields>(DList1, Reader1);
    RecordVariables = std::make_unique<TRecordVariables>(*AdCalc1, *CalcFields);
}

void TMainForm::BindRecordVariables()
{
    TRecordVariables &V = *RecordVariables;
    TADOQuery &Query = Workspace->ADOQuery1();
    V.MainDataSet = &Query;
    V.AttachFilter(Query);
    // The filter is compiled before the dataset opens and removed after it closes, around the
    // workspace's own steps.
    Query.BeforeOpen = [this](TADOQuery &) {
        ADOQuery1BeforeOpen();
        Workspace->ADOQuery1BeforeOpen();
    };
    Query.AfterClose = [this](TADOQuery &) {
        Workspace->ADOQuery1AfterClose();
        ADOQuery1AfterClose();
    };
    // These come while a table opens under the hourglass: the arrow is back while the box is up.
    V.ShowError = [this](const QString &Text) {
        QApplication::setOverrideCursor(Qt::ArrowCursor);
        QMessageBox::critical(this, QStringLiteral("Error"), Text);
        QApplication::restoreOverrideCursor();
    };
    V.AskYesNo = [this](const QString &Text) {
        QApplication::setOverrideCursor(Qt::ArrowCursor);
        const bool Yes =
            QMessageBox::critical(this, QStringLiteral("Error"), Text,
                                  QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
        QApplication::restoreOverrideCursor();
        return Yes;
    };
    V.OnFilterError = [this](int Place) {
        PageControl1->setCurrentWidget(TabSheet9);
        FilterPage->ShowErrorPlace(Place);
    };

    CalcFieldPage->AskName = [this](const QString &Caption, QString &Text) {
        if (!AddWordForm)
            return false;
        AddWordForm->setWindowTitle(Caption);
        AddWordForm->Edit1->clear();
        AddWordForm->Edit1->setFocus();
        if (AddWordForm->exec() != QDialog::Accepted)
            return false;
        Text = AddWordForm->Edit1->text();
        return true;
    };
    CalcFieldPage->ShowError = [this](const QString &Text) {
        QMessageBox::critical(this, QStringLiteral("Error"), Text);
    };
    CalcFieldPage->ShowInfo = [this](const QString &Text) {
        QMessageBox::information(this, QStringLiteral("Information"), Text);
    };
    CalcFieldPage->OnModified = [this] { FModified = true; };
    CalcFieldPage->OnEditCommands = [this] { UpdateEditCommands(); };
    FilterPage->OnModified = [this] { FModified = true; };
}

void TMainForm::ADOQuery1BeforeOpen() { RecordVariables->CompileFilter(FilterPage->FilterText()); }

void TMainForm::ADOQuery1AfterClose() { RecordVariables->RemoveFilter(); }

void TMainForm::RefreshCalcFieldList() { CalcFieldPage->RefreshCalcFieldList(); }
void TMainForm::UpdateCalcFieldControls() { CalcFieldPage->UpdateCalcFieldControls(); }
void TMainForm::Button8Click() { CalcFieldPage->Button8Click(); }
void TMainForm::Button14Click() { CalcFieldPage->Button14Click(); }
void TMainForm::ListBox1Click() { CalcFieldPage->ListBox1Click(); }
void TMainForm::Memo2Exit() { CalcFieldPage->Memo2Exit(); }

void TMainForm::TabSheet7Show()
{
    UpdateCalcFieldControls();
    UpdateControls();
}

} // namespace qf::shell
