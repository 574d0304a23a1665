#include "shell/startup.h"

#include "delivery/ui/logform.h"
#include "delivery/ui/proform.h"
#include "delivery/ui/sendform.h"
#include "shell/aboutbox.h"
#include "shell/addwordform.h"
#include "shell/capform.h"
#include "shell/mainform.h"
#include "shell/optform.h"
#include "shell/quietlog.h"
#include "shell/splashclock.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <exception>
#include <unistd.h>

namespace qf::shell {

namespace {

template <typename Create>
void CreateForm(const char *Name, Create &&Make)
{
    try {
        Make();
    } catch (const std::exception &E) {
        QMessageBox::critical(
            nullptr, QStringLiteral("Quillfast"),
            QStringLiteral("%1 could not be created: %2")
                .arg(QString::fromLatin1(Name), QString::fromLocal8Bit(E.what())));
    }
}

} // namespace

void PrepareEnvironment()
{
    const bool DisableSandbox =
        geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX");
    if (DisableSandbox)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    InstallQuietLog(DisableSandbox);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QCoreApplication::setOrganizationName(QStringLiteral("Tembrook"));
    QCoreApplication::setApplicationName(QStringLiteral("Quillfast 2.0"));
}

void CreateForms()
{
    CreateForm("The main window", [] { MainForm = new TMainForm; });
    if (!MainForm)
        return;
    // The dialogs are owned by the main window and live until it is destroyed.
    CreateForm("The input dialog", [] { AddWordForm = new TAddWordForm(MainForm); });
    CreateForm("The about box", [] { AboutBox = new TAboutBox(MainForm); });
    CreateForm("The options dialog", [] { OptForm = new TOptForm(MainForm); });
    CreateForm("The profiles dialog", [] { delivery::ProForm = new delivery::TProForm(MainForm); });
    CreateForm("The log window", [] { delivery::LogForm = new delivery::TLogForm(MainForm); });
    // The mailing dialog is the last form.
    CreateForm("The mailing dialog",
               [] { delivery::SendForm = new delivery::TSendForm(MainForm); });
    MainForm->ConnectDelivery();
    // The profiles are read once without showing the dialog, to fill the main window's list.
    if (delivery::ProForm)
        delivery::ProForm->FormShow();
}

void FreeForms()
{
    delete MainForm; // takes its dialogs with it
    MainForm = nullptr;
    AddWordForm = nullptr;
    AboutBox = nullptr;
    OptForm = nullptr;
    delivery::ProForm = nullptr;
    delivery::SendForm = nullptr;
    delivery::LogForm = nullptr;
}

int RunProgram(int argc, char **argv)
{
    PrepareEnvironment();
    QApplication App(argc, argv);

    CapForm = new TCapForm;
    CapForm->ShowNow();
    TSplashClock SplashStartTime;
    SplashStartTime.Start();

    CreateForms();
    if (!MainForm)
        return 1;

    SplashStartTime.Wait();
    delete CapForm;
    CapForm = nullptr;

    // The window's first show opens what the command line names.
    MainForm->CommandLine = App.arguments().mid(1);
    MainForm->show();
    bool Ok = false;
    const int QuitAfter = qEnvironmentVariableIntValue("QUILLFAST_QUIT_AFTER_MS", &Ok);
    if (Ok && QuitAfter >= 0)
        QTimer::singleShot(QuitAfter, MainForm, [] { MainForm->Exit0Click(); });
    const int Result = App.exec();
    FreeForms();
    return Result;
}

} // namespace qf::shell
