#include "shell/editrouting.h"

#include "shell/mainform.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace qf::shell {

namespace {

// The text editors have redo; the memos and the Subject edit do not.
void TextCommand(QPlainTextEdit *E, std::uint8_t Code, bool Redo)
{
    switch (Code) {
    case 0: E->cut(); break;
    case 1: E->copy(); break;
    case 2: E->paste(); break;
    case 3: E->undo(); break;
    case 4: if (Redo) E->redo(); break;
    case 5: E->selectAll(); break;
    }
}

void LineCommand(QLineEdit *E, std::uint8_t Code)
{
    switch (Code) {
    case 0: E->cut(); break;
    case 1: E->copy(); break;
    case 2: E->paste(); break;
    case 3: E->undo(); break;
    case 5: E->selectAll(); break;
    }
}

void HtmlCommand(TMainForm &Form, std::uint8_t Code)
{
    static const QWebEnginePage::WebAction Actions[] = {
        QWebEnginePage::Cut, QWebEnginePage::Copy, QWebEnginePage::Paste,
        QWebEnginePage::Undo, QWebEnginePage::Redo, QWebEnginePage::SelectAll};
    Form.DHTMLEdit1->page()->triggerAction(Actions[Code]);
}

}  // namespace

void ExecEditCommand(TMainForm &Form, QWidget *Control, std::uint8_t Code)
{
    if (!Control || Code > 5)
        return;
    if (Control == Form.RxRichEdit1 || Control == Form.RxRichEdit2)
        TextCommand(static_cast<QPlainTextEdit *>(Control), Code, true);
    else if (Control == Form.DHTMLEdit1)
        HtmlCommand(Form, Code);
    else if (Control == Form.Memo2 || Control == Form.Memo1)
        TextCommand(static_cast<QPlainTextEdit *>(Control), Code, false);
    else if (Control == Form.Edit2)
        LineCommand(Form.Edit2, Code);
}

}  // namespace qf::shell
