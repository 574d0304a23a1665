#include "shell/mainform.h"

#include "composer/attachments.h"
#include "composer/domwork.h"
#include "composer/mailviews.h"
#include "composer/merge.h"
#include "composer/preview.h"
#include "composer/project.h"
#include "composer/ui/editordialogs.h"

#include "shell/aboutbox.h"
#include "shell/fileutils.h"
#include "shell/framelogic.h"
#include "shell/globals.h"
#include "shell/resources.h"
#include "shell/hhcomp.h"
#include "shell/optform.h"
#include "shell/settings.h"
#include "expr/adcalc.h"
#include "tables/calcfields.h"
#include "tables/recordvars.h"
#include "tables/ui/calcfieldpage.h"
#include "tables/ui/editdb.h"
#include "tables/ui/filterpage.h"
#include "tables/ui/recordgrid.h"
#include "tables/workspace.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace qf::shell {

const char *const BlankDocument =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body></body></html>";

namespace {

QVBoxLayout *PageLayout(QWidget *Page)
{
    auto *L = new QVBoxLayout(Page);
    L->setContentsMargins(0, 0, 0, 0);
    L->setSpacing(0);
    return L;
}

QToolBar *NewBar(const char *Name, QWidget *Parent)
{
    auto *Bar = new QToolBar(Parent);
    Bar->setObjectName(QString::fromLatin1(Name));
    Bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    Bar->setMovable(false);
    return Bar;
}

QPlainTextEdit *NewEditor(const char *Name, QWidget *Parent, bool Fixed)
{
    auto *E = new QPlainTextEdit(Parent);
    E->setObjectName(QString::fromLatin1(Name));
    if (Fixed)
        E->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return E;
}

// A folder that the program may write: the per-user data folder.
QString WritableDefaultDir()
{
    const QString Dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(Dir);
    return Dir + QLatin1Char('/');
}

}  // namespace

void TPaintBox::paintEvent(QPaintEvent *)
{
    if (OnPaint)
        OnPaint(this);
}

TMainForm::TMainForm(QWidget *Parent) : QMainWindow(Parent)
{
    qf_InitResources();
    setObjectName(QStringLiteral("MainForm"));
    resize(685, 483);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setTabPosition(QTabWidget::South);
    setCentralWidget(PageControl1);

    CreateMenus();
    CreatePopupMenus();
    CreateDatabasePage();
    CreateFilterPage();
    CreateCalcPage();
    CreateMailPage();
    CreateWorkspace();
    BindRecordVariables();
    CreateRestructForm();
    CreateComposer();
    CreateProject();

    HHComp1 = new THHComp(this, QStringLiteral("help/index.html"));

    connect(PageControl1, &QTabWidget::currentChanged, this, &TMainForm::PageControl1Change);
    connect(PageControl2, &QTabWidget::currentChanged, this, &TMainForm::PageControl2Change);
    connect(WebBrowser1, &QWebEngineView::loadFinished, this, &TMainForm::WebBrowser1DocumentComplete);
    connect(WebBrowser1->page(), &QWebEnginePage::linkHovered, this,
            &TMainForm::WebBrowser1StatusTextChange);
    // The pages are sized only when shown, so the rule follows the panels themselves.
    Panel3->installEventFilter(this);
    Panel8->installEventFilter(this);

    FormCreate();
}

TMainForm::~TMainForm()
{
    delete EditDB;  // it watches the workspace's dataset, which goes before the child windows
    EditDB = nullptr;
    delete Grid;  // the grid reads the workspace until it goes
    Grid = nullptr;
    delete CalcFieldPage;  // the page writes to the calculated fields until it goes
    CalcFieldPage = nullptr;
    if (MainForm == this)
        MainForm = nullptr;
}

QAction *TMainForm::Item(QMenu *Menu, const char *Name, const QString &Caption,
                         const QKeySequence &Shortcut)
{
    QAction *A = Menu->addAction(Caption);
    A->setObjectName(QString::fromLatin1(Name));
    if (!Shortcut.isEmpty())
        A->setShortcut(Shortcut);
    A->setEnabled(false);  // enabled when its command is connected
    return A;
}

QAction *TMainForm::BarItem(QToolBar *Bar, const char *Name, const QString &Caption)
{
    QAction *A = Bar->addAction(Caption);
    A->setObjectName(QString::fromLatin1(Name));
    A->setEnabled(false);
    return A;
}

