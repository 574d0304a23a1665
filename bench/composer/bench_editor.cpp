// The HTML editor's costs against the bare engine:
//  1. one synchronous command-state query through TDomWork (answered from the state the
//     page pushed, and asked of the page afresh) against one bare runJavaScript round trip;
//  2. loading a 1 MB HTML message into the editor and reading it back as DocumentHTML,
//     against loading the same file into a plain QWebEngineView.
//
//   QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 composer_editor_bench [repetitions]

#include "composer/domwork.h"
#include "composer/ui/editorhost.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace qf::composer;

namespace {

double Median(std::vector<double> V)
{
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}

bool WaitFor(QSignalSpy &Spy, int Count)
{
    QElapsedTimer T;
    T.start();
    while (Spy.count() < Count && T.elapsed() < 60000)
        Spy.wait(1000);
    return Spy.count() >= Count;
}

// One round trip as any caller would make it: a script, and a nested loop until it answers.
double BareRoundTrip(QWebEnginePage *Page)
{
    QElapsedTimer T;
    T.start();
    QEventLoop Loop;
    bool Done = false;
    Page->runJavaScript(QStringLiteral("document.queryCommandState('bold')"),
                        QWebEngineScript::ApplicationWorld, [&](const QVariant &) {
                            Done = true;
                            Loop.quit();
                        });
    if (!Done)
        Loop.exec();
    return T.nsecsElapsed() / 1e6;
}

QString Message()
{
    QString Html =
        QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Letter</title>"
                       "</head><body>");
    for (int i = 0; Html.size() < 1024 * 1024; ++i)
        Html += QStringLiteral(
                    "<p>Paragraph %1: <b>Dear %%NAME%%</b>, the order <i>%2</i> is on its way. "
                    "<a href=\"https://example.org/%1\">Track it</a>.</p>\n"
                    "<table border=1><tr><td>Item</td><td>%1</td></tr></table>\n")
                    .arg(i)
                    .arg(i * 7);
    return Html + QStringLiteral("</body></html>");
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication App(argc, argv);
    const int Reps = argc > 1 ? std::max(3, atoi(argv[1])) : 200;

    QWebEngineView View;
    View.resize(800, 600);
    View.show();
    auto *Host = new TWebEditorHost(&View);
    TDomWork Dom(Host);
    QSignalSpy Loaded(Host, &TDomHost::DocumentLoaded);
    QSignalSpy Pushed(Host, &TDomHost::StatePushed);
    Dom.SetDocumentHTML(QStringLiteral("<p>Some <b>bold</b> text</p>"));
    if (!WaitFor(Loaded, 1) || !WaitFor(Pushed, 1)) {
        std::fprintf(stderr, "the editor did not load\n");
        return 1;
    }
    Dom.Ready = true;

    // 1. Queries.
    std::vector<double> Bare, Cached, Fresh;
    for (int i = 0; i < Reps; ++i) {
        Bare.push_back(BareRoundTrip(View.page()));
        // A caret move: the page pushes its states, and the query reads them.
        Pushed.clear();
        View.page()->runJavaScript(
            QStringLiteral("getSelection().collapse(document.body.firstChild, %1 % 2)").arg(i),
            QWebEngineScript::ApplicationWorld);
        if (!WaitFor(Pushed, 1))
            return 1;
        QElapsedTimer T;
        T.start();
        Dom.QueryCommandStatus(5002, true);
        Cached.push_back(T.nsecsElapsed() / 1e6);
        emit Host->InputStarted(); // what a key press does: the next query asks the page
        T.restart();
        Dom.QueryCommandStatus(5002, true);
        Fresh.push_back(T.nsecsElapsed() / 1e6);
    }
    const double B = Median(Bare), C = Median(Cached), F = Median(Fresh);
    std::printf("command-state query, median of %d:\n", Reps);
    std::printf("  bare runJavaScript round trip   %8.3f ms\n", B);
    std::printf("  TDomWork, from the pushed state %8.3f ms   ratio %.3f\n", C, C / B);
    std::printf("  TDomWork, asked afresh          %8.3f ms   ratio %.3f\n", F, F / B);

    // 2. A 1 MB message.
    QTemporaryDir Dir;
    const QString File = Dir.filePath(QStringLiteral("message.html"));
    const QString Html = Message();
    {
        QFile Out(File);
        if (!Out.open(QIODevice::WriteOnly) || Out.write(Html.toUtf8()) < 0)
            return 1;
    }
    QWebEngineView Plain;
    Plain.resize(800, 600);
    Plain.show();
    const int LoadReps = std::max(3, Reps / 20);
    std::vector<double> PlainMs, EditorMs;
    for (int i = 0; i < LoadReps; ++i) {
        QSignalSpy PlainLoaded(&Plain, &QWebEngineView::loadFinished);
        QElapsedTimer T;
        T.start();
        Plain.load(QUrl::fromLocalFile(File));
        if (!WaitFor(PlainLoaded, 1))
            return 1;
        PlainMs.push_back(T.nsecsElapsed() / 1e6);

        Loaded.clear();
        T.restart();
        QFile In(File);
        In.open(QIODevice::ReadOnly);
        Dom.SetDocumentHTML(QString::fromUtf8(In.readAll()));
        if (!WaitFor(Loaded, 1))
            return 1;
        Dom.Ready = true;
        const QString Back = Dom.DocumentHTML();
        EditorMs.push_back(T.nsecsElapsed() / 1e6);
        if (Back.size() < Html.size() / 2) {
            std::fprintf(stderr, "the document came back short: %lld characters\n",
                         static_cast<long long>(Back.size()));
            return 1;
        }
    }
    const double P = Median(PlainMs), E = Median(EditorMs);
    std::printf("1 MB message, median of %d:\n", LoadReps);
    std::printf("  plain QWebEngineView load        %8.1f ms\n", P);
    std::printf("  editor load + DocumentHTML       %8.1f ms   ratio %.3f\n", E, E / P);
    return 0;
}
