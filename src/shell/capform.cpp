#include "shell/capform.h"

#include "shell/resources.h"

#include <QApplication>
#include <QPixmap>

namespace qf::shell {

namespace {
QPixmap SplashPicture()
{
    qf_InitResources();
    return QPixmap(QStringLiteral(":/images/splash.png"));
}
}  // namespace

TCapForm::TCapForm() : QSplashScreen(SplashPicture())
{
    setObjectName(QStringLiteral("CapForm"));
    setFixedSize(240, 220);
}

void TCapForm::ShowNow()
{
    show();
    repaint();
    // Lets the window system map the window; user input waits for the message loop.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace qf::shell
