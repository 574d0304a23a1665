// The main window's message editors: the mail format, the transfers between the HTML
// editor and its source, the formatting bar, the Insert and Format menus, the editor's
// Table submenu and the preview. Each handler hands its work to the composer's classes.

#include "composer/domwork.h"
#include "composer/mailviews.h"
#include "composer/preview.h"
#include "composer/ui/editordialogs.h"
#include "composer/ui/editorhost.h"
#include "shell/mainform.h"
#include "tables/data/dataset.h"
#include "tables/workspace.h"

#include <QAction>
#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextCursor>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QWebEngineView>
#include <algorithm>

namespace qf::shell {

using composer::TDomWork;

namespace {

// Replaces an editor's text as one step of its undo history.
void ReplaceText(QPlainTextEdit *Editor, const QString &Text)
{
    QTextCursor C(Editor->document());
    C.beginEditBlock();
    C.select(QTextCursor::Document);
    C.insertText(Text);
    C.endEditBlock();
}

} // namespace

void TMainForm::CreateComposer()
{
    DomWork = new TDomWork(new composer::TWebEditorHost(DHTMLEdit1), this);
    Prompter = std::make_unique<composer::TDialogPrompter>(this);
    DomWork->Prompter = Prompter.get();
    Views = std::make_unique<composer::TMailViews>(DomWork);
    Views->SourceText = [this] { return RxRichEdit1->toPlainText(); };
    Views->SetSourceText = [this](const QString &Text) { ReplaceText(RxRichEdit1, Text); };
    Views->PlainText = [this] { return RxRichEdit2->toPlainText(); };
    Preview = std::make_unique<composer::TPreview>();
    TabForm = new composer::TTabForm(this);

    connect(DomWork->Editor, &composer::TDomHost::DocumentLoaded, this,
            &TMainForm::DHTMLEdit1DocumentComplete);
    connect(DomWork->Editor, &composer::TDomHost::DocumentLoaded, this, &TMainForm::DHTMLEdit1Ready,
            Qt::QueuedConnection);
    connect(RxRichEdit1, &QPlainTextEdit::textChanged, this, &TMainForm::RxRichEdit1Change);
    connect(DomWork, &TDomWork::DisplayChanged, this, &TMainForm::DHTMLEdit1DisplayChanged);
    connect(DomWork, &TDomWork::RendererRestored, this, [this](const QString &Message) {
        QMessageBox::warning(this, composer::MessageTitle, Message);
    });
    connect(ComboBox2, &QComboBox::currentTextChanged, this, &TMainForm::UpdatePreviewTo);
    connect(Edit2, &QLineEdit::editingFinished, this, &TMainForm::UpdatePreviewSubject);

    // Each command is one action wherever it is placed: it is wired once.
    auto Connect = [this](std::initializer_list<QAction *> Items, auto &&Handler) {
        QList<QAction *> Done;
        for (QAction *A : Items) {
            if (Done.contains(A))
                continue;
            Done << A;
            A->setEnabled(true);
            connect(A, &QAction::triggered, this, Handler);
        }
    };
    Connect({Html0, HtmlMode}, [this] { Html0Click(); });
    Connect({PlainText0, PlainMode}, [this] { PlainText0Click(); });

    // The formatting bar: the boxes, then the toggles with the button's new state.
    for (QComboBox *Box : {ComboBox5, ComboBox8, ComboBox9})
        Box->setEnabled(true);
    connect(ComboBox5, &QComboBox::activated, this, [this] {
        DomWork->SetBlockFormat(ComboBox5->currentText());
        DHTMLEdit1->setFocus();
    });
    connect(ComboBox9, &QComboBox::activated, this, [this] {
        DomWork->ExecCommand(QStringLiteral("FontName"), ComboBox9->currentText());
        DHTMLEdit1->setFocus();
    });
    connect(ComboBox8, &QComboBox::activated, this, [this] {
        DomWork->ExecCommand(QStringLiteral("FontSize"), ComboBox8->currentText().toInt());
        DHTMLEdit1->setFocus();
    });
    const std::pair<QAction *, const char *> Toggles[] = {
        {SpeedItem9, "Bold"},           {SpeedItem10, "Italic"},
        {SpeedItem11, "Underline"},     {SpeedItem13, "JustifyLeft"},
        {SpeedItem14, "JustifyCenter"}, {SpeedItem15, "JustifyRight"}};
    for (const auto &[Item, Name] : Toggles)
        Connect({Item}, [this, Item, Name = QString::fromLatin1(Name)] {
            // The alignments are one group in which all may be up.
            const QAction *Alignments[] = {SpeedItem13, SpeedItem14, SpeedItem15};
            if (Item->isChecked() && std::find(std::begin(Alignments), std::end(Alignments),
                                               Item) != std::end(Alignments))
                for (QAction *Other : {SpeedItem13, SpeedItem14, SpeedItem15})
                    if (Other != Item)
                        Other->setChecked(false);
            DomWork->ExecCommand(Name, Item->isChecked());
        });
    Connect({SpeedItem12}, [this] {
        const QColor C = QColorDialog::getColor(Qt::black, this, QStringLiteral("Color"));
        if (C.isValid())
            DomWork->ExecCommand(QStringLiteral("ForeColor"),
                                 composer::ColorToInt(C.red(), C.green(), C.blue()));
    });

    // The two list commands exclude each other; the action itself carries its check mark.
    Connect({NumList0}, [this] {
        BulList0->setChecked(false);
        DomWork->ExecHtmlCommand(2184, false, false, QVariant());
    });
    Connect({BulList0}, [this] {
        NumList0->setChecked(false);
        DomWork->ExecHtmlCommand(2185, false, false, QVariant());
    });
    Connect({Decindent0, SpeedItem18},
            [this] { DomWork->ExecHtmlCommand(2187, false, false, QVariant()); });
    Connect({IncIndent0, SpeedItem19},
            [this] { DomWork->ExecHtmlCommand(2186, false, false, QVariant()); });
    Connect({SpeedItem21}, [this] { DomWork->SetShowDetails(SpeedItem21->isChecked()); });

    // The Insert menu, the font dialog and the Table submenu.
    Connect({HorizontalLine0, SpeedItem20},
            [this] { DomWork->ExecHtmlCommand(2150, true, false, QVariant()); });
    Connect({Image0, SpeedItem7},
            [this] { DomWork->ExecHtmlCommand(2168, true, false, QVariant()); });
    Connect({Hyperlink0, SpeedItem8},
            [this] { DomWork->ExecHtmlCommand(2124, true, false, QVariant()); });
    // The pop-up's "Insert Table..." runs Table0.
    Connect({Table0}, [this] { TabForm->InsertTable(*DomWork); });
    Connect({Font0, Font1}, [this] { DomWork->ExecEditCommand(5009, 0, QVariant()); });
    const std::pair<QAction *, int> TableCommands[] = {
        {InsertCell1, 5019}, {InsertCol1, 5020},   {InsertRow1, 5021},  {MergeCells1, 5029},
        {SplitCell1, 5047},  {DeleteCells1, 5005}, {DeleteCols1, 5006}, {DeleteRows1, 5007}};
    for (const auto &[Item, CmdId] : TableCommands)
        Connect({Item}, [this, CmdId = CmdId] { DomWork->ExecEditCommand(CmdId, 0, QVariant()); });
}

void TMainForm::Html0Click() { SetMailFormat(composer::TMailViews::HtmlFormat); }
void TMainForm::PlainText0Click() { SetMailFormat(composer::TMailViews::PlainFormat); }

void TMainForm::SetMailFormat(std::uint8_t Code)
{
    Views->FMailFormat = Code;
    if (Code == 0 || Code == 4) {
        HtmlMode->setChecked(Code == 4);
        PlainMode->setChecked(Code == 0);
        Html0->setChecked(Code == 4);
        PlainText0->setChecked(Code == 0);
    }
    UpdateControls();
    if (PageControl1->currentWidget() == TabSheet2) {
        if (PageControl2->currentWidget() == TabSheet5)
            BuildPreview();
        else if (PageControl2->currentWidget() == TabSheet3)
            (Code != 0 ? static_cast<QWidget *>(DHTMLEdit1) : RxRichEdit2)->setFocus();
    }
}

void TMainForm::AssignHTML() { Views->AssignHTML(); }

void TMainForm::RxRichEdit1Change() { Views->SourceChanged(); }

void TMainForm::DHTMLEdit1DisplayChanged()
{
    Views->DisplayChanged();
    // The formatting bar follows the caret as well as the edit commands.
    UpdateControls();
    UpdateEditCommands();
}

void TMainForm::DHTMLEdit1DocumentComplete(bool)
{
    if (!Views->DocumentComplete())
        return;
    ComboBox5->addItems(DomWork->BlockFormats);
    ComboBox5->setCurrentIndex(-1);
    AssignHTML();
}

void TMainForm::DHTMLEdit1Ready()
{
    // The formatting bar and the edit commands come alive with the document, not only
    // with the first caret move.
    UpdateControls();
    UpdateEditCommands();
}

void TMainForm::PageControl2Change()
{
    FormResize();
    if (PageControl1->currentWidget() == TabSheet2)
        TabSheet2Show();
    UpdateEditCommands();
}

void TMainForm::TabSheet2Show()
{
    QWidget *Page = PageControl2->currentWidget();
    if (Page == TabSheet3)
        TabSheet3Show();
    else if (Page == TabSheet10)
        TabSheet10Show();
    else if (Page == TabSheet5)
        TabSheet5Show();
}

void TMainForm::TabSheet3Show()
{
    Views->EditShown();
    (HtmlMode->isChecked() ? static_cast<QWidget *>(DHTMLEdit1) : RxRichEdit2)->setFocus();
    UpdateControls();
}

void TMainForm::TabSheet10Show()
{
    Views->SourceShown();
    RxRichEdit1->setFocus();
    UpdateControls();
}

void TMainForm::TabSheet5Show()
{
    BuildPreview();
    WebBrowser1->setFocus();
    UpdateControls();
}

void TMainForm::UpdatePreviewTo()
{
    PreviewTo->setText(Preview->PreviewTo(ComboBox2->currentText()));
}

void TMainForm::UpdatePreviewSubject()
{
    PreviewSubject->setText(Preview->PreviewSubject(Edit2->text()));
}

void TMainForm::BuildPreview()
{
    if (!Preview->FPreviewDirty)
        return;
    UpdatePreviewTo();
    UpdatePreviewSubject();
    Views->SyncForPreview();
    const bool Html = Views->FMailFormat == composer::TMailViews::HtmlFormat;
    QString Error;
    if (Preview->Build(Html, Html ? RxRichEdit1->toPlainText() : RxRichEdit2->toPlainText(),
                       &Error)) {
        WebBrowser1->load(QUrl::fromLocalFile(Preview->FPreviewFile));
        return;
    }
    QMessageBox Box(QMessageBox::Critical, composer::MessageTitle, QStringLiteral("Preview Failed"),
                    QMessageBox::Ok, this);
    Box.setInformativeText(Error);
    Box.exec();
}

void TMainForm::WebBrowser1DocumentComplete(bool)
{
    Preview->FPreviewDirty = true;
    if (FPreviewAgain) {
        FPreviewAgain = false;
        // The build may read the HTML editor: not from inside the engine's own event.
        composer::RunSoon(this, [this] { BuildPreview(); });
    }
}

void TMainForm::PreviewRecordChanged()
{
    if (Preview->FPreviewDirty)
        BuildPreview();
    else
        FPreviewAgain = true;
}

void TMainForm::DBNavigator1Click(int Button)
{
    tables::TADOQuery &Q = Workspace->ADOQuery1();
    if (!Q.Active())
        return;
    RunTableCommand([&Q, Button] {
        switch (Button) {
        case 0: Q.First(); break;
        case 1: Q.Prior(); break;
        case 2: Q.Next(); break;
        default: Q.Last(); break;
        }
    });
    PreviewRecordChanged();
}

void TMainForm::UpdateNavigator()
{
    const tables::TADOQuery *Q = Workspace ? &Workspace->ADOQuery1() : nullptr;
    // No move while a record is being edited (it has no number then).
    const int RecNo = Q && Q->Active() ? Q->RecNo() : -1;
    const bool Back = RecNo > 1, Forward = RecNo >= 1 && RecNo < Q->RecordCount();
    const bool States[] = {Back, Back, Forward, Forward};
    for (std::size_t i = 0; i < NavButtons.size(); ++i)
        if (NavButtons[i])
            NavButtons[i]->setEnabled(States[i]);
}

} // namespace qf::shell
