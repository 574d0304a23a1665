#include "shell/capform.h"

#include "shell/resources.h"

#include <QEventLoop>
#include <QPixmap>
#include <QTimer>
#include <QWindow>

namespace qf::shell {

namespace {
QPixmap SplashPicture()
{
    qf_InitResources();
    return QPixmap(QStringLiteral(":/images/splash.png"));
}
} // namespace

TCapForm::TCapForm() : QSplashScreen(SplashPicture())
{
    setObjectName(QStringLiteral("CapForm"));
    setFixedSize(240, 220);
}

bool TCapForm::event(QEvent *Event)
{
    const bool Result = QSplashScreen::event(Event);
    // A paint before the window is mapped is lost; only one on the exposed window counts.
    if (Event->type() == QEvent::Paint && !FPainted && windowHandle() &&
        windowHandle()->isExposed()) {
        FPainted = true;
        emit PaintedOnScreen();
    }
    return Result;
}

void TCapForm::ShowNow()
{
    show();
    if (FPainted)
        return;
    QEventLoop Loop;
    connect(this, &TCapForm::PaintedOnScreen, &Loop, &QEventLoop::quit);
    QTimer::singleShot(1000, &Loop, &QEventLoop::quit);
    // Window-system events only: a click must not close the splash before the forms exist.
    Loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace qf::shell