void TMainForm::CreateMenus()
{
    QMenuBar *Bar = menuBar();
    Bar->setObjectName(QStringLiteral("MainMenu1"));

    QMenu *M = Bar->addMenu(QStringLiteral("&File"));
    CreateDBF0 = Item(M, "CreateDBF0", QStringLiteral("Create DBF..."));
    NewProject0 = Item(M, "NewProject0", QStringLiteral("New Project"), QKeySequence(QStringLiteral("Ctrl+N")));
    M->addSeparator();
    OpenTable0 = Item(M, "OpenTable0", QStringLiteral("Open Table..."));
    ExecSQL0 = Item(M, "ExecSQL0", QStringLiteral("Execute SQL..."));
    OpenProject0 = Item(M, "OpenProject0", QStringLiteral("Open Project..."), QKeySequence(QStringLiteral("Ctrl+O")));
    M->addSeparator();
    Restructure0 = Item(M, "Restructure0", QStringLiteral("Restructure/Save As DBF..."));
    SaveProject0 = Item(M, "SaveProject0", QStringLiteral("Save Project"), QKeySequence(QStringLiteral("Ctrl+S")));
    SaveProjectAs0 = Item(M, "SaveProjectAs0", QStringLiteral("Save Project As..."));
    M->addSeparator();
    CloseDB0 = Item(M, "CloseDB0", QStringLiteral("Close Table"), QKeySequence(QStringLiteral("Ctrl+F4")));
    M->addSeparator();
    Profiles0 = Item(M, "Profiles0", QStringLiteral("Profiles..."));
    M->addSeparator();
    Exit0 = Item(M, "Exit0", QStringLiteral("Exit"));

    M = Bar->addMenu(QStringLiteral("&Table"));
    AddRec0 = Item(M, "AddRec0", QStringLiteral("Add Record..."));
    EditRec0 = Item(M, "EditRec0", QStringLiteral("Edit Record..."));
    DeleteRec0 = Item(M, "DeleteRec0", QStringLiteral("Delete Record"));
    M->addSeparator();
    Find0 = Item(M, "Find0", QStringLiteral("Find..."), QKeySequence(QStringLiteral("Ctrl+F")));
    Unique0 = Item(M, "Unique0", QStringLiteral("Find Duplicates"), QKeySequence(QStringLiteral("Ctrl+D")));
    M->addSeparator();
    Reopen0 = Item(M, "Reopen0", QStringLiteral("Reopen"));
    M->addSeparator();
    Descend0 = Item(M, "Descend0", QStringLiteral("Descended"));
    Descend0->setCheckable(true);
    Unsort0 = Item(M, "Unsort0", QStringLiteral("Unsort"));

    M = Bar->addMenu(QStringLiteral("&Edit"));
    Undo0 = Item(M, "Undo0", QStringLiteral("Undo"), QKeySequence(QStringLiteral("Ctrl+U")));
    Redo0 = Item(M, "Redo0", QStringLiteral("Redo"));
    M->addSeparator();
    Cut0 = Item(M, "Cut0", QStringLiteral("Cut"), QKeySequence(QStringLiteral("Ctrl+X")));
    Copy0 = Item(M, "Copy0", QStringLiteral("Copy"), QKeySequence(QStringLiteral("Ctrl+C")));
    Paste0 = Item(M, "Paste0", QStringLiteral("Paste"), QKeySequence(QStringLiteral("Ctrl+V")));
    M->addSeparator();
    SelectAll0 = Item(M, "SelectAll0", QStringLiteral("Select All"), QKeySequence(QStringLiteral("Ctrl+A")));
    M->addSeparator();
    Options1 = Item(M, "Options1", QStringLiteral("Options..."));

    M = Bar->addMenu(QStringLiteral("&View"));
    DBView0 = Item(M, "DBView0", QStringLiteral("Table"));
    Filter0 = Item(M, "Filter0", QStringLiteral("Filter"));
    CalcFieldsView0 = Item(M, "CalcFieldsView0", QStringLiteral("Calculated Fields"));
    QMenu *Mail = M->addMenu(QStringLiteral("Mail"));
    Mail->setObjectName(QStringLiteral("MailView0"));
    EditView0 = Item(Mail, "EditView0", QStringLiteral("Editor"));
    SourceView0 = Item(Mail, "SourceView0", QStringLiteral("Source"));
    Preview0 = Item(Mail, "Preview0", QStringLiteral("Preview"));
    AttachView0 = Item(Mail, "AttachView0", QStringLiteral("Attachments"));
    M->addSeparator();
    ViewLog0 = Item(M, "ViewLog0", QStringLiteral("Log"));

    M = Bar->addMenu(QStringLiteral("&Insert"));
    HorizontalLine0 = Item(M, "HorizontalLine0", QStringLiteral("Horizontal Line"));
    M->addSeparator();
    Image0 = Item(M, "Image0", QStringLiteral("Image..."));
    Hyperlink0 = Item(M, "Hyperlink0", QStringLiteral("Hyperlink..."), QKeySequence(QStringLiteral("Ctrl+K")));
    Table0 = Item(M, "Table0", QStringLiteral("Table..."));

    M = Bar->addMenu(QStringLiteral("F&ormat"));
    Font0 = Item(M, "Font0", QStringLiteral("Font..."));
    M->addSeparator();
    NumList0 = Item(M, "NumList0", QStringLiteral("Numbered List"));
    NumList0->setCheckable(true);
    BulList0 = Item(M, "BulList0", QStringLiteral("Bulleted List"));
    BulList0->setCheckable(true);
    M->addSeparator();
    Decindent0 = Item(M, "Decindent0", QStringLiteral("Decrease indent"));
    IncIndent0 = Item(M, "IncIndent0", QStringLiteral("Increase Indent"));

    M = Bar->addMenu(QStringLiteral("&Mailing"));
    Start0 = Item(M, "Start0", QStringLiteral("Start"));
    M->addSeparator();
    Html0 = Item(M, "Html0", QStringLiteral("HTML"));
    Html0->setCheckable(true);
    Html0->setChecked(true);
    PlainText0 = Item(M, "PlainText0", QStringLiteral("Plain Text"));
    PlainText0->setCheckable(true);
    M->addSeparator();
    Encoding0 = Item(M, "Encoding0", QStringLiteral("Encoding..."));

    M = Bar->addMenu(QStringLiteral("&Help"));
    Content0 = Item(M, "Content0", QStringLiteral("Help"), QKeySequence(Qt::Key_F1));
    M->addSeparator();
    About0 = Item(M, "About0", QStringLiteral("About..."));

    const std::pair<QAction *, void (TMainForm::*)()> Connected[] = {
        {Exit0, &TMainForm::Exit0Click},
        {Options1, &TMainForm::Options1Click},
        {DBView0, &TMainForm::DBView0Click},
        {Filter0, &TMainForm::Filter0Click},
        {CalcFieldsView0, &TMainForm::CalcFieldsView0Click},
        {EditView0, &TMainForm::EditView0Click},
        {SourceView0, &TMainForm::SourceView0Click},
        {Preview0, &TMainForm::Preview0Click},
        {AttachView0, &TMainForm::AttachView0Click},
        {Content0, &TMainForm::Content0Click},
        {About0, &TMainForm::About0Click},
        {Profiles0, &TMainForm::Profiles0Click},
        {ViewLog0, &TMainForm::ViewLog0Click},
    };
    for (const auto &[Action, Handler] : Connected) {
        Action->setEnabled(true);
        connect(Action, &QAction::triggered, this, Handler);
    }
    // Enabled with an open dataset that is not empty (command enabling).
    connect(Start0, &QAction::triggered, this, &TMainForm::Start0Click);
}

