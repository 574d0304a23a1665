#include "composer/ui/editorhost.h"

#include <QChildEvent>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QTemporaryFile>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

void qf_composer_InitResources();

namespace qf::composer {

namespace {

// Documents above this size do not fit the data URL that setHtml builds.
constexpr qsizetype LargeDocument = 400 * 1024;

// The page refuses to leave the document: links, forms and refreshes in a message stay
// where they are, and only the host's own loads go through.
class TEditorPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl &, NavigationType Type, bool IsMainFrame) override
    {
        return !IsMainFrame || Type == NavigationTypeTyped;
    }
    QWebEnginePage *createWindow(WebWindowType) override { return nullptr; }
};

// The object the page's script pushes its states to.
class TPageBridge : public QObject {
    Q_OBJECT
public:
    explicit TPageBridge(QObject *Parent) : QObject(Parent) {}
    Q_INVOKABLE void push(const QVariant &State) { emit Pushed(State); }

signals:
    void Pushed(const QVariant &State);
};

QString ResourceText(const QString &Name)
{
    QFile F(Name);
    if (!F.open(QIODevice::ReadOnly))
        qFatal("Resource %s is missing", qPrintable(Name));
    return QString::fromUtf8(F.readAll());
}

QWebEngineScript Script(const char *Name, const QString &Source,
                        QWebEngineScript::InjectionPoint Point)
{
    QWebEngineScript S;
    S.setName(QString::fromLatin1(Name));
    S.setSourceCode(Source);
    S.setWorldId(QWebEngineScript::ApplicationWorld);
    S.setInjectionPoint(Point);
    S.setRunsOnSubFrames(false);
    return S;
}

} // namespace

TWebEditorHost::TWebEditorHost(QWebEngineView *View) : FView(View), FChannel(new QWebChannel(this))
{
    qf_composer_InitResources();
    BaseUrl = QUrl::fromLocalFile(QDir::tempPath() + QLatin1Char('/'));

    auto *Page = new TEditorPage(View);
    Page->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    Page->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    Page->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    Page->scripts().insert(Script("qwebchannel",
                                  ResourceText(QStringLiteral(":/qtwebchannel/qwebchannel.js")),
                                  QWebEngineScript::DocumentCreation));
    Page->scripts().insert(Script("domwork", ResourceText(QStringLiteral(":/composer/domwork.js")),
                                  QWebEngineScript::DocumentReady));
    auto *Bridge = new TPageBridge(this);
    FChannel->registerObject(QStringLiteral("qfHost"), Bridge);
    Page->setWebChannel(FChannel, QWebEngineScript::ApplicationWorld);
    // Every report of the page reaches TDomWork from a timer event of its own: its handlers
    // may wait for the page, which the engine cannot answer from inside its own callbacks
    // or a posted event's delivery.
    connect(Bridge, &TPageBridge::Pushed, this, [this](const QVariant &State) {
        RunSoon(this, [this, State] { emit StatePushed(State); });
    });

    View->setPage(Page); // the view deletes its own first page

    connect(Page, &QWebEnginePage::loadFinished, this, [this](bool Ok) {
        RunSoon(this, [this, Ok] {
            delete FLargeDocument; // the page has read it
            FLargeDocument = nullptr;
            emit DocumentLoaded(Ok);
        });
    });
    connect(Page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus, int) {
                RunSoon(this, [this] { emit RendererDied(); });
            });

    View->installEventFilter(this);
    for (QObject *Child : View->children())
        WatchInput(Child);
}

TWebEditorHost::~TWebEditorHost()
{
    // The page outlives the host in its view: it must not keep the channel that goes now.
    if (FView && FView->page())
        FView->page()->setWebChannel(nullptr, QWebEngineScript::ApplicationWorld);
    delete FLargeDocument;
}

void TWebEditorHost::WatchInput(QObject *Child)
{
    if (Child->isWidgetType())
        Child->installEventFilter(this);
}

bool TWebEditorHost::eventFilter(QObject *Watched, QEvent *Event)
{
    switch (Event->type()) {
    case QEvent::ChildAdded:
        if (Watched == FView)
            WatchInput(static_cast<QChildEvent *>(Event)->child());
        break;
    case QEvent::KeyPress:
    case QEvent::InputMethod:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: emit InputStarted(); break;
    default: break;
    }
    return TDomHost::eventFilter(Watched, Event);
}

void TWebEditorHost::RunScript(const QString &Script, std::function<void(const QVariant &)> Done)
{
    if (!FView) {
        return; // the view is gone: no answer
    }
    FView->page()->runJavaScript(Script, QWebEngineScript::ApplicationWorld,
                                 [Done = std::move(Done)](const QVariant &R) { Done(R); });
}

void TWebEditorHost::LoadDocument(const QString &Html)
{
    if (!FView)
        return;
    delete FLargeDocument;
    FLargeDocument = nullptr;
    // An empty page never gets the editing script, so nothing typed there would reach the
    // source: an empty source loads as a blank document.
    if (Html.trimmed().isEmpty()) {
        FView->page()->setHtml(QStringLiteral("<html><body></body></html>"), BaseUrl);
        return;
    }
    if (Html.size() < LargeDocument) {
        FView->page()->setHtml(Html, BaseUrl);
        return;
    }
    // The byte order mark makes the page read UTF-8 whatever charset the document names.
    FLargeDocument = new QTemporaryFile(QDir::tempPath() + QStringLiteral("/qfeditXXXXXX.html"));
    if (!FLargeDocument->open() || FLargeDocument->write("\xEF\xBB\xBF") != 3 ||
        FLargeDocument->write(Html.toUtf8()) < 0 || !FLargeDocument->flush()) {
        // No room for the file: the document goes in as far as setHtml takes it.
        delete FLargeDocument;
        FLargeDocument = nullptr;
        FView->page()->setHtml(Html, BaseUrl);
        return;
    }
    FView->page()->load(QUrl::fromLocalFile(FLargeDocument->fileName()));
}

void TWebEditorHost::TriggerEditAction(int CmdId)
{
    if (!FView)
        return;
    QWebEnginePage::WebAction Action;
    switch (CmdId) {
    case 5003: Action = QWebEnginePage::Cut; break;
    case 5002: Action = QWebEnginePage::Copy; break;
    case 5032: Action = QWebEnginePage::Paste; break;
    case 5049: Action = QWebEnginePage::Undo; break;
    case 5033: Action = QWebEnginePage::Redo; break;
    case 5035: Action = QWebEnginePage::SelectAll; break;
    default: return;
    }
    FView->page()->triggerAction(Action);
}

} // namespace qf::composer

#include "editorhost.moc"
