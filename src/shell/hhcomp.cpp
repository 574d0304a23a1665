#include "shell/hhcomp.h"

#include "shell/helpwindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QUrl>
#include <QWidget>

namespace qf::shell {

namespace {
QPointer<THelpWindow> TheHelpWindow;
const QString HelpScheme = QStringLiteral("qfhelp");
THHComp *HelpUrlHandler = nullptr;
} // namespace

THHComp::THHComp(QWidget *OwnerForm, const QString &HelpFile)
    : QObject(OwnerForm), HelpFile(HelpFile), FForm(OwnerForm)
{
    setObjectName(QStringLiteral("HHComp1"));
    Loaded();
}

THHComp::~THHComp()
{
    if (HelpUrlHandler == this) {
        QDesktopServices::unsetUrlHandler(HelpScheme);
        HelpUrlHandler = nullptr;
    }
    CloseAll();
}

void THHComp::Loaded()
{
    // The application sees every key before the form's controls do.
    qApp->removeEventFilter(this);
    qApp->installEventFilter(this);
    // The program file's own folder: the component is loaded before the window's create
    // step sets AppDir, and the working folder may be any other.
    FHelpPath = QCoreApplication::applicationDirPath() + QLatin1Char('/') + HelpFile;
    QDesktopServices::setUrlHandler(HelpScheme, this, "OpenHelpUrl");
    HelpUrlHandler = this;
}

QString THHComp::ContentsUrl() { return HelpScheme + QStringLiteral(":contents"); }

void THHComp::OpenHelpUrl(const QUrl & /*Url*/)
{
    // The one target is the contents, as the Help command shows them.
    ShowContents();
}

THelpWindow *THHComp::HelpWindow() { return TheHelpWindow; }

void THHComp::CloseAll()
{
    if (TheHelpWindow)
        TheHelpWindow->close();
}

void THHComp::ShowContents()
{
    if (!TheHelpWindow)
        TheHelpWindow = new THelpWindow(FForm);
    TheHelpWindow->ShowContents(FHelpPath);
}

void THHComp::ShowContext(int /*Context*/)
{
    // No page is bound to a context, so every context shows the contents.
    ShowContents();
}

int THHComp::ContextOf(QWidget *Control) const
{
    // Help contexts are not used by any control; kept as the lookup order.
    if (Control) {
        if (int C = Control->property("HelpContext").toInt())
            return C;
        if (QWidget *Owner = Control->parentWidget())
            if (int C = Owner->property("HelpContext").toInt())
                return C;
    }
    return FForm->property("HelpContext").toInt();
}

bool THHComp::HookKeyDown(QWidget *Target, int &Key, Qt::KeyboardModifiers Shift)
{
    Q_UNUSED(Target);
    if (Key == Qt::Key_F1 && (Shift & ~Qt::KeypadModifier) == Qt::NoModifier) {
        const int Context = ContextOf(FForm->focusWidget());
        if (!HelpFile.isEmpty())
            ShowContext(Context);
        Key = 0;
        return true;
    }
    // Other keys pass, also those without a key code (composed characters) that arrive as 0.
    return false;
}

bool THHComp::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Event->type() == QEvent::KeyPress && Watched->isWidgetType()) {
        auto *W = static_cast<QWidget *>(Watched);
        if (W == FForm || FForm->isAncestorOf(W)) {
            auto *K = static_cast<QKeyEvent *>(Event);
            int Key = K->key();
            if (HookKeyDown(W, Key, K->modifiers()))
                return true; // no control sees this F1
        }
    }
    return QObject::eventFilter(Watched, Event);
}

} // namespace qf::shell