void TMainForm::CreatePopupMenus()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Undo1 = Item(PopupMenu1, "Undo1", QStringLiteral("Undo"));
    PopupMenu1->addSeparator();
    Cut1 = Item(PopupMenu1, "Cut1", QStringLiteral("Cut"));
    Copy1 = Item(PopupMenu1, "Copy1", QStringLiteral("Copy"));
    Paste1 = Item(PopupMenu1, "Paste1", QStringLiteral("Paste"));
    PopupMenu1->addSeparator();
    SelAll1 = Item(PopupMenu1, "SelAll1", QStringLiteral("Select All"));
    PopupMenu1->addSeparator();
    Font1 = Item(PopupMenu1, "Font1", QStringLiteral("Font..."));
    PopupMenu1->addSeparator();
    QMenu *T = PopupMenu1->addMenu(QStringLiteral("Table"));
    InsertTable1 = Item(T, "InsertTable1", QStringLiteral("Insert Table..."));
    InsertCell1 = Item(T, "InsertCell1", QStringLiteral("Insert Cell"));
    InsertCol1 = Item(T, "InsertCol1", QStringLiteral("Insert Col"));
    InsertRow1 = Item(T, "InsertRow1", QStringLiteral("Insert Row"), QKeySequence(QStringLiteral("Ctrl+R")));
    MergeCells1 = Item(T, "MergeCells1", QStringLiteral("Merge Cells"));
    SplitCell1 = Item(T, "SplitCell1", QStringLiteral("Split Cell"));
    DeleteCells1 = Item(T, "DeleteCells1", QStringLiteral("Delete Cells"));
    DeleteCols1 = Item(T, "DeleteCols1", QStringLiteral("Delete Cols"));
    DeleteRows1 = Item(T, "DeleteRows1", QStringLiteral("Delete Rows"), QKeySequence(QStringLiteral("Ctrl+D")));

    auto EditorMenu = [this](const char *Name, const char *Suffix, QAction *&Undo, QAction *&Cut,
                             QAction *&Copy, QAction *&Paste, QAction *&SelAll) {
        auto *P = new QMenu(this);
        P->setObjectName(QString::fromLatin1(Name));
        const QByteArray S(Suffix);
        Undo = Item(P, ("Undo" + S).constData(), QStringLiteral("Undo"));
        P->addSeparator();
        Cut = Item(P, ("Cut" + S).constData(), QStringLiteral("Cut"));
        Copy = Item(P, ("Copy" + S).constData(), QStringLiteral("Copy"));
        Paste = Item(P, ("Paste" + S).constData(), QStringLiteral("Paste"));
        P->addSeparator();
        SelAll = Item(P, ("SelAll" + S).constData(), QStringLiteral("Select All"));
        return P;
    };
    PopupMenu2 = EditorMenu("PopupMenu2", "2", Undo2, Cut2, Copy2, Paste2, SelAll2);
    PopupMenu3 = EditorMenu("PopupMenu3", "3", Undo3, Cut3, Copy3, Paste3, SelAll3);
}

