// One command refresh as the HTML editor runs it on every caret move (UpdateControls, then
// UpdateEditCommands, with the caret in the HTML editor and its document loaded) beside one
// bare runJavaScript round trip to the same editor's page. The refresh from pushed states
// should cost at most as much as the round trip, and one that must ask the page afresh at
// most 1.5 times it, so that typing never waits for it. The last figure is a refresh that
// catches the page before it has worked out the states at a new caret position.
//
//   QT_QPA_PLATFORM=offscreen shell_refresh_bench [repetitions]

#include "composer/domwork.h"
#include "shell/mainform.h"
#include "shell/startup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double Median(std::vector<double> V)
{
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}

bool WaitFor(const std::function<bool()> &Done, int Ms)
{
    QElapsedTimer T;
    T.start();
    while (!Done() && T.elapsed() < Ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return Done();
}

} // namespace

int main(int argc, char **argv)
{
    qf::shell::PrepareEnvironment();
    QApplication App(argc, argv);
    const int Repetitions = argc > 1 ? std::max(1, atoi(argv[1])) : 2000;

    qf::shell::TMainForm Form;
    Form.show();
    Form.activateWindow();
    Form.EditView0->trigger();
    QWebEngineView *Editor = Form.DHTMLEdit1;
    // The editor's own first document, then a message with some formatting.
    if (!WaitFor([&] { return Form.DomWork->Ready; }, 30000)) {
        std::fprintf(stderr, "the editor's document did not load\n");
        return 1;
    }
    Form.DomWork->SetDocumentHTML(QStringLiteral(
        "<html><body><p>Dear <b>customer</b>,</p><ul><li>one</li></ul></body></html>"));
    if (!WaitFor([&] { return Form.DomWork->Ready; }, 30000)) {
        std::fprintf(stderr, "the message did not load\n");
        return 1;
    }
    Editor->setFocus();
    WaitFor(
        [&] { return Form.FocusOf(QApplication::focusWidget()) == qf::shell::TFocus::HtmlEditor; },
        5000);
    WaitFor([] { return false; }, 300); // let the page settle

    std::vector<double> Trip, Refresh, Stale;
    int Moves = 0;
    QObject::connect(Form.DomWork, &qf::composer::TDomWork::DisplayChanged, [&] { ++Moves; });
    for (int i = 0; i < Repetitions; ++i) {
        QElapsedTimer T;
        T.start();
        QEventLoop Loop;
        // The editing script's own world, where the editor's queries run.
        Editor->page()->runJavaScript(QStringLiteral("1"), QWebEngineScript::ApplicationWorld,
                                      [&](const QVariant &) { Loop.quit(); });
        Loop.exec();
        Trip.push_back(T.nsecsElapsed() / 1e3);

        // A caret move: the page pushes its states, and the refresh reads them.
        const int Before = Moves;
        Editor->page()->runJavaScript(
            QStringLiteral(
                "(function(){const t=document.body.querySelectorAll('p,li')[%1].firstChild;"
                "getSelection().collapse(t, 1);})()")
                .arg(i % 2),
            QWebEngineScript::ApplicationWorld);
        if (!WaitFor([&] { return Moves > Before; }, 5000)) {
            std::fprintf(stderr, "the caret move was not reported\n");
            return 1;
        }
        T.restart();
        Form.UpdateControls();
        Form.UpdateEditCommands();
        Refresh.push_back(T.nsecsElapsed() / 1e3);
    }
    // A refresh while the pushed states count as out of date (a key or click reached the
    // editor): every state is asked of the page in one call, and the page, having changed
    // nothing since it last took them, answers with those.
    for (int i = 0; i < std::min(Repetitions, 50); ++i) {
        Q_EMIT Form.DomWork->Editor->InputStarted();
        QElapsedTimer T;
        T.start();
        Form.UpdateControls();
        Form.UpdateEditCommands();
        Stale.push_back(T.nsecsElapsed() / 1e3);
    }
    // A refresh right after a caret move, before the page has pushed the states there: the
    // page has to work them out while the refresh waits.
    std::vector<double> Moved;
    for (int i = 0; i < std::min(Repetitions, 50); ++i) {
        const int Before = Moves;
        Editor->page()->runJavaScript(
            QStringLiteral(
                "(function(){const t=document.body.querySelectorAll('p,li')[%1].firstChild;"
                "getSelection().collapse(t, 2);})()")
                .arg(i % 2),
            QWebEngineScript::ApplicationWorld);
        Q_EMIT Form.DomWork->Editor->InputStarted();
        QElapsedTimer T;
        T.start();
        Form.UpdateControls();
        Form.UpdateEditCommands();
        Moved.push_back(T.nsecsElapsed() / 1e3);
        if (!WaitFor([&] { return Moves > Before; }, 5000)) {
            std::fprintf(stderr, "the caret move was not reported\n");
            return 1;
        }
    }
    const double TripUs = Median(Trip), RefreshUs = Median(Refresh);
    std::printf("document ready: %s, Bold enabled: %s\n", Form.DomWork->Ready ? "yes" : "no",
                Form.SpeedItem9->isEnabled() ? "yes" : "no");
    std::printf("focus in the HTML editor: %s\n",
                Form.FocusOf(QApplication::focusWidget()) == qf::shell::TFocus::HtmlEditor ? "yes"
                                                                                           : "no");
    std::printf("runJavaScript round trip   median %9.1f us\n", TripUs);
    std::printf("UpdateControls + UpdateEditCommands median %9.1f us\n", RefreshUs);
    std::printf("refresh / round trip: %.3fx (aim: at most 1x)\n", RefreshUs / TripUs);
    std::printf("refresh with out-of-date states median %9.1f us\n", Median(Stale));
    std::printf("out-of-date refresh / round trip: %.3fx (aim: at most 1.5x)\n",
                Median(Stale) / TripUs);
    std::printf("refresh right after a caret move median %9.1f us\n", Median(Moved));
    std::printf("refresh after a move / round trip: %.3fx\n", Median(Moved) / TripUs);
    return 0;
}
