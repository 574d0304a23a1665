#include "shell/editrouting.h"

#include "composer/domwork.h"
#include "shell/mainform.h"

#include <QLineEdit>
#include <QPlainTextEdit>
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
    case 4:
        if (Redo)
            E->redo();
        break;
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

// The wrapper runs a command only when the document is ready and the command enabled.
void HtmlCommand(TMainForm &Form, std::uint8_t Code)
{
    static const int Commands[] = {5003, 5002, 5032, 5049, 5033, 5035};
    Form.DomWork->ExecEditCommand(Commands[Code], 0, QVariant());
}

} // namespace

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

} // namespace qf::shell