void TMainForm::CreateDatabasePage()
{
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    QVBoxLayout *L = PageLayout(TabSheet1);

    DatabaseBar = NewBar("DatabaseBar", TabSheet1);
    CreateDBF5 = BarItem(DatabaseBar, "CreateDBF5", QStringLiteral("Create DBF..."));
    OpenDB5 = BarItem(DatabaseBar, "OpenDB5", QStringLiteral("Open Database"));
    DatabaseBar->addSeparator();
    AddRec5 = BarItem(DatabaseBar, "AddRec5", QStringLiteral("Add Record"));
    EditRec5 = BarItem(DatabaseBar, "EditRec5", QStringLiteral("Edit Record"));
    DeleteRec5 = BarItem(DatabaseBar, "DeleteRec5", QStringLiteral("Delete Record"));
    FindRec5 = BarItem(DatabaseBar, "FindRec5", QStringLiteral("Find"));
    SpeedItem22 = BarItem(DatabaseBar, "SpeedItem22", QStringLiteral("Reopen Database"));
    L->addWidget(DatabaseBar);

    Panel1 = new QFrame(TabSheet1);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setAutoFillBackground(true);
    QPalette P = Panel1->palette();
    P.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    Panel1->setPalette(P);
    auto *G = new QGridLayout(Panel1);
    G->setContentsMargins(1, 1, 1, 1);
    PaintBox1 = new TPaintBox(Panel1);
    PaintBox1->setObjectName(QStringLiteral("PaintBox1"));
    PaintBox1->OnPaint = [this](TPaintBox *) { PaintBox1Paint(); };
    RxDBGrid1 = new QTableView(Panel1);
    RxDBGrid1->setObjectName(QStringLiteral("RxDBGrid1"));
    G->addWidget(PaintBox1, 0, 0);
    G->addWidget(RxDBGrid1, 0, 0);
    L->addWidget(Panel1, 1);

    StatusBar2 = new QStatusBar(TabSheet1);
    StatusBar2->setObjectName(QStringLiteral("StatusBar2"));
    StatusBar2->setSizeGripEnabled(false);
    RecordPosition = new QLabel(StatusBar2);
    RecordPosition->setMinimumWidth(50);
    StatusBar2->addWidget(RecordPosition);
    L->addWidget(StatusBar2);

    PageControl1->addTab(TabSheet1, QStringLiteral("Database"));
}

void TMainForm::CreateFilterPage()
{
    TabSheet9 = new QWidget;
    TabSheet9->setObjectName(QStringLiteral("TabSheet9"));
    QVBoxLayout *L = PageLayout(TabSheet9);
    FilterBar = NewBar("FilterBar", TabSheet9);
    FilterOpenProject = BarItem(FilterBar, "FilterOpenProject", QStringLiteral("Open Project"));
    FilterSaveProject = BarItem(FilterBar, "FilterSaveProject", QStringLiteral("Save Project"));
    L->addWidget(FilterBar);
    FilterPage = new tables::TFilterPage(TabSheet9);
    Memo1 = FilterPage->Memo1;
    UseFilter = FilterPage->CheckBox1;
    L->addWidget(FilterPage, 1);
    PageControl1->addTab(TabSheet9, QStringLiteral("Filter"));
}

