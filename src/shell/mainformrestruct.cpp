// The main window's restructure commands: File > "Restructure/Save As DBF..." and "Create DBF..."
// show the restructure dialog in its two modes; the dialog and the workspace do the work.

#include "shell/globals.h"
#include "shell/mainform.h"
#include "tables/calc/recordvars.h"
#include "tables/ui/filterpage.h"
#include "tables/ui/restructform.h"
#include "tables/workspace.h"

#include <QAction>

namespace qf::shell {

using namespace qf::tables;

void TMainForm::CreateRestructForm()
{
    RestructForm = new TRestructForm(*Workspace, this);
    // The copy's record filter: the filter page's current text, compiled for the copy's own
    // records under the copy's handle and removed when the copy ends.
    RestructForm->Flow.Copy.OnPrepareFilter = [this](TADOQuery &Records) {
        RecordVariables->CompileFilter(FilterPage->FilterText(), hCopyFilter);
        RecordVariables->AttachFilter(Records, hCopyFilter);
    };
    RestructForm->Flow.Copy.OnRemoveFilter = [this] { RecordVariables->RemoveFilter(hCopyFilter); };
    connect(Restructure0, &QAction::triggered, this, &TMainForm::Restructure0Click);
    connect(CreateDBF0, &QAction::triggered, this, &TMainForm::NewDatabase1Click);
    // The tool bar's "Create DBF" is the same action as the menu's.
    CreateDBF0->setEnabled(true);
}

void TMainForm::Restructure0Click()
{
    RestructForm->Execute(QStringLiteral("Restructure/Save As DBF"), 0);
    UpdateTableCommands();
}

void TMainForm::NewDatabase1Click()
{
    RestructForm->Execute(QStringLiteral("Create DBF"), 1);
    UpdateTableCommands();
}

void TMainForm::SpeedItem23Click() { NewDatabase1Click(); }

} // namespace qf::shell
