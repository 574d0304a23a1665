// One command refresh as the HTML editor runs it on every caret move (UpdateControls, then
// UpdateEditCommands, with the caret in the HTML editor and its document loaded) beside one
// bare runJavaScript round trip to the same editor's page. The refresh should cost at most
// as much as the round trip, so that typing never waits for it.
//
//   QT_QPA_PLATFORM=offscreen shell_refresh_bench [repetitions]

#include "shell/mainform.h"
#include "shell/startup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebEnginePage>
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

}  // namespace

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
    bool Loaded = false;
    QObject::connect(Editor, &QWebEngineView::loadFinished, [&] { Loaded = true; });
    Editor->setHtml(QStringLiteral("<html><body contenteditable><p>Dear <b>customer</b></p></body></html>"));
    if (!WaitFor([&] { return Loaded; }, 30000)) {
        std::fprintf(stderr, "the editor's document did not load\n");
        return 1;
    }
    Editor->setFocus();
    WaitFor([&] { return Form.FocusOf(QApplication::focusWidget()) == qf::shell::TFocus::HtmlEditor; }, 5000);
    WaitFor([] { return false; }, 300);  // let the page settle

    std::vector<double> Trip, Refresh;
    for (int i = 0; i < Repetitions; ++i) {
        QElapsedTimer T;
        T.start();
        QEventLoop Loop;
        Editor->page()->runJavaScript(QStringLiteral("1"), [&](const QVariant &) { Loop.quit(); });
        Loop.exec();
        Trip.push_back(T.nsecsElapsed() / 1e3);

        T.restart();
        Form.UpdateControls();
        Form.UpdateEditCommands();
        Refresh.push_back(T.nsecsElapsed() / 1e3);
    }
    const double TripUs = Median(Trip), RefreshUs = Median(Refresh);
    std::printf("focus in the HTML editor: %s\n",
                Form.FocusOf(QApplication::focusWidget()) == qf::shell::TFocus::HtmlEditor ? "yes" : "no");
    std::printf("runJavaScript round trip   median %9.1f us\n", TripUs);
    std::printf("UpdateControls + UpdateEditCommands median %9.1f us\n", RefreshUs);
    std::printf("refresh / round trip: %.3fx (aim: at most 1x)\n", RefreshUs / TripUs);
    return 0;
}