void TMainForm::CreateCalcPage()
{
    TabSheet7 = new QWidget;
    TabSheet7->setObjectName(QStringLiteral("TabSheet7"));
    QVBoxLayout *L = PageLayout(TabSheet7);
    CalcBar = NewBar("CalcBar", TabSheet7);
    CalcOpenProject = BarItem(CalcBar, "CalcOpenProject", QStringLiteral("Open Project"));
    CalcSaveProject = BarItem(CalcBar, "CalcSaveProject", QStringLiteral("Save Project"));
    L->addWidget(CalcBar);

    CreateCalcObjects();
    CalcFieldPage = new tables::TCalcFieldPage(*CalcFields, TabSheet7);
    CalcFieldList = CalcFieldPage->ListBox1;
    Memo2 = CalcFieldPage->Memo2;
    FieldType = CalcFieldPage->ComboBox1;
    AddCalcField = CalcFieldPage->Button8;
    DeleteCalcField = CalcFieldPage->Button14;
    L->addWidget(CalcFieldPage, 1);
    PageControl1->addTab(TabSheet7, QStringLiteral("Calculated Fields"));
}

void TMainForm::CreateMailPage()
{
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    QVBoxLayout *L = PageLayout(TabSheet2);

    // The top panel places its controls itself; FormResize keeps the widths.
    Panel3 = new QWidget(TabSheet2);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setFixedHeight(76);
    BitBtn1 = new QPushButton(QStringLiteral("Start"), Panel3);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(8, 8, 64, 60);
    BitBtn1->setEnabled(false);
    connect(BitBtn1, &QPushButton::clicked, this, &TMainForm::Start0Click);
    ToLabel = new QLabel(QStringLiteral("To"), Panel3);
    ToLabel->setGeometry(82, 4, 50, 22);
    SubjectLabel = new QLabel(QStringLiteral("Subject"), Panel3);
    SubjectLabel->setGeometry(82, 28, 50, 22);
    FromLabel = new QLabel(QStringLiteral("From"), Panel3);
    FromLabel->setGeometry(82, 52, 50, 22);
    ComboBox2 = new QComboBox(Panel3);
    ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
    ComboBox2->setGeometry(136, 3, 300, 22);
    Edit2 = new QLineEdit(Panel3);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(136, 27, 300, 22);
    ComboBox4 = new QComboBox(Panel3);
    ComboBox4->setObjectName(QStringLiteral("ComboBox4"));
    ComboBox4->setGeometry(136, 51, 300, 22);
    ToLabel->setBuddy(ComboBox2);
    SubjectLabel->setBuddy(Edit2);
    FromLabel->setBuddy(ComboBox4);
    L->addWidget(Panel3);

    PageControl2 = new QTabWidget(TabSheet2);
    PageControl2->setObjectName(QStringLiteral("PageControl2"));
    TabSheet3 = CreateEditPage();
    TabSheet10 = CreateSourcePage();
    TabSheet5 = CreatePreviewPage();
    TabSheet6 = new QWidget;
    TabSheet6->setObjectName(QStringLiteral("TabSheet6"));
    PageControl2->addTab(TabSheet3, QStringLiteral("Edit"));
    PageControl2->addTab(TabSheet10, QStringLiteral("Source"));
    PageControl2->addTab(TabSheet5, QStringLiteral("Preview"));
    PageControl2->addTab(TabSheet6, QStringLiteral("Attachments"));
    L->addWidget(PageControl2, 1);

    PageControl1->addTab(TabSheet2, QStringLiteral("Mail"));
}

