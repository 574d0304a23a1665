#include "shell/mainform.h"

#include "composer/attachments.h"
#include "composer/domwork.h"
#include "composer/mailviews.h"
#include "composer/merge.h"
#include "composer/preview.h"
#include "composer/project.h"
#include "composer/ui/editordialogs.h"
#include "expr/adcalc.h"
#include "shell/aboutbox.h"
#include "shell/fileutils.h"
#include "shell/framelogic.h"
#include "shell/globals.h"
#include "shell/hhcomp.h"
#include "shell/optform.h"
#include "shell/resources.h"
#include "shell/settings.h"
#include "tables/calc/calcfields.h"
#include "tables/calc/recordvars.h"
#include "tables/ui/calcfieldpage.h"
#include "tables/ui/editdb.h"
#include "tables/ui/filterpage.h"
#include "tables/ui/recordgrid.h"
#include "tables/workspace.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
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
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
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
    // Captions under the icons keep every item of a page's bar within the window.
    Bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    Bar->setIconSize(QSize(16, 16));
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

} // namespace

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
    CreateCommands(); // before the parts that refresh the commands
    CreateWorkspace();
    BindRecordVariables();
    CreateRestructForm();
    CreateComposer();
    CreateProject();

    HHComp1 = new THHComp(this, QStringLiteral("help/index.html"));

    connect(PageControl1, &QTabWidget::currentChanged, this, &TMainForm::PageControl1Change);
    connect(PageControl2, &QTabWidget::currentChanged, this, &TMainForm::PageControl2Change);
    connect(WebBrowser1, &QWebEngineView::loadFinished, this,
            &TMainForm::WebBrowser1DocumentComplete);
    connect(WebBrowser1->page(), &QWebEnginePage::linkHovered, this,
            &TMainForm::WebBrowser1StatusTextChange);
    // The pages are sized only when shown, so the rule follows the panels themselves.
    Panel3->installEventFilter(this);
    Panel8->installEventFilter(this);

    FormCreate();
}

TMainForm::~TMainForm()
{
    // The parts go before the child widgets, whose going moves the focus and ends edits:
    // nothing of theirs may reach the window's handlers any more.
    disconnect(qApp, nullptr, this, nullptr);
    for (QObject *Child : findChildren<QObject *>())
        disconnect(Child, nullptr, this, nullptr);
    delete EditDB; // it watches the workspace's dataset, which goes before the child windows
    EditDB = nullptr;
    delete Grid; // the grid reads the workspace until it goes
    Grid = nullptr;
    delete CalcFieldPage; // the page writes to the calculated fields until it goes
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
    A->setEnabled(false); // enabled when its command is connected
    return A;
}

