#pragma once
// TWebEditorHost puts TDomWork's page on a QWebEngineView: the view's page gets
// JavaScript switched off in its own world (the message's scripts never run), the
// editing script ":/composer/domwork.js" and the web channel in a world of their own,
// and refuses every navigation but the documents the host loads itself. Documents up to
// a few hundred kilobytes go in through setHtml; larger ones through a temporary file,
// removed as soon as the page has read it. Key presses and clicks that reach the page
// mark its pushed states as stale; a renderer that ends reports RendererDied. The page's
// reports arrive through the event queue, never from inside the engine's callbacks (a
// wait for the page there would never end), and so does DocumentLoaded: the window
// connects to it, not to the view's loadFinished.

#include "composer/domwork.h"

#include <QPointer>
#include <QUrl>

class QTemporaryFile;
class QWebChannel;
#include <QWebEngineView>

namespace qf::composer {

class TWebEditorHost : public TDomHost {
    Q_OBJECT
public:
    explicit TWebEditorHost(QWebEngineView *View);
    ~TWebEditorHost() override;

    void RunScript(const QString &Script, std::function<void(const QVariant &)> Done) override;
    void LoadDocument(const QString &Html) override;
    void TriggerEditAction(int CmdId) override;

    QWebEngineView *View() const { return FView; }
    // The folder that relative links and images of the document resolve against.
    QUrl BaseUrl;

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    void WatchInput(QObject *Child);

    QPointer<QWebEngineView> FView;
    QWebChannel *FChannel;
    QTemporaryFile *FLargeDocument = nullptr;
};

} // namespace qf::composer