QWidget *TMainForm::CreateEditPage()
{
    auto *Page = new QWidget;
    Page->setObjectName(QStringLiteral("TabSheet3"));
    QVBoxLayout *L = PageLayout(Page);

    EditBar = NewBar("EditBar", Page);
    SpeedItem1 = BarItem(EditBar, "SpeedItem1", QStringLiteral("Cut"));
    SpeedItem2 = BarItem(EditBar, "SpeedItem2", QStringLiteral("Copy"));
    SpeedItem3 = BarItem(EditBar, "SpeedItem3", QStringLiteral("Paste"));
    SpeedItem4 = BarItem(EditBar, "SpeedItem4", QStringLiteral("Undo"));
    SpeedItem5 = BarItem(EditBar, "SpeedItem5", QStringLiteral("Redo"));
    EditBar->addSeparator();
    SpeedItem6 = BarItem(EditBar, "SpeedItem6", QStringLiteral("Table"));
    SpeedItem7 = BarItem(EditBar, "SpeedItem7", QStringLiteral("Image"));
    SpeedItem8 = BarItem(EditBar, "SpeedItem8", QStringLiteral("Hyperlink"));
    SpeedItem20 = BarItem(EditBar, "SpeedItem20", QStringLiteral("Insert Horizontal Line"));
    EditBar->addSeparator();
    HtmlMode = BarItem(EditBar, "HtmlMode", QStringLiteral("HTML"));
    HtmlMode->setCheckable(true);
    HtmlMode->setChecked(true);
    PlainMode = BarItem(EditBar, "PlainMode", QStringLiteral("Plain Text"));
    PlainMode->setCheckable(true);
    L->addWidget(EditBar);

    FormatBar = NewBar("FormatBar", Page);
    ComboBox5 = new QComboBox(FormatBar);
    ComboBox5->setObjectName(QStringLiteral("ComboBox5"));
    ComboBox5->setToolTip(QStringLiteral("Styles"));
    ComboBox5->setMinimumWidth(110);
    ComboBox8 = new QComboBox(FormatBar);
    ComboBox8->setObjectName(QStringLiteral("ComboBox8"));
    ComboBox8->setToolTip(QStringLiteral("Size"));
    for (int i = 1; i <= 7; ++i)
        ComboBox8->addItem(QString::number(i));
    ComboBox9 = new QComboBox(FormatBar);
    ComboBox9->setObjectName(QStringLiteral("ComboBox9"));
    ComboBox9->setMinimumWidth(140);
    for (QComboBox *C : {ComboBox5, ComboBox8, ComboBox9}) {
        C->setEnabled(false);
        FormatBar->addWidget(C);
    }
    SpeedItem9 = BarItem(FormatBar, "SpeedItem9", QStringLiteral("Bold"));
    SpeedItem10 = BarItem(FormatBar, "SpeedItem10", QStringLiteral("Italic"));
    SpeedItem11 = BarItem(FormatBar, "SpeedItem11", QStringLiteral("Underline"));
    SpeedItem12 = BarItem(FormatBar, "SpeedItem12", QStringLiteral("Color"));
    FormatBar->addSeparator();
    SpeedItem13 = BarItem(FormatBar, "SpeedItem13", QStringLiteral("Align Left"));
    SpeedItem14 = BarItem(FormatBar, "SpeedItem14", QStringLiteral("Center"));
    SpeedItem15 = BarItem(FormatBar, "SpeedItem15", QStringLiteral("Align Right"));
    FormatBar->addSeparator();
    SpeedItem16 = BarItem(FormatBar, "SpeedItem16", QStringLiteral("Numbered List"));
    SpeedItem17 = BarItem(FormatBar, "SpeedItem17", QStringLiteral("Bulleted List"));
    SpeedItem18 = BarItem(FormatBar, "SpeedItem18", QStringLiteral("Decrease Indent"));
    SpeedItem19 = BarItem(FormatBar, "SpeedItem19", QStringLiteral("Increase Indent"));
    FormatBar->addSeparator();
    SpeedItem21 = BarItem(FormatBar, "SpeedItem21", QStringLiteral("Details"));
    for (QAction *A : {SpeedItem9, SpeedItem10, SpeedItem11, SpeedItem13, SpeedItem14, SpeedItem15,
                       SpeedItem16, SpeedItem17, SpeedItem21})
        A->setCheckable(true);
    L->addWidget(FormatBar);

    EditorStack = new QStackedWidget(Page);
    DHTMLEdit1 = new QWebEngineView(EditorStack);
    DHTMLEdit1->setObjectName(QStringLiteral("DHTMLEdit1"));
    DHTMLEdit1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DHTMLEdit1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &Pos) { PopupMenu1->popup(DHTMLEdit1->mapToGlobal(Pos)); });
    RxRichEdit2 = NewEditor("RxRichEdit2", EditorStack, false);
    RxRichEdit2->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(RxRichEdit2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &Pos) { PopupMenu3->popup(RxRichEdit2->mapToGlobal(Pos)); });
    EditorStack->addWidget(DHTMLEdit1);
    EditorStack->addWidget(RxRichEdit2);
    EditorStack->setCurrentWidget(DHTMLEdit1);
    L->addWidget(EditorStack, 1);
    return Page;
}

