// The main window's table commands: opening and closing tables and the grid's sort. Each handler
// hands the work to the table workspace; the window only shows what the workspace reports.

#include "shell/globals.h"
#include "shell/mainform.h"
#include "shell/settings.h"
#include "tables/ui/recordgrid.h"
#include "tables/ui/seltabform.h"
#include "tables/workspace.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>

namespace qf::shell {

using namespace qf::tables;

void TMainForm::CreateWorkspace()
{
    Workspace = std::make_unique<TTableWorkspace>();
    TTableWorkspace &W = *Workspace;
    Grid = new tables::TRecordGrid(W, RxDBGrid1, this);
    Grid->BindWorkspace();
    SelTabForm = new tables::TSelTabForm(this);

    W.OnDataBaseDirChanged = [](const QString &Dir) {
        DataBaseDir = Dir;
        SaveDataBaseDir();
    };
    W.OnSelectTable = [this](const QStringList &Names, QString &Chosen) {
        return SelTabForm->Pick(Names, Chosen);
    };
    W.UseFilter = [this] { return UseFilter->isChecked(); };
    W.OnBusy = [](bool Busy) {
        if (Busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    };
    W.OnWarning = [this](const QString &Message) {
        QMessageBox::warning(this, QStringLiteral("Quillfast"), Message);
    };
    W.OnWriteError = [this](const QString &Message) {
        QMessageBox::warning(this, QStringLiteral("Quillfast"), Message);
    };
    W.OnOpening = [this] {
        RxDBGrid1->show();
        TableName = Workspace->TableName;
        SqlQueryMode = Workspace->SqlQueryMode;
        UpdateCaption();
    };
    W.OnOpened = [this] {
        if (PageControl1->currentWidget() == TabSheet1)
            RxDBGrid1->setFocus();
        if (PageControl1->currentWidget() == TabSheet2 &&
            PageControl2->currentWidget() == TabSheet5)
            PreviewRecordChanged();
    };
    W.OnClosed = [this] {
        RxDBGrid1->hide();
        TableName.clear();
        SqlQueryMode = 0;
        FSortField.clear();
        FSorted = 0;
        Descend0->setChecked(false);
        StatusBar2->clearMessage();
        UpdateCaption();
        UpdateTableCommands();
        if (PageControl1->currentWidget() == TabSheet2 &&
            PageControl2->currentWidget() == TabSheet5)
            PreviewRecordChanged();
    };
    W.OnSortChanged = [this] {
        FSortField = Workspace->FSortField;
        FSorted = Workspace->FSorted;
        Descend0->setChecked(Workspace->Descended);
        RxDBGrid1->viewport()->update();
    };
    W.OnRefreshCommands = [this] { UpdateTableCommands(); };
    Grid->OnError = [this](const QString &Message) {
        QMessageBox::critical(this, QStringLiteral("Quillfast"), Message);
    };

    connect(Grid, &tables::TRecordGrid::TitleClicked, this, &TMainForm::RxDBGrid1TitleBtnClick);
    const std::pair<QAction *, void (TMainForm::*)()> Commands[] = {
        // OpenDB5 and SpeedItem22 are the tool bar's places of these actions.
        {OpenTable0, &TMainForm::OpenDB0Click}, {CloseDB0, &TMainForm::CloseDB0Click},
        {Reopen0, &TMainForm::Reopen0Click},    {Descend0, &TMainForm::Descend0Click},
        {Unsort0, &TMainForm::Unsort0Click},
    };
    for (const auto &[Action, Handler] : Commands)
        connect(Action, &QAction::triggered, this, Handler);
    UpdateTableCommands();
}

void TMainForm::RunTableCommand(const std::function<void()> &Command)
{
    try {
        Command();
    } catch (const EDatabaseError &E) {
        QMessageBox::critical(this, QStringLiteral("Quillfast"), E.Message());
    }
    UpdateTableCommands();
}

void TMainForm::UpdateTableCommands()
{
    OpenTable0->setEnabled(true);
    UpdateControls();
}

void TMainForm::OpenDB0Click()
{
    QFileDialog Dialog(this, QStringLiteral("Open Database"), DataBaseDir,
                       QStringLiteral("Microsoft Access or DBase files (*.mdb *.dbf)"));
    Dialog.setObjectName(QStringLiteral("OpenDialog1"));
    Dialog.setFileMode(QFileDialog::ExistingFile);
    Dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
        return;
    const QString FileName = Dialog.selectedFiles().constFirst();
    if (FileName.isEmpty() || !Workspace->RecordCommands().SavePendingChanges())
        return;
    const QString Ext = QFileInfo(FileName).suffix().toLower();
    if (Ext == QLatin1String("mdb"))
        OpenAccessFile(FileName);
    else if (Ext == QLatin1String("dbf"))
        OpenDBFFile(FileName);
}

void TMainForm::OpenDBFFile(const QString &FileName)
{
    RunTableCommand([&] { Workspace->OpenDBFFile(FileName); });
}

void TMainForm::OpenAccessFile(const QString &FileName)
{
    RunTableCommand([&] { Workspace->OpenAccessFile(FileName); });
}

void TMainForm::OpenCommandLineTables(const QStringList &Arguments)
{
    QString Dbf, Mdb;
    for (const QString &Argument : Arguments) {
        const QString Ext = QFileInfo(Argument).suffix().toLower();
        if (Ext == QLatin1String("dbf") && Dbf.isEmpty())
            Dbf = Argument;
        else if (Ext == QLatin1String("mdb") && Mdb.isEmpty())
            Mdb = Argument;
    }
    if (!Mdb.isEmpty())
        OpenAccessFile(Mdb);
    else if (!Dbf.isEmpty())
        OpenDBFFile(Dbf);
}

void TMainForm::CloseDB0Click()
{
    if (!Workspace->RecordCommands().SavePendingChanges())
        return;
    RunTableCommand([&] { Workspace->Close(); });
}

void TMainForm::Reopen0Click()
{
    if (!Workspace->RecordCommands().SavePendingChanges())
        return;
    RunTableCommand([&] { Workspace->Reopen(); });
}

void TMainForm::RxDBGrid1TitleBtnClick(int Column)
{
    RunTableCommand([&] {
        if (!Workspace->TitleClick(Column))
            return;
        PageControl1->setCurrentWidget(TabSheet1);
    });
}

void TMainForm::Descend0Click()
{
    RunTableCommand([&] { Workspace->ToggleDescended(); });
}

void TMainForm::Unsort0Click()
{
    RunTableCommand([&] {
        Workspace->Unsort();
        PageControl1->setCurrentWidget(TabSheet1);
    });
}

} // namespace qf::shell