QIcon TMainForm::ThemeIcon(const char *Name)
{
    // The desktop's theme first; Adwaita (adwaita-icon-theme) where it has no such icon.
    static const bool Once = [] {
        const QString Adwaita = QStringLiteral("Adwaita");
        // Without a desktop the platform names no icon folders; the XDG ones hold the themes.
        QStringList Paths = QIcon::themeSearchPaths();
        for (const QString &Dir :
             QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
            if (!Paths.contains(Dir + QStringLiteral("/icons")))
                Paths << Dir + QStringLiteral("/icons");
        QIcon::setThemeSearchPaths(Paths);
        if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
            QIcon::setThemeName(Adwaita);
        else
            QIcon::setFallbackThemeName(Adwaita);
        return true;
    }();
    Q_UNUSED(Once);
    const QString Plain = QString::fromLatin1(Name);
    // Adwaita keeps some icons only in their symbolic form.
    return QIcon::hasThemeIcon(Plain)
               ? QIcon::fromTheme(Plain)
               : QIcon::fromTheme(Plain + QStringLiteral("-symbolic.symbolic"));
}

QAction *TMainForm::Place(QToolBar *Bar, QAction *Command)
{
    Bar->addAction(Command);
    return Command;
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
    NewProject0 = Item(M, "NewProject0", QStringLiteral("New Project"),
                       QKeySequence(QStringLiteral("Ctrl+N")));
    M->addSeparator();
    OpenTable0 = Item(M, "OpenTable0", QStringLiteral("Open Table..."));
    ExecSQL0 = Item(M, "ExecSQL0", QStringLiteral("Execute SQL..."));
    OpenProject0 = Item(M, "OpenProject0", QStringLiteral("Open Project..."),
                        QKeySequence(QStringLiteral("Ctrl+O")));
    M->addSeparator();
    Restructure0 = Item(M, "Restructure0", QStringLiteral("Restructure/Save As DBF..."));
    SaveProject0 = Item(M, "SaveProject0", QStringLiteral("Save Project"),
                        QKeySequence(QStringLiteral("Ctrl+S")));
    SaveProjectAs0 = Item(M, "SaveProjectAs0", QStringLiteral("Save Project As..."));
    M->addSeparator();
    CloseDB0 =
        Item(M, "CloseDB0", QStringLiteral("Close Table"), QKeySequence(QStringLiteral("Ctrl+F4")));
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
    Unique0 = Item(M, "Unique0", QStringLiteral("Find Duplicates"),
                   QKeySequence(QStringLiteral("Ctrl+D")));
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
    SelectAll0 =
        Item(M, "SelectAll0", QStringLiteral("Select All"), QKeySequence(QStringLiteral("Ctrl+A")));
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
    Hyperlink0 = Item(M, "Hyperlink0", QStringLiteral("Hyperlink..."),
                      QKeySequence(QStringLiteral("Ctrl+K")));
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

    // "HTML" and "Plain Text" are one group, in the menu and on the tool bar alike.
    auto *Format = new QActionGroup(this);
    Format->addAction(Html0);
    Format->addAction(PlainText0);
    NumList0->setCheckable(true);

    // The tool bars show the same commands with shorter captions and the desktop's icons.
    const std::tuple<QAction *, const char *, const char *> Looks[] = {
        {CreateDBF0, nullptr, "document-new"},
        {NewProject0, nullptr, "document-new"},
        {OpenTable0, "Open Database", "document-open"},
        {OpenProject0, "Open Project", "document-open"},
        {SaveProject0, nullptr, "document-save"},
        {AddRec0, "Add Record", "list-add"},
        {EditRec0, "Edit Record", "document-properties"},
        {DeleteRec0, nullptr, "edit-delete"},
        {Find0, "Find", "edit-find"},
        {Reopen0, "Reopen Database", "view-refresh"},
        {Undo0, nullptr, "edit-undo"},
        {Redo0, nullptr, "edit-redo"},
        {Cut0, nullptr, "edit-cut"},
        {Copy0, nullptr, "edit-copy"},
        {Paste0, nullptr, "edit-paste"},
        {SelectAll0, nullptr, "edit-select-all"},
        {Table0, "Table", "x-office-spreadsheet"},
        {Image0, "Image", "insert-image"},
        {Hyperlink0, "Hyperlink", "insert-link"},
        {HorizontalLine0, "Insert Horizontal Line", "format-text-strikethrough"},
        {Font0, nullptr, "preferences-desktop-font"},
        {NumList0, "Numbered List", "view-list-ordered"},
        {BulList0, "Bulleted List", "view-list-bullet"},
        {Html0, nullptr, "text-html"},
        {PlainText0, nullptr, "text-x-generic"},
        {Decindent0, "Decrease Indent", "format-indent-less"},
        {IncIndent0, "Increase Indent", "format-indent-more"},
        {Start0, nullptr, "mail-send"},
        {Content0, nullptr, "help-contents"},
    };
    for (const auto &[Action, Short, Icon] : Looks) {
        if (Short)
            Action->setIconText(QString::fromLatin1(Short));
        if (Icon)
            Action->setIcon(ThemeIcon(Icon));
    }

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
    // The editors' pop-up menus hold the Edit menu's commands themselves.
    auto EditorMenu = [this](const char *Name) {
        auto *P = new QMenu(this);
        P->setObjectName(QString::fromLatin1(Name));
        P->addAction(Undo0);
        P->addSeparator();
        P->addActions({Cut0, Copy0, Paste0});
        P->addSeparator();
        P->addAction(SelectAll0);
        return P;
    };
    PopupMenu1 = EditorMenu("PopupMenu1");
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(Font0);
    PopupMenu1->addSeparator();
    QMenu *T = PopupMenu1->addMenu(QStringLiteral("Table"));
    T->setObjectName(QStringLiteral("TableMenu1"));
    // The submenu names the command in its own words; the item follows Table0 and runs it.
    InsertTable1 = T->addAction(QStringLiteral("Insert Table..."));
    InsertTable1->setObjectName(QStringLiteral("InsertTable1"));
    InsertTable1->setEnabled(Table0->isEnabled());
    connect(Table0, &QAction::changed, InsertTable1,
            [this] { InsertTable1->setEnabled(Table0->isEnabled()); });
    connect(InsertTable1, &QAction::triggered, Table0, &QAction::trigger);
    InsertCell1 = Item(T, "InsertCell1", QStringLiteral("Insert Cell"));
    InsertCol1 = Item(T, "InsertCol1", QStringLiteral("Insert Col"));
    InsertRow1 =
        Item(T, "InsertRow1", QStringLiteral("Insert Row"), QKeySequence(QStringLiteral("Ctrl+R")));
    MergeCells1 = Item(T, "MergeCells1", QStringLiteral("Merge Cells"));
    SplitCell1 = Item(T, "SplitCell1", QStringLiteral("Split Cell"));
    DeleteCells1 = Item(T, "DeleteCells1", QStringLiteral("Delete Cells"));
    DeleteCols1 = Item(T, "DeleteCols1", QStringLiteral("Delete Cols"));
    // Ctrl+D stays with "Find Duplicates": a shortcut belongs to one command.
    DeleteRows1 = Item(T, "DeleteRows1", QStringLiteral("Delete Rows"));
    Undo1 = Undo0, Cut1 = Cut0, Copy1 = Copy0, Paste1 = Paste0, SelAll1 = SelectAll0, Font1 = Font0;

    PopupMenu2 = EditorMenu("PopupMenu2");
    PopupMenu3 = EditorMenu("PopupMenu3");
    Undo2 = Undo3 = Undo0, Cut2 = Cut3 = Cut0, Copy2 = Copy3 = Copy0, Paste2 = Paste3 = Paste0;
    SelAll2 = SelAll3 = SelectAll0;
}

void TMainForm::CreateDatabasePage()
{
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    QVBoxLayout *L = PageLayout(TabSheet1);

    DatabaseBar = NewBar("DatabaseBar", TabSheet1);
    CreateDBF5 = Place(DatabaseBar, CreateDBF0);
    OpenDB5 = Place(DatabaseBar, OpenTable0);
    DatabaseBar->addSeparator();
    AddRec5 = Place(DatabaseBar, AddRec0);
    EditRec5 = Place(DatabaseBar, EditRec0);
    DeleteRec5 = Place(DatabaseBar, DeleteRec0);
    FindRec5 = Place(DatabaseBar, Find0);
    SpeedItem22 = Place(DatabaseBar, Reopen0);
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
    FilterOpenProject = Place(FilterBar, OpenProject0);
    FilterSaveProject = Place(FilterBar, SaveProject0);
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
    CalcOpenProject = Place(CalcBar, OpenProject0);
    CalcSaveProject = Place(CalcBar, SaveProject0);
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
    SpeedItem1 = Place(EditBar, Cut0);
    SpeedItem2 = Place(EditBar, Copy0);
    SpeedItem3 = Place(EditBar, Paste0);
    SpeedItem4 = Place(EditBar, Undo0);
    SpeedItem5 = Place(EditBar, Redo0);
    EditBar->addSeparator();
    SpeedItem6 = Place(EditBar, Table0);
    SpeedItem7 = Place(EditBar, Image0);
    SpeedItem8 = Place(EditBar, Hyperlink0);
    SpeedItem20 = Place(EditBar, HorizontalLine0);
    EditBar->addSeparator();
    HtmlMode = Place(EditBar, Html0);
    PlainMode = Place(EditBar, PlainText0);
    // Eleven captions: narrower buttons keep them all within the window's first width.
    EditBar->setStyleSheet(QStringLiteral("QToolButton { padding: 1px 0px; }"));
    L->addWidget(EditBar);

    FormatBar = NewBar("FormatBar", Page);
    // The formatting items show their icons; their captions are their tool tips.
    FormatBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
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
    ComboBox9->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ComboBox9->setMinimumContentsLength(14);
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
    SpeedItem16 = Place(FormatBar, NumList0);
    SpeedItem17 = Place(FormatBar, BulList0);
    SpeedItem18 = Place(FormatBar, Decindent0);
    SpeedItem19 = Place(FormatBar, IncIndent0);
    FormatBar->addSeparator();
    SpeedItem21 = BarItem(FormatBar, "SpeedItem21", QStringLiteral("Details"));
    for (QAction *A :
         {SpeedItem9, SpeedItem10, SpeedItem11, SpeedItem13, SpeedItem14, SpeedItem15, SpeedItem21})
        A->setCheckable(true);
    const std::pair<QAction *, const char *> Icons[] = {
        {SpeedItem9, "format-text-bold"},       {SpeedItem10, "format-text-italic"},
        {SpeedItem11, "format-text-underline"}, {SpeedItem13, "format-justify-left"},
        {SpeedItem14, "format-justify-center"}, {SpeedItem15, "format-justify-right"},
        {SpeedItem12, "color-select"},          {SpeedItem21, "view-reveal"}};
    for (const auto &[Action, Icon] : Icons)
        Action->setIcon(ThemeIcon(Icon));
    L->addWidget(FormatBar);

    EditorStack = new QStackedWidget(Page);
    DHTMLEdit1 = new QWebEngineView(EditorStack);
    DHTMLEdit1->setObjectName(QStringLiteral("DHTMLEdit1"));
    DHTMLEdit1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DHTMLEdit1, &QWidget::customContextMenuRequested, this, [this](const QPoint &Pos) {
        // The commands act on the focused editor: the one clicked.
        DHTMLEdit1->setFocus(Qt::PopupFocusReason);
        PopupMenu1->popup(DHTMLEdit1->mapToGlobal(Pos));
    });
    RxRichEdit2 = NewEditor("RxRichEdit2", EditorStack, false);
    RxRichEdit2->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(RxRichEdit2, &QWidget::customContextMenuRequested, this, [this](const QPoint &Pos) {
        // The commands act on the focused editor: the one clicked.
        RxRichEdit2->setFocus(Qt::PopupFocusReason);
        PopupMenu3->popup(RxRichEdit2->mapToGlobal(Pos));
    });
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
    SourceNewProject = Place(SourceBar, NewProject0);
    SourceOpenProject = Place(SourceBar, OpenProject0);
    SourceSaveProject = Place(SourceBar, SaveProject0);
    SourceBar->addSeparator();
    SpeedItem33 = Place(SourceBar, Cut0);
    SpeedItem34 = Place(SourceBar, Copy0);
    SpeedItem35 = Place(SourceBar, Paste0);
    SpeedItem36 = Place(SourceBar, Undo0);
    SpeedItem37 = Place(SourceBar, Redo0);
    L->addWidget(SourceBar);
    RxRichEdit1 = NewEditor("RxRichEdit1", Page, true);
    RxRichEdit1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(RxRichEdit1, &QWidget::customContextMenuRequested, this, [this](const QPoint &Pos) {
        // The commands act on the focused editor: the one clicked.
        RxRichEdit1->setFocus(Qt::PopupFocusReason);
        PopupMenu2->popup(RxRichEdit1->mapToGlobal(Pos));
    });
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
    const std::pair<const char *, Qt::ArrowType> Buttons[] = {{"First", Qt::UpArrow},
                                                              {"Prior", Qt::LeftArrow},
                                                              {"Next", Qt::RightArrow},
                                                              {"Last", Qt::DownArrow}};
    for (int i = 0; i < 4; ++i) {
        auto *B = new QToolButton(DBNavigator1);
        B->setObjectName(QString::fromLatin1(Buttons[i].first));
        B->setToolTip(QString::fromLatin1(Buttons[i].first));
        B->setArrowType(Buttons[i].second);
        B->setFixedSize(24, 22);
        B->setEnabled(false);
        connect(B, &QToolButton::clicked, this, [this, i] { DBNavigator1Click(i); });
        NavButtons[std::size_t(i)] = B;
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
    // The formatting bar and the table-cell items wait for the editor's first document.
    for (TCommand C :
         {TCommand::Bold, TCommand::Italic, TCommand::Underline, TCommand::Color,
          TCommand::AlignLeft, TCommand::Center, TCommand::AlignRight, TCommand::Details,
          TCommand::InsertCell, TCommand::InsertCol, TCommand::InsertRow, TCommand::MergeCells,
          TCommand::SplitCell, TCommand::DeleteCells, TCommand::DeleteCols, TCommand::DeleteRows})
        FCommands[std::size_t(C)]->setEnabled(false);
    for (QComboBox *Box : {ComboBox5, ComboBox8, ComboBox9})
        Box->setEnabled(false);
    DisableFormatCommands();
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
    for (const QPoint &Origin :
         TileOrigins(Panel1->width(), Panel1->height(), FGridBitmap.width(), FGridBitmap.height()))
        P.drawPixmap(Origin, FGridBitmap);
}

void TMainForm::showEvent(QShowEvent *Event)
{
    QMainWindow::showEvent(Event);
    if (Event->spontaneous() || FShown)
        return;
    FShown = true;
    // After the window is on the screen, so that messages about the files have a parent to show
    // over.
    QTimer::singleShot(0, this, &TMainForm::FormShow);
}

void TMainForm::FormShow()
{
    const QStringList Arguments = std::exchange(CommandLine, {});
    OpenCommandLine(Arguments);
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
    else
        UpdateControls();
}

void TMainForm::TabSheet1Show()
{
    if (RxDBGrid1->isVisible())
        RxDBGrid1->setFocus();
    UpdateControls();
}

void TMainForm::TabSheet9Show()
{
    Memo1->setFocus();
    UpdateControls();
}

void TMainForm::WebBrowser1StatusTextChange(const QString &Text) { StatusBar1->showMessage(Text); }

} // namespace qf::shell
