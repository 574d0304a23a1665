// The work the splash hides: creating and showing the main window and the dialogs of
// start-up, side by side with creating and showing one empty QMainWindow.
//
//   QT_QPA_PLATFORM=offscreen shell_startup_bench [repetitions]

#include "shell/aboutbox.h"
#include "shell/addwordform.h"
#include "shell/mainform.h"
#include "shell/optform.h"
#include "shell/startup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double Median(std::vector<double> V)
{
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}

double TimeEmptyWindow()
{
    QElapsedTimer T;
    T.start();
    auto *W = new QMainWindow;
    W->show();
    QApplication::processEvents();
    const double Ms = T.nsecsElapsed() / 1e6;
    delete W;
    QApplication::processEvents();
    return Ms;
}

double TimeStartupForms()
{
    QElapsedTimer T;
    T.start();
    qf::shell::CreateForms();
    qf::shell::MainForm->show();
    QApplication::processEvents();
    for (QWidget *D : std::initializer_list<QWidget *>{qf::shell::AddWordForm, qf::shell::AboutBox,
                                                       qf::shell::OptForm}) {
        D->show();
        QApplication::processEvents();
        D->hide();
    }
    const double Ms = T.nsecsElapsed() / 1e6;
    qf::shell::FreeForms();
    QApplication::processEvents();
    return Ms;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir Home;
    qputenv("XDG_CONFIG_HOME", Home.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", Home.filePath("data").toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qf::shell::PrepareEnvironment();
    QApplication App(argc, argv);
    const int Reps = argc > 1 ? std::max(3, atoi(argv[1])) : 15;

    // The first round pays for loading the libraries and starting the web engine.
    const double ColdEmpty = TimeEmptyWindow();
    const double ColdForms = TimeStartupForms();
    std::vector<double> Empty, Forms;
    for (int i = 0; i < Reps; ++i) {
        Empty.push_back(TimeEmptyWindow());
        Forms.push_back(TimeStartupForms());
    }
    const double E = Median(Empty), F = Median(Forms);
    std::printf("%-44s %10s %10s\n", "", "first ms", "median ms");
    std::printf("%-44s %10.2f %10.2f\n", "empty QMainWindow, created and shown", ColdEmpty, E);
    std::printf("%-44s %10.2f %10.2f\n", "start-up forms, created and shown", ColdForms, F);
    std::printf(
        "ratio start-up forms / empty QMainWindow: first %.1f, median %.1f (%d repetitions)\n",
        ColdForms / ColdEmpty, F / E, Reps);
    return 0;
}
