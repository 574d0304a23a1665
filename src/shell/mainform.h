#pragma once
// The main window's frame: the pages, the menus, tool bars and pop-up menus, the
// caption, the resize rule, the background behind the hidden grid, the two status
// bars and the commands of the frame. Commands that other parts of the program
// carry out are present here and stay disabled until those parts connect them.

#include "delivery/maillist.h"
#include "delivery/profiles.h"
#include "shell/commandstate.h"
#include "store/dlist.h"
#include "store/reader.h"

#include <QMainWindow>
#include <QPixmap>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QIcon;
class QComboBox;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QStatusBar;
class QTabWidget;
class QTableView;
class QToolBar;
class QToolButton;
class QWebEngineView;

namespace qf::expr {
class TAdCalc;
} // namespace qf::expr
namespace qf::tables {
class TCalcFieldPage;
class TCalcFields;
class TFilterPage;
class TRecordVariables;
class TTableWorkspace;
class TRecordGrid;
class TSelTabForm;
class TEditDB;
class TDelForm;
class TFindForm;
class TSQLForm;
class TRestructForm;
} // namespace qf::tables
namespace qf::composer {
class TDialogPrompter;
class TDomWork;
class TMailViews;
class TPreview;
class TTabForm;
class TAttachments;
class TAttachPage;
class TCharSetForm;
class TMailMerge;
class TMailProject;
} // namespace qf::composer