QWidget *TMainForm::CreateSourcePage()
{
    auto *Page = new QWidget;
    Page->setObjectName(QStringLiteral("TabSheet10"));
    QVBoxLayout *L = PageLayout(Page);
    SourceBar = NewBar("SourceBar", Page);
    SourceNewProject = BarItem(SourceBar, "SourceNewProject", QStringLiteral("New Project"));
    SourceOpenProject = BarItem(SourceBar, "SourceOpenProject", QStringLiteral("Open Project"));
    SourceSaveProject = BarItem(SourceBar, "SourceSaveProject", QStringLiteral("Save Project"));
    SourceBar->addSeparator();
    SpeedItem33 = BarItem(SourceBar, "SpeedItem33", QStringLiteral("Cut"));
    SpeedItem34 = BarItem(SourceBar, "SpeedItem34", QStringLiteral("Copy"));
    SpeedItem35 = BarItem(SourceBar, "SpeedItem35", QStringLiteral("Paste"));
    SpeedItem36 = BarItem(SourceBar, "SpeedItem36", QStringLiteral("Undo"));
    SpeedItem37 = BarItem(SourceBar, "SpeedItem37", QStringLiteral("Redo"));
    L->addWidget(SourceBar);
    RxRichEdit1 = NewEditor("RxRichEdit1", Page, true);
    RxRichEdit1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(RxRichEdit1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &Pos) { PopupMenu2->popup(RxRichEdit1->mapToGlobal(Pos)); });
    L->addWidget(RxRichEdit1, 1);
    return Page;
}

QWidget *TMainForm::CreatePreviewPage()
{
    auto *Page = new QWidget;
    Page->setObjectName(QStringLiteral("TabSheet5"));
    QVBoxLayout *L = PageLayout(Page);
    auto *Head = new QGridLayout;
    Head->setContentsMargins(6, 4, 6, 4);
    Head->addWidget(new QLabel(QStringLiteral("Subject:"), Page), 0, 0);
    PreviewSubject = new QLabel(Page);
    Head->addWidget(PreviewSubject, 0, 1);
    Head->addWidget(new QLabel(QStringLiteral("To:"), Page), 1, 0);
    PreviewTo = new QLabel(Page);
    Head->addWidget(PreviewTo, 1, 1);
    Head->setColumnStretch(1, 1);
    L->addLayout(Head);

    WebBrowser1 = new QWebEngineView(Page);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    L->addWidget(WebBrowser1, 1);

    // The bottom panel places its controls itself; FormResize keeps the status bar's width.
    Panel8 = new QWidget(Page);
    Panel8->setObjectName(QStringLiteral("Panel8"));
    Panel8->setFixedHeight(24);
    DBNavigator1 = new QWidget(Panel8);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    auto *N = new QHBoxLayout(DBNavigator1);
    N->setContentsMargins(0, 0, 0, 0);
    N->setSpacing(0);
    const std::pair<const char *, Qt::ArrowType> Buttons[] = {
        {"First", Qt::UpArrow}, {"Prior", Qt::LeftArrow}, {"Next", Qt::RightArrow}, {"Last", Qt::DownArrow}};
    for (const auto &[Name, Arrow] : Buttons) {
        auto *B = new QToolButton(DBNavigator1);
        B->setObjectName(QString::fromLatin1(Name));
        B->setToolTip(QString::fromLatin1(Name));
        B->setArrowType(Arrow);
        B->setFixedSize(24, 22);
        B->setEnabled(false);
        N->addWidget(B);
    }
    DBNavigator1->setGeometry(2, 1, 96, 22);
    StatusBar1 = new QStatusBar(Panel8);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setGeometry(DBNavigator1->width() + 10, 1, 300, 22);
    L->addWidget(Panel8);
    return Page;
}

void TMainForm::FormCreate()
{
    FGridBitmap = QPixmap(QStringLiteral(":/images/gridback.png"));
    PageControl1->setCurrentWidget(TabSheet1);
    PageControl2->setCurrentWidget(TabSheet3);
    RxDBGrid1->hide();
    SqlQueryMode = 0;
    TableName.clear();
    FSorted = 0;
    FSortField.clear();
    Descend0->setChecked(false);

    AppDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    LoadDirSettings();
    // The program's folder is not writable here; the remembered folders default to the
    // user's data folder instead.
    for (QString *Dir : {&DataBaseDir, &MailDir, &SQLFileDir})
        if (Dir->isEmpty())
            *Dir = WritableDefaultDir();

    ProjectFileName.clear();
    UpdateCalcFieldControls();

    SetupMainReader(Reader1);
    ComboBox9->addItems(QFontDatabase::families());
    // Nothing is selected until the editor reports its formatting.
    ComboBox8->setCurrentIndex(-1);
    ComboBox9->setCurrentIndex(-1);

    DomWork->SetDocumentHTML(QString::fromLatin1(BlankDocument));
    WebBrowser1->setHtml(QString::fromLatin1(BlankDocument));
    CreateRecordCommands();
    UpdateAttachControls();
    // The message settings take their defaults; this also sets the caption.
    LoadMessageSettings();
    ResetModified();
}

