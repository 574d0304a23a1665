#pragma once
// TDomWork drives the WYSIWYG HTML editor: named commands on the selection, commands by
// number with their status (0 not supported, 1 disabled, 3 enabled, 7 enabled and
// latched), paragraph formats, the paste of generated HTML and the document HTML. It
// talks to the editor's page through a TDomHost; the page side is the script
// ":/composer/domwork.js". The page pushes every command state after each selection
// change and input, and the synchronous queries answer from those states; where a fresh
// answer is needed, Call waits for the page in a nested event loop, and a page that does
// not answer in time reads as "disabled" (status 1, empty value). Call from user commands
// and timer events, never from a paint handler or a slot reached through a queued
// connection: the engine cannot answer a wait that runs inside a posted event's delivery,
// so such a call always ends in the time-out. The host's signals and DisplayChanged arrive
// from timer events for that reason. User interface thread only.

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <functional>
#include <memory>

namespace qf::composer {

// The editor's page, seen from TDomWork: the user interface library implements it over
// a QWebEngineView; tests may stand in for it.
class TDomHost : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Runs Script in the editing script world; Done receives its result, or never runs
    // when the page goes away first.
    virtual void RunScript(const QString &Script, std::function<void(const QVariant &)> Done) = 0;
    // Replaces the document; the page reports DocumentLoaded when it is complete.
    virtual void LoadDocument(const QString &Html) = 0;
    // Cut, copy, paste, undo, redo and select all by the editor's own means (5003, 5002,
    // 5032, 5049, 5033, 5035).
    virtual void TriggerEditAction(int CmdId) = 0;

signals:
    void StatePushed(const QVariant &State);
    // The user typed or clicked into the page: pushed states are out of date until the
    // next push.
    void InputStarted();
    void DocumentLoaded(bool Ok);
    void RendererDied();
};

// What the image dialog asks for.
struct TImageAttrs {
    QString Src, Alt, Align;
    QString Border;
};

// What the font dialog shows and returns; the values are those of the named commands.
struct TFontAttrs {
    QString Name;
    int Size = 0;  // 1 to 7, 0 for none
    int Color = 0; // red in the lowest byte
    bool Bold = false, Italic = false, Underline = false;
};

// The dialogs and messages the editor's commands need; the user interface supplies them.
class TDomPrompter {
public:
    virtual ~TDomPrompter() = default;
    virtual bool AskHyperlink(QString &Url) = 0;
    virtual bool AskImage(TImageAttrs &Attrs) = 0;
    virtual bool AskFont(TFontAttrs &Attrs) = 0;
    virtual void ShowError(const QString &Message) = 0;
};

class TDomWork : public QObject {
    Q_OBJECT
public:
    // Status values and command groups.
    static constexpr int NotSupported = 0, Disabled = 1, Enabled = 3, Latched = 7;
    static constexpr int NotSupportedResult = int(0x80040100u);
    static constexpr int DefaultCallTimeoutMs = 5000;

    explicit TDomWork(TDomHost *Editor, QObject *Parent = nullptr);
    ~TDomWork() override;

    TDomHost *Editor;   // owned
    bool Ready = false; // set by the window when the document is complete
    QStringList BlockFormats;
    TDomPrompter *Prompter = nullptr;
    int CallTimeoutMs = DefaultCallTimeoutMs;

    QVariant QueryCommandValue(const QString &Name);
    void ExecCommand(const QString &Name, const QVariant &Value);
    int QueryCommandStatus(int CmdId, bool EditGroup);
    void QueryStatus(int CmdId, bool EditGroup, bool &Enabled, bool &Latched);
    int ExecOleCommand(int CmdId, const QVariant &In, bool EditGroup, bool Prompt, QVariant &Out);
    int ExecHtmlCommand(int CmdId, bool Prompt, bool EditGroup, const QVariant &Scratch);
    void LoadBlockFormats();
    QString GetBlockFormat();
    void SetBlockFormat(const QString &Name);
    void ExecEditCommand(int CmdId, int ExecOption, const QVariant &Arg);
    QVariant IsEditCommandEnabled(int CmdId);
    void InsertTable(int Rows, int Cols, const QString &Border, const QString &CellPadding,
                     const QString &CellSpacing, const QString &Width);

    // The document without the editing scaffolding; setting it loads a new document and
    // clears Ready.
    QString DocumentHTML();
    void SetDocumentHTML(const QString &Html);
    void PasteHTML(const QString &Html);
    void SetShowDetails(bool On);

    // The one synchronous call into the page: qfDom.call(Function, Args), waited for in a
    // nested event loop for at most CallTimeoutMs. TimedOut tells a page that did not
    // answer from one that answered nothing.
    QVariant Call(const QString &Function, const QVariantList &Args = {}, bool *TimedOut = nullptr);

    // The last document known to be whole: set, read back, or saved while the user types.

signals:
    // Any edit or caret move in a complete document.
    void DisplayChanged();
    // The renderer died and the editor was reloaded; the text tells the user what happened.
    void RendererRestored(const QString &Message);

private:
    void StateArrived(const QVariant &State);
    void MarkStale();
    void EmitDisplayChanged();
    // The states as the page has them now: pushed ones while fresh, else one call for all.
    bool FreshState(bool *TimedOut = nullptr);
    void Restore();
    void SaveSoon();

    QVariantMap FState;
    bool FStateFresh = false;
    qint64 FStaleSince = 0; // wall-clock milliseconds, as the page's states carry them
    int FCallDepth = 0;
    bool FDisplayPending = false;
    QString FLastHtml;
    QTimer FSaveTimer;
    bool FRestoring = false;
    bool FLoading = false; // a document is on its way into the page
    std::shared_ptr<bool> FAlive;
};

// Runs Work from a timer event of its own as soon as the event loop is free (not through
// the posted events that QTimer::singleShot(0) uses): a place where waits for the page work.
void RunSoon(QObject *Context, std::function<void()> Work);

// The HTML of a new table (Rows rows of Cols cells, each holding one non-breaking space).
// Every column but the last gets the width divided by the columns, the last the rest as
// well. InvalidWidth is set when Width (without a trailing "%") is not a number; the
// cells then carry no width. Empty when Rows or Cols is 0.
QString TableHtml(int Rows, int Cols, const QString &Border, const QString &CellPadding,
                  const QString &CellSpacing, const QString &Width, bool *InvalidWidth = nullptr);

// The width the Insert Table dialog gives: the text with "%" unless in pixels, or "100%"
// when no width is specified.
QString TableWidth(bool SpecifyWidth, const QString &Text, bool InPixels);

// Colours in the editor's layout (red in the lowest byte) from and to red, green, blue.
int ColorToInt(int Red, int Green, int Blue);
void IntToColor(int Value, int &Red, int &Green, int &Blue);

} // namespace qf::composer