namespace qf::shell {

class THHComp;

// Draws the background picture in tiles; it lies behind the record grid.
class TPaintBox : public QWidget {
    Q_OBJECT
public:
    explicit TPaintBox(QWidget *Parent = nullptr) : QWidget(Parent) {}
    std::function<void(TPaintBox *)> OnPaint;

protected:
    void paintEvent(QPaintEvent *Event) override;
};

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget *Parent = nullptr);
    ~TMainForm() override;

    // Main menu items, named as the commands they carry.
    QAction *CreateDBF0, *NewProject0, *OpenTable0, *ExecSQL0, *OpenProject0, *Restructure0,
        *SaveProject0, *SaveProjectAs0, *CloseDB0, *Profiles0, *Exit0;
    QAction *AddRec0, *EditRec0, *DeleteRec0, *Find0, *Unique0, *Reopen0, *Descend0, *Unsort0;
    QAction *Undo0, *Redo0, *Cut0, *Copy0, *Paste0, *SelectAll0, *Options1;
    QAction *DBView0, *Filter0, *CalcFieldsView0, *EditView0, *SourceView0, *Preview0, *AttachView0,
        *ViewLog0;
    QAction *HorizontalLine0, *Image0, *Hyperlink0, *Table0;
    QAction *Font0, *NumList0, *BulList0, *Decindent0, *IncIndent0;
    QAction *Start0, *Html0, *PlainText0, *Encoding0;
    QAction *Content0, *About0;

    // Pop-up menus of the HTML editor, the source editor and the plain-text editor.
    QMenu *PopupMenu1, *PopupMenu2, *PopupMenu3;
    QAction *Undo1, *Cut1, *Copy1, *Paste1, *SelAll1, *Font1;
    QAction *InsertTable1, *InsertCell1, *InsertCol1, *InsertRow1, *MergeCells1, *SplitCell1,
        *DeleteCells1, *DeleteCols1, *DeleteRows1;
    QAction *Undo2, *Cut2, *Copy2, *Paste2, *SelAll2;
    QAction *Undo3, *Cut3, *Copy3, *Paste3, *SelAll3;

    // Outer pages (tabs at the bottom) and the Mail page's inner pages.
    QTabWidget *PageControl1, *PageControl2;
    QWidget *TabSheet1, *TabSheet9, *TabSheet7, *TabSheet2;
    QWidget *TabSheet3, *TabSheet10, *TabSheet5, *TabSheet6;

    // Database page.
    QToolBar *DatabaseBar;
    QAction *CreateDBF5, *OpenDB5, *AddRec5, *EditRec5, *DeleteRec5, *FindRec5, *SpeedItem22;
    QFrame *Panel1;
    TPaintBox *PaintBox1;
    QTableView *RxDBGrid1;
    QStatusBar *StatusBar2;
    QLabel *RecordPosition; // the status bar's one panel

    // Filter page.
    QToolBar *FilterBar;
    QAction *FilterOpenProject, *FilterSaveProject;
    QPlainTextEdit *Memo1;
    QCheckBox *UseFilter;

    // Calculated Fields page.
    QToolBar *CalcBar;
    QAction *CalcOpenProject, *CalcSaveProject;
    QListWidget *CalcFieldList;
    QPlainTextEdit *Memo2;
    QComboBox *FieldType;
    QPushButton *AddCalcField, *DeleteCalcField;

    // Mail page: the top panel and the inner pages.
    QWidget *Panel3;
    QLabel *ToLabel, *SubjectLabel, *FromLabel;
    QComboBox *ComboBox2, *ComboBox4;
    QLineEdit *Edit2;
    QPushButton *BitBtn1;

    QToolBar *EditBar, *FormatBar;
    QAction *SpeedItem1, *SpeedItem2, *SpeedItem3, *SpeedItem4, *SpeedItem5, *SpeedItem6,
        *SpeedItem7, *SpeedItem8, *SpeedItem20, *HtmlMode, *PlainMode;
    QComboBox *ComboBox5, *ComboBox8, *ComboBox9;
    QAction *SpeedItem9, *SpeedItem10, *SpeedItem11, *SpeedItem12, *SpeedItem13, *SpeedItem14,
        *SpeedItem15, *SpeedItem16, *SpeedItem17, *SpeedItem18, *SpeedItem19, *SpeedItem21;
    QStackedWidget *EditorStack;
    QWebEngineView *DHTMLEdit1;
    QPlainTextEdit *RxRichEdit2;

    QToolBar *SourceBar;
    QAction *SourceNewProject, *SourceOpenProject, *SourceSaveProject;
    QAction *SpeedItem33, *SpeedItem34, *SpeedItem35, *SpeedItem36, *SpeedItem37;
    QPlainTextEdit *RxRichEdit1;

    QLabel *PreviewSubject, *PreviewTo;
    QWebEngineView *WebBrowser1;
    QWidget *Panel8;
    QWidget *DBNavigator1;
    // First, Prior, Next, Last.
    std::array<QToolButton *, 4> NavButtons{};
    QStatusBar *StatusBar1;

    THHComp *HHComp1;
    store::TReader Reader1;

    // The open table: connection, dataset, field records, layout file (src/tables).
    std::unique_ptr<tables::TTableWorkspace> Workspace;
    tables::TRecordGrid *Grid = nullptr;
    tables::TSelTabForm *SelTabForm = nullptr;
    tables::TRestructForm *RestructForm = nullptr;

    // The project store, the expression engine, the calculated fields and the record variables
    // (mainformcalc.cpp); the pages of the filter and the calculated fields.
    store::TDList DList1;
    std::unique_ptr<expr::TAdCalc> AdCalc1;
    std::unique_ptr<tables::TCalcFields> CalcFields;
    std::unique_ptr<tables::TRecordVariables> RecordVariables;
    tables::TFilterPage *FilterPage = nullptr;
    tables::TCalcFieldPage *CalcFieldPage = nullptr;
    bool FModified = false; // the project changed

    // State set up when the window is created.
    QPixmap FGridBitmap;
    std::uint8_t FSorted = 0;
    QString FSortField;

    // The mailing: the profile it copies, where it reads the records and the merge from.
    delivery::TSenderProfile FProfile;
    delivery::TMailOrigin MailOrigin;

    void FormCreate();
    bool FormCloseQuery();
    void FormClose();

    void UpdateCaption();
    void FormResize();
    void PaintBox1Paint();

    // View menu.
    void DBView0Click();
    void Filter0Click();
    void CalcFieldsView0Click();
    void EditView0Click();
    void SourceView0Click();
    void Preview0Click();
    void AttachView0Click();
    // The frame's own commands.
    void Exit0Click();
    void Content0Click();
    void About0Click();
    void Options1Click();
    // Profiles, mailing and log.
    void Profiles0Click();
    void Start0Click();
    void ViewLog0Click();
    bool LoadSelectedProfile();
    // Wires the profiles, mailing and log windows to this window and the options.
    void ConnectDelivery();

    void PageControl1Change();
    void TabSheet1Show();
    void TabSheet9Show();

    // Command states and the editing commands (mainformcommands.cpp). The rule of
    // commandstate.h decides; these read the window into a snapshot and set the actions.
    void UpdateControls();
    void UpdateEditCommands();
    void DisableFormatCommands();
    TFrameSnapshot FrameSnapshot() const;
    void ApplyCommandStates(const TCommandStates &States);
    // The one action of each command the rule sets, by TCommand.
    std::array<QAction *, CommandCount> FCommands{};
    // The control the editing commands act on: the focused one, the HTML editor for any
    // part of it, none outside this window.
    QWidget *ActiveControl() const;
    TFocus FocusOf(QWidget *W) const;
    void Cut0Click();
    void Copy0Click();
    void Paste0Click();
    void Undo0Click();
    void Redo0Click();
    void SelectAll0Click();

    // Calculated fields, the filter page and the record variables (mainformcalc.cpp).
    void RefreshCalcFieldList();
    void UpdateCalcFieldControls();
    void Button8Click();
    void Button14Click();
    void ListBox1Click();
    void Memo2Exit();
    void TabSheet7Show();
    void ADOQuery1BeforeOpen();
    void ADOQuery1AfterClose();

    // Opening and closing tables, the grid's sort (mainformtables.cpp).
    void OpenDB0Click();
    void OpenDBFFile(const QString &FileName);
    void OpenAccessFile(const QString &FileName);
    void CloseDB0Click();
    void Reopen0Click();
    void RxDBGrid1TitleBtnClick(int Column);
    void Descend0Click();
    void Unsort0Click();
    void UpdateTableCommands();
    // The tables named on the command line: the first .mdb, else the first .dbf.
    void OpenCommandLineTables(const QStringList &Arguments);
    // Restructure/Save As DBF and Create DBF (mainformrestruct.cpp).
    void Restructure0Click();
    void NewDatabase1Click();
    void SpeedItem23Click();
    // The message editors (mainformcomposer.cpp): the HTML editor's one TDomWork, the
    // views' synchronization with the mail format and change flags, and the preview.
    composer::TDomWork *DomWork = nullptr;
    std::unique_ptr<composer::TMailViews> Views;
    std::unique_ptr<composer::TPreview> Preview;
    std::unique_ptr<composer::TDialogPrompter> Prompter;
    composer::TTabForm *TabForm = nullptr;
    void SetMailFormat(std::uint8_t Code);
    void AssignHTML();
    void Html0Click();
    void PlainText0Click();
    void RxRichEdit1Change();
    void DHTMLEdit1DisplayChanged();
    void DHTMLEdit1Ready();
    void PageControl2Change();
    void TabSheet2Show();
    void TabSheet3Show();
    void TabSheet10Show();
    void TabSheet5Show();
    void BuildPreview();
    // The current record changed: the preview follows it, at once or when the page that is
    // still loading has finished.
    void PreviewRecordChanged();
    void DBNavigator1Click(int Button);
    void UpdateNavigator();
    void UpdatePreviewTo();
    void UpdatePreviewSubject();

    // The record commands, their windows and Execute SQL (tablecommands.cpp).
    tables::TEditDB *EditDB = nullptr;
    tables::TDelForm *DelForm = nullptr;
    tables::TFindForm *FindForm = nullptr;
    tables::TSQLForm *SQLForm = nullptr;
    void CreateRecordCommands();
    void AddRec0Click();
    void EditRec0Click();
    void DeleteRec0Click();
    void DeleteCurrentRecord();
    void Find0Click();
    void Unique0Click();
    void ExecSQL0Click();
    void RxDBGrid1DblClick();
    void ADOQuery1AfterScroll();
    // Enables exactly the record commands that can run now.
    void UpdateRecordCommands();
    void NarrowRecordCommands();
    // A failure of the table layer, shown with the program's title.
    void ShowTableError(const QString &Message);

    // The mail project over DList1 and FModified, its merge, attachments and charset
    // (mainformproject.cpp).
    std::unique_ptr<composer::TMailProject> Project;
    std::unique_ptr<composer::TAttachments> Attachments;
    std::unique_ptr<composer::TMailMerge> Merge;
    composer::TAttachPage *AttachPage = nullptr;
    composer::TCharSetForm *CharSetForm = nullptr;
    QString FToAddr, FFromProfile;

    void NewProject0Click();
    void OpenProject0Click();
    void SaveProject0Click();
    void SaveProjectAs0Click();
    void Encoding0Click();
    void OpenMailFile(const QString &FileName);
    void StoreMessageSettings();
    void LoadMessageSettings();
    void ResetModified();
    bool IsModified();
    bool EvaluateName(const QString &Name, QString &Value);
    QString ExpandPlaceholders(const QString &Text);
    void RefreshAttachList();
    void UpdateAttachControls();
    void FillToAddressList();
    // Before any mail is sent: false, after a message naming them, when attachments are missing.
    bool CheckAttachments();
    // The files named on the command line, when the window is first shown: the project first.
    void OpenCommandLine(const QStringList &Arguments);

    void DHTMLEdit1DocumentComplete(bool Ok);
    void WebBrowser1DocumentComplete(bool Ok);
    void WebBrowser1StatusTextChange(const QString &Text);

    // The files named on the command line, opened once the window is first shown.
    QStringList CommandLine;
    void FormShow();

