#include "tables/ui/sqlform.h"

#include "tables/data/tablesource.h"
#include "tables/sqlstatement.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>
#include <QVBoxLayout>

namespace qf::tables {

namespace {
void Centre(QWidget *W)
{
    if (const QScreen *S = QGuiApplication::primaryScreen())
        W->move(S->availableGeometry().center() - W->rect().center());
}
} // namespace

TSeldirForm::TSeldirForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("SeldirForm"));
    setWindowTitle(QStringLiteral("Select Folder"));
    auto *L = new QVBoxLayout(this);
    DirectoryListBox1 = new QTreeView(this);
    DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
    FModel = new QFileSystemModel(this);
    FModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    FModel->setRootPath(QDir::rootPath());
    DirectoryListBox1->setModel(FModel);
    for (int c = 1; c < FModel->columnCount(); ++c)
        DirectoryListBox1->hideColumn(c);
    DirectoryListBox1->header()->hide();
    DriveComboBox1 = new QComboBox(this);
    for (const QFileInfo &Drive : QDir::drives())
        DriveComboBox1->addItem(Drive.absoluteFilePath());
    connect(DriveComboBox1, &QComboBox::currentTextChanged, this,
            [this](const QString &Drive) { SetDirectory(Drive); });
    L->addWidget(DirectoryListBox1, 1);
    L->addWidget(DriveComboBox1);
    auto *B = new QHBoxLayout;
    B->addStretch(1);
    OkButton = new QPushButton(QStringLiteral("Ok"), this);
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    B->addWidget(OkButton);
    B->addWidget(CancelButton);
    L->addLayout(B);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    SetDirectory(QDir::homePath());
    resize(360, 400);
    Centre(this);
}

QString TSeldirForm::Directory() const
{
    return FModel->filePath(DirectoryListBox1->currentIndex());
}

void TSeldirForm::SetDirectory(const QString &Folder)
{
    const QModelIndex Index = FModel->index(Folder);
    if (!Index.isValid())
        return;
    DirectoryListBox1->setCurrentIndex(Index);
    DirectoryListBox1->scrollTo(Index);
}