void TMainForm::UpdateCaption()
{
    setWindowTitle(CaptionText(ProjectFileName, TableName, SqlQueryMode));
}

void TMainForm::FormResize()
{
    const int W = SubjectEditWidth(Panel3->width(), Edit2->x());
    Edit2->resize(W, Edit2->height());
    ComboBox2->resize(W, ComboBox2->height());
    ComboBox4->resize(W, ComboBox4->height());
    StatusBar1->resize(PreviewStatusWidth(Panel8->width(), DBNavigator1->width()),
                       StatusBar1->height());
}

void TMainForm::PaintBox1Paint()
{
    QPainter P(PaintBox1);
    for (const QPoint &Origin : TileOrigins(Panel1->width(), Panel1->height(),
                                            FGridBitmap.width(), FGridBitmap.height()))
        P.drawPixmap(Origin, FGridBitmap);
}

void TMainForm::resizeEvent(QResizeEvent *Event)
{
    QMainWindow::resizeEvent(Event);
    FormResize();
}

bool TMainForm::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Event->type() == QEvent::Resize && (Watched == Panel3 || Watched == Panel8))
        FormResize();
    return QMainWindow::eventFilter(Watched, Event);
}

void TMainForm::closeEvent(QCloseEvent *Event)
{
    if (!FormCloseQuery()) {
        Event->ignore();
        return;
    }
    FormClose();
    Event->accept();
}

bool TMainForm::FormCloseQuery()
{
    // Changes the open table could not write are not lost without a question; then the project's.
    if (Workspace && !Workspace->RecordCommands().SavePendingChanges())
        return false;
    return Project->CloseQuery();
}

void TMainForm::FormClose()
{
    if (Workspace->Active())
        Workspace->SaveGridConfig();
    Preview->RemoveFile();
    HHComp1->CloseAll();
}

void TMainForm::DBView0Click() { PageControl1->setCurrentWidget(TabSheet1); }
void TMainForm::Filter0Click() { PageControl1->setCurrentWidget(TabSheet9); }
void TMainForm::CalcFieldsView0Click() { PageControl1->setCurrentWidget(TabSheet7); }

void TMainForm::EditView0Click()
{
    PageControl2->setCurrentWidget(TabSheet3);
    PageControl1->setCurrentWidget(TabSheet2);
}

void TMainForm::SourceView0Click()
{
    PageControl2->setCurrentWidget(TabSheet10);
    PageControl1->setCurrentWidget(TabSheet2);
}

void TMainForm::Preview0Click()
{
    PageControl2->setCurrentWidget(TabSheet5);
    PageControl1->setCurrentWidget(TabSheet2);
}

void TMainForm::AttachView0Click()
{
    PageControl2->setCurrentWidget(TabSheet6);
    PageControl1->setCurrentWidget(TabSheet2);
}

void TMainForm::Exit0Click() { close(); }
void TMainForm::Content0Click() { HHComp1->ShowContents(); }

void TMainForm::About0Click()
{
    if (AboutBox)
        AboutBox->exec();
}

void TMainForm::Options1Click()
{
    if (OptForm)
        OptForm->Options1Click();
}

void TMainForm::PageControl1Change()
{
    FormResize();
    QWidget *Page = PageControl1->currentWidget();
    if (Page == TabSheet1)
        TabSheet1Show();
    else if (Page == TabSheet9)
        TabSheet9Show();
    else if (Page == TabSheet2)
        TabSheet2Show();
    else if (Page == TabSheet7)
        TabSheet7Show();
}

void TMainForm::TabSheet1Show()
{
    if (RxDBGrid1->isVisible())
        RxDBGrid1->setFocus();
}

void TMainForm::TabSheet9Show()
{
    Memo1->setFocus();
}


void TMainForm::WebBrowser1StatusTextChange(const QString &Text)
{
    StatusBar1->showMessage(Text);
}

}  // namespace qf::shell