protected:
    void showEvent(QShowEvent *Event) override;
    void resizeEvent(QResizeEvent *Event) override;
    void closeEvent(QCloseEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    void CreateMenus();
    void CreateCommands();
    void ReadHtmlEditor(THtmlEditorState &State) const;
    void EditorChanged();
    void FocusChanged(QWidget *Old, QWidget *Now);
    bool FShown = false;
    bool FPreviewAgain = false; // a record move came while the preview page was loading
    void RunEditCommand(std::uint8_t Code);
    void CreatePopupMenus();
    void CreateDatabasePage();
    void CreateFilterPage();
    void CreateCalcPage();
    void CreateMailPage();
    void CreateComposer();
    QWidget *CreateEditPage();
    QWidget *CreateSourcePage();
    QWidget *CreatePreviewPage();
    void CreateWorkspace();
    void CreateCalcObjects();
    void BindRecordVariables();
    void CreateRestructForm();
    // Runs a table command; a failure shows its message, as the default handler would.
    void RunTableCommand(const std::function<void()> &Command);
    void CreateProject();
    QAction *Item(QMenu *Menu, const char *Name, const QString &Caption,
                  const QKeySequence &Shortcut = {});
    QAction *BarItem(QToolBar *Bar, const char *Name, const QString &Caption);
    // Puts a command's one action on a tool bar; the tool bar's name for it is the action.
    QAction *Place(QToolBar *Bar, QAction *Command);
    static QIcon ThemeIcon(const char *Name);
};

inline TMainForm *MainForm = nullptr;

// The blank document the two web views start with.
extern const char *const BlankDocument;

} // namespace qf::shell