TSQLForm::TSQLForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("SQLForm"));
    setWindowTitle(QStringLiteral("Execute SQL"));
    resize(520, 360);
    auto *L = new QVBoxLayout(this);

    Panel1 = new QWidget(this);
    Panel1->setMinimumHeight(72);
    Label1 = new QLabel(QStringLiteral("Database"), Panel1);
    Label1->move(8, 0);
    ComboBox1 = new QComboBox(Panel1);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems(
        {QStringLiteral("Microsoft Access Database"), QStringLiteral("DBase Directory")});
    ComboBox1->setGeometry(8, 18, 170, 24);
    Edit1 = new QLineEdit(Panel1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(8, 46, 200, 24);
    BrowseButton = new QPushButton(QStringLiteral("Browse"), Panel1);
    BrowseButton->setObjectName(QStringLiteral("BrowseButton"));
    BrowseButton->setAutoDefault(false);
    BrowseButton->resize(75, 24);
    L->addWidget(Panel1);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    L->addWidget(Memo1, 1);

    auto *B = new QHBoxLayout;
    auto Button = [&](const char *Name, const QString &Text) {
        auto *P = new QPushButton(Text, this);
        P->setObjectName(QString::fromLatin1(Name));
        P->setAutoDefault(false);
        B->addWidget(P);
        return P;
    };
    ExecuteButton = Button("ExecuteButton", QStringLiteral("Execute"));
    ExecuteButton->setDefault(true);
    CancelButton = Button("CancelButton", QStringLiteral("Cancel"));
    B->addStretch(1);
    LoadButton = Button("LoadButton", QStringLiteral("Load..."));
    SaveButton = Button("SaveButton", QStringLiteral("Save As.."));
    L->addLayout(B);

    connect(ExecuteButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(LoadButton, &QPushButton::clicked, this, &TSQLForm::Button1Click);
    connect(SaveButton, &QPushButton::clicked, this, &TSQLForm::Button2Click);
    connect(BrowseButton, &QPushButton::clicked, this, &TSQLForm::Button3Click);
}

void TSQLForm::Fail(const QString &Message)
{
    if (OnError)
        OnError(Message);
    else
        QMessageBox::critical(this, windowTitle(), Message);
}

void TSQLForm::showEvent(QShowEvent *Event)
{
    QDialog::showEvent(Event);
    FormShow();
}

void TSQLForm::FormShow()
{
    Edit1->setText(SQLDataBase);
    ComboBox1->setCurrentIndex(SqlDatabaseKindOf(SQLDataBase));
    Centre(this);
    FormResize();
    Memo1->setFocus();
}

void TSQLForm::resizeEvent(QResizeEvent *Event)
{
    QDialog::resizeEvent(Event);
    FormResize();
}

void TSQLForm::FormResize()
{
    int Width = Panel1->width() - 2 * ComboBox1->x();
    if (Width < 171)
        Width = 170;
    ComboBox1->resize(Width, ComboBox1->height());
    Edit1->resize(ComboBox1->width() - Edit1->x() - BrowseButton->width(), Edit1->height());
    BrowseButton->move(Edit1->width() + 2 * Edit1->x(), Edit1->y());
}

void TSQLForm::ChangeFileDir(const QString &FileName)
{
    SQLFileDir = QFileInfo(FileName).absolutePath() + QLatin1Char('/');
    if (OnSQLFileDirChanged)
        OnSQLFileDirChanged(SQLFileDir);
}

void TSQLForm::Button1Click()
{
    QFileDialog Dialog(this, QStringLiteral("Open Query"), SQLFileDir,
                       QStringLiteral("SQL Files (*.sql);;All Files (*)"));
    Dialog.setObjectName(QStringLiteral("OpenDialog1"));
    Dialog.setAcceptMode(QFileDialog::AcceptOpen);
    Dialog.setFileMode(QFileDialog::ExistingFile);
    if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
        return;
    const QString FileName = Dialog.selectedFiles().constFirst();
    ChangeFileDir(FileName);
    try {
        Memo1->setPlainText(ReadSqlFile(FileName));
    } catch (const EDatabaseError &E) {
        Fail(E.Message());
    }
    Memo1->setFocus();
}

void TSQLForm::Button2Click()
{
    QFileDialog Dialog(this, QStringLiteral("Save Query As"), SQLFileDir,
                       QStringLiteral("SQL Files (*.sql)"));
    Dialog.setObjectName(QStringLiteral("SaveDialog1"));
    Dialog.setAcceptMode(QFileDialog::AcceptSave);
    Dialog.setFileMode(QFileDialog::AnyFile);
    if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
        return;
    const QString FileName = SqlFileName(Dialog.selectedFiles().constFirst());
    ChangeFileDir(FileName);
    try {
        WriteSqlFile(FileName, Memo1->toPlainText());
    } catch (const EDatabaseError &E) {
        Fail(E.Message());
    }
    Memo1->setFocus();
}

void TSQLForm::Button3Click()
{
    if (ComboBox1->currentIndex() == sdDbase) {
        if (!SeldirForm) // made on first use: its folder model watches the file system
            SeldirForm = new TSeldirForm(this);
        if (SeldirForm->exec() == QDialog::Accepted)
            Edit1->setText(SeldirForm->Directory());
        return;
    }
    QFileDialog Dialog(this, QStringLiteral("Select Database"), QFileInfo(Edit1->text()).path(),
                       QStringLiteral("Microsoft Access Files (*.mdb)"));
    Dialog.setObjectName(QStringLiteral("OpenDialog2"));
    Dialog.setFileMode(QFileDialog::ExistingFile);
    if (Dialog.exec() == QDialog::Accepted && !Dialog.selectedFiles().isEmpty())
        Edit1->setText(Dialog.selectedFiles().constFirst());
}

} // namespace qf::tables
