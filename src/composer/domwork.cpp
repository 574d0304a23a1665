#include "composer/domwork.h"

#include <QDateTime>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

void qf_composer_InitResources()
{
    static const bool Done = [] {
        Q_INIT_RESOURCE(composer);
        return true;
    }();
    Q_UNUSED(Done);
}

namespace qf::composer {

namespace {

// Pushed states keep the user's latest typing this long before it is saved for a
// restart of the editor.
constexpr int SaveDelayMs = 2000;

bool IsTableCommand(int CmdId)
{
    switch (CmdId) {
    case 5005:
    case 5006:
    case 5007:
    case 5019:
    case 5020:
    case 5021:
    case 5029:
    case 5047: return true;
    }
    return false;
}

bool IsNativeEditCommand(int CmdId)
{
    switch (CmdId) {
    case 5002:
    case 5003:
    case 5032:
    case 5033:
    case 5035:
    case 5049: return true;
    }
    return false;
}

// Values as the named commands give them: Boolean states, integer sizes and colours,
// font names as text; nothing as an empty variant.
QVariant NamedValue(const QString &Name, const QVariant &V)
{
    if (!V.isValid() || V.isNull())
        return {};
    if (Name == QLatin1String("FontName"))
        return V.toString();
    if (Name == QLatin1String("FontSize") || Name == QLatin1String("ForeColor"))
        return V.toInt();
    return V.toBool();
}

} // namespace

TDomWork::TDomWork(TDomHost *Editor_, QObject *Parent)
    : QObject(Parent), Editor(Editor_), FAlive(std::make_shared<bool>(true))
{
    qf_composer_InitResources();
    FSaveTimer.setSingleShot(true);
    FSaveTimer.setInterval(SaveDelayMs);
    connect(&FSaveTimer, &QTimer::timeout, this, &TDomWork::SaveSoon);
    connect(Editor, &TDomHost::StatePushed, this, &TDomWork::StateArrived);
    connect(Editor, &TDomHost::InputStarted, this, &TDomWork::MarkStale);
    connect(Editor, &TDomHost::RendererDied, this, &TDomWork::Restore);
    connect(Editor, &TDomHost::DocumentLoaded, this, [this](bool) {
        FLoading = false;
        if (!FRestoring)
            return;
        FRestoring = false;
        // The restored text may be newer than the source: count it as an edit.
        RunSoon(this, [this] {
            if (Ready)
                EmitDisplayChanged();
        });
    });
}

TDomWork::~TDomWork()
{
    *FAlive = false;
    BlockFormats.clear();
    delete Editor;
}

QVariant TDomWork::Call(const QString &Function, const QVariantList &Args, bool *TimedOut)
{
    if (TimedOut)
        *TimedOut = false;
    const QJsonArray Request{Function, QJsonArray::fromVariantList(Args)};
    const QString Script =
        QStringLiteral("window.qfDom ? qfDom.call.apply(null, %1) : undefined")
            .arg(QString::fromUtf8(QJsonDocument(Request).toJson(QJsonDocument::Compact)));
    struct TWait {
        QEventLoop Loop;
        QVariant Result;
        bool Done = false;
    };
    auto W = std::make_shared<TWait>();
    const std::weak_ptr<bool> Alive = FAlive;
    ++FCallDepth;
    Editor->RunScript(Script, [W](const QVariant &Result) {
        W->Result = Result;
        W->Done = true;
        W->Loop.quit();
    });
    if (!W->Done) {
        QTimer::singleShot(CallTimeoutMs, &W->Loop, &QEventLoop::quit);
        connect(Editor, &TDomHost::RendererDied, &W->Loop, &QEventLoop::quit);
        W->Loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (Alive.expired())
        return {};
    if (--FCallDepth == 0 && FDisplayPending) {
        FDisplayPending = false;
        RunSoon(this, [this] {
            if (Ready)
                EmitDisplayChanged();
        });
    }
    if (!W->Done) {
        if (TimedOut)
            *TimedOut = true;
        return {};
    }
    return W->Result;
}

void TDomWork::StateArrived(const QVariant &State)
{
    const QVariantMap M = State.toMap();
    if (M.isEmpty())
        return;
    // A state the page took before the latest input or command is out of date: it still
    // reports a change, but the next query asks the page.
    FState = M;
    FStateFresh = M.value(QStringLiteral("at")).toLongLong() > FStaleSince;
    if (M.value(QStringLiteral("dirty")).toBool() && !FSaveTimer.isActive())
        FSaveTimer.start();
    if (Ready && !M.value(QStringLiteral("init")).toBool())
        EmitDisplayChanged();
}

void TDomWork::MarkStale()
{
    FStateFresh = false;
    FStaleSince = QDateTime::currentMSecsSinceEpoch();
}

void TDomWork::EmitDisplayChanged()
{
    // Handlers query the page again: not from inside a wait for the page.
    if (FCallDepth > 0) {
        FDisplayPending = true;
        return;
    }
    emit DisplayChanged();
}

bool TDomWork::FreshState(bool *TimedOut)
{
    if (TimedOut)
        *TimedOut = false;
    if (FStateFresh)
        return true;
    const QVariant S = Call(QStringLiteral("state"), {}, TimedOut);
    if (S.typeId() != QMetaType::QVariantMap)
        return false;
    FState = S.toMap();
    FStateFresh = true;
    if (FState.value(QStringLiteral("dirty")).toBool() && !FSaveTimer.isActive())
        FSaveTimer.start();
    return true;
}

void TDomWork::SaveSoon()
{
    // Read without waiting: a slow page must not stall typing.
    const QString Before = FLastHtml;
    const std::weak_ptr<bool> Alive = FAlive;
    Editor->RunScript(QStringLiteral("window.qfDom ? qfDom.call(\"html\", []) : undefined"),
                      [this, Alive, Before](const QVariant &Html) {
                          // A document set meanwhile wins over this older reading.
                          if (!Alive.expired() && !FLoading && FLastHtml == Before &&
                              Html.typeId() == QMetaType::QString)
                              FLastHtml = Html.toString();
                      });
}

void TDomWork::Restore()
{
    Ready = false;
    FStateFresh = false;
    FState.clear();
    FSaveTimer.stop();
    FRestoring = true;
    FLoading = true;
    Editor->LoadDocument(FLastHtml);
    emit RendererRestored(
        QStringLiteral("The HTML editor stopped unexpectedly and has been restarted with the last "
                       "known state of the message. Please check the text: the latest changes may "
                       "be missing."));
}

QVariant TDomWork::QueryCommandValue(const QString &Name)
{
    if (!Ready)
        return {};
    // Out-of-date states are asked of the page all at once: a refresh reads many of them.
    bool TimedOut = false;
    if (FreshState(&TimedOut))
        return NamedValue(Name, FState.value(QStringLiteral("values")).toMap().value(Name));
    if (TimedOut)
        return {};
    return NamedValue(Name, Call(QStringLiteral("value"), {Name}));
}

void TDomWork::ExecCommand(const QString &Name, const QVariant &Value)
{
    if (!Ready)
        return;
    const QVariant V = QueryCommandValue(Name);
    if (V.isValid() && V == NamedValue(Name, Value))
        return;
    MarkStale();
    Call(QStringLiteral("exec"), {Name, Value});
}

int TDomWork::QueryCommandStatus(int CmdId, bool EditGroup)
{
    bool TimedOut = false;
    if (FreshState(&TimedOut)) {
        const QVariantMap Group =
            FState.value(EditGroup ? QStringLiteral("edit") : QStringLiteral("doc")).toMap();
        const QString Key = QString::number(CmdId);
        if (Group.contains(Key))
            return Group.value(Key).toInt();
    }
    if (TimedOut)
        return Disabled;
    // A status the states do not carry is asked alone. A page without the editing script
    // answers nothing: no document to command.
    const QVariant S = Call(QStringLiteral("status"), {CmdId, EditGroup}, &TimedOut);
    return TimedOut ? Disabled : S.toInt();
}

void TDomWork::QueryStatus(int CmdId, bool EditGroup, bool &Enabled, bool &Latched)
{
    const int S = QueryCommandStatus(CmdId, EditGroup);
    Enabled = (S & 2) != 0;
    Latched = (S & 4) != 0;
}

int TDomWork::ExecOleCommand(int CmdId, const QVariant &In, bool EditGroup, bool Prompt,
                             QVariant &Out)
{
    MarkStale();
    if (!EditGroup) {
        switch (CmdId) {
        case 2233: Out = Call(QStringLiteral("blockFormats")); return 0;
        case 2234: Call(QStringLiteral("setBlockFormat"), {In.toString()}); return 0;
        case 2124: {
            QString Url = In.toString();
            if (Prompt) {
                Url = Call(QStringLiteral("linkHref")).toString();
                if (!Prompter || !Prompter->AskHyperlink(Url))
                    return 0;
            }
            Call(QStringLiteral("setLink"), {Url});
            return 0;
        }
        case 2168: {
            TImageAttrs Attrs;
            Attrs.Src = In.toString();
            if (Prompt && (!Prompter || !Prompter->AskImage(Attrs)))
                return 0;
            Call(QStringLiteral("image"), {QVariantMap{{QStringLiteral("src"), Attrs.Src},
                                                       {QStringLiteral("alt"), Attrs.Alt},
                                                       {QStringLiteral("align"), Attrs.Align},
                                                       {QStringLiteral("border"), Attrs.Border}}});
            return 0;
        }
        case 2150:
        case 2184:
        case 2185:
        case 2186:
        case 2187: Call(QStringLiteral("docCommand"), {CmdId}); return 0;
        }
        return NotSupportedResult;
    }
    if (IsNativeEditCommand(CmdId)) {
        Editor->TriggerEditAction(CmdId);
        return 0;
    }
    if (IsTableCommand(CmdId)) {
        Call(QStringLiteral("table"), {CmdId});
        return 0;
    }
    if (CmdId == 5011) {
        Out = Call(QStringLiteral("blockFormat"));
        return 0;
    }
    if (CmdId == 5009) {
        // The font dialog starts from the selection's font and changes what the user changed.
        TFontAttrs Old;
        if (FreshState()) {
            const QVariantMap V = FState.value(QStringLiteral("values")).toMap();
            Old.Name = V.value(QStringLiteral("FontName")).toString();
            Old.Size = V.value(QStringLiteral("FontSize")).toInt();
            Old.Color = V.value(QStringLiteral("ForeColor")).toInt();
            Old.Bold = V.value(QStringLiteral("Bold")).toBool();
            Old.Italic = V.value(QStringLiteral("Italic")).toBool();
            Old.Underline = V.value(QStringLiteral("Underline")).toBool();
        }
        TFontAttrs New = Old;
        if (!Prompter || !Prompter->AskFont(New))
            return 0;
        auto Change = [this](const char *Name, const QVariant &From, const QVariant &To) {
            if (From != To) {
                MarkStale();
                Call(QStringLiteral("exec"), {QString::fromLatin1(Name), To});
            }
        };
        if (!New.Name.isEmpty())
            Change("FontName", Old.Name, New.Name);
        if (New.Size >= 1 && New.Size <= 7)
            Change("FontSize", Old.Size, New.Size);
        Change("ForeColor", Old.Color, New.Color);
        Change("Bold", Old.Bold, New.Bold);
        Change("Italic", Old.Italic, New.Italic);
        Change("Underline", Old.Underline, New.Underline);
        return 0;
    }
    return NotSupportedResult;
}

int TDomWork::ExecHtmlCommand(int CmdId, bool Prompt, bool EditGroup, const QVariant &Scratch)
{
    QVariant Out = Scratch;
    return ExecOleCommand(CmdId, QVariant(), EditGroup, Prompt, Out);
}

void TDomWork::LoadBlockFormats()
{
    QVariant Out = QVariantList();
    if (ExecOleCommand(2233, QVariant(), false, false, Out) == 0)
        for (const QVariant &Name : Out.toList())
            BlockFormats.append(Name.toString());
}

QString TDomWork::GetBlockFormat()
{
    if (QueryCommandStatus(5011, true) != Enabled)
        return {};
    // The states carry the format; the page is asked alone only when they cannot be had.
    if (FreshState())
        return FState.value(QStringLiteral("block")).toString();
    QVariant Out;
    ExecOleCommand(5011, QVariant(), true, false, Out);
    return Out.toString();
}

void TDomWork::SetBlockFormat(const QString &Name)
{
    QVariant Scratch;
    ExecOleCommand(2234, Name, false, false, Scratch);
}

void TDomWork::ExecEditCommand(int CmdId, int, const QVariant &Arg)
{
    if (!Ready || (QueryCommandStatus(CmdId, true) & 3) != 3)
        return;
    QVariant Scratch;
    ExecOleCommand(CmdId, Arg, true, false, Scratch);
}

QVariant TDomWork::IsEditCommandEnabled(int CmdId) { return QueryCommandStatus(CmdId, true); }

void TDomWork::InsertTable(int Rows, int Cols, const QString &Border, const QString &CellPadding,
                           const QString &CellSpacing, const QString &Width)
{
    if (Rows == 0 || Cols == 0)
        return;
    bool Invalid = false;
    const QString Html = TableHtml(Rows, Cols, Border, CellPadding, CellSpacing, Width, &Invalid);
    if (Invalid && Prompter)
        Prompter->ShowError(QStringLiteral("Invalid Width"));
    PasteHTML(Html);
}

QString TDomWork::DocumentHTML()
{
    // While a document loads, the page may still show the one before it.
    if (FLoading)
        return FLastHtml;
    const QVariant Html = Call(QStringLiteral("html"));
    // A page that cannot answer gives the last document it is known to hold, never an
    // empty one that would wipe the source.
    if (Html.typeId() == QMetaType::QString)
        FLastHtml = Html.toString();
    return FLastHtml;
}

void TDomWork::SetDocumentHTML(const QString &Html)
{
    Ready = false;
    FStateFresh = false;
    FState.clear();
    FSaveTimer.stop();
    FLastHtml = Html;
    FLoading = true;
    Editor->LoadDocument(Html);
}

void TDomWork::PasteHTML(const QString &Html)
{
    MarkStale();
    Call(QStringLiteral("pasteHtml"), {Html});
}

void TDomWork::SetShowDetails(bool On) { Call(QStringLiteral("details"), {On}); }

void RunSoon(QObject *Context, std::function<void()> Work)
{
    auto *T = new QTimer(Context);
    T->setSingleShot(true);
    T->setInterval(0);
    QObject::connect(T, &QTimer::timeout, Context, [T, Work = std::move(Work)] {
        T->deleteLater();
        Work();
    });
    T->start();
}

QString TableHtml(int Rows, int Cols, const QString &Border, const QString &CellPadding,
                  const QString &CellSpacing, const QString &Width, bool *InvalidWidth)
{
    if (InvalidWidth)
        *InvalidWidth = false;
    if (Rows == 0 || Cols == 0)
        return {};
    int W = 0;
    QString Suffix;
    if (!Width.isEmpty()) {
        QString Number = Width;
        if (Width.endsWith(QLatin1Char('%'))) {
            Suffix = QStringLiteral("%");
            Number.chop(1);
        }
        bool Ok = false;
        W = Number.toInt(&Ok);
        if (!Ok) {
            W = 0;
            if (InvalidWidth)
                *InvalidWidth = true;
        }
    }
    int CellWidth = W / Cols;
    int Used = 0;
    QString RowHtml;
    for (int i = 1; i <= Cols; ++i) {
        if (W > 0) {
            Used += CellWidth;
            if (i == Cols)
                CellWidth += W - Used;
            RowHtml += QStringLiteral("<td width=\"") + QString::number(CellWidth) + Suffix +
                       QStringLiteral("\">&nbsp;</td>");
        } else {
            RowHtml += QStringLiteral("<td>&nbsp;</td>");
        }
    }
    QString Body;
    for (int r = 0; r < Rows; ++r)
        Body += QStringLiteral("<tr>") + RowHtml + QStringLiteral("</tr>");
    return QStringLiteral("<table border=%1 cellpadding=%2 cellspacing=%3 width=%4>%5</table>")
        .arg(Border, CellPadding, CellSpacing, QLatin1Char('"') + Width + QLatin1Char('"'), Body);
}

QString TableWidth(bool SpecifyWidth, const QString &Text, bool InPixels)
{
    if (!SpecifyWidth)
        return QStringLiteral("100%");
    return InPixels ? Text : Text + QLatin1Char('%');
}

int ColorToInt(int Red, int Green, int Blue)
{
    return (Red & 255) | ((Green & 255) << 8) | ((Blue & 255) << 16);
}

void IntToColor(int Value, int &Red, int &Green, int &Blue)
{
    Red = Value & 255;
    Green = (Value >> 8) & 255;
    Blue = (Value >> 16) & 255;
}

} // namespace qf::composer
