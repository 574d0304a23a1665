#include "shell/minmodal.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindowStateChangeEvent>

namespace qf::shell {

TMinModal::TMinModal(QObject *Owner)
    : QObject(Owner), About(QStringLiteral("Minimizes the application with its modal dialog"))
{
    for (QObject *O = Owner; O; O = O->parent()) {
        auto *W = qobject_cast<QWidget *>(O);
        if (W && W->isWindow()) {
            FForm = W;
            break;
        }
    }
    if (FForm) {
        FForm->installEventFilter(this);
        FInstalled = true;
    }
}

TMinModal::~TMinModal() { Uninstall(); }

void TMinModal::Uninstall()
{
    if (FInstalled && FForm)
        FForm->removeEventFilter(this);
    FInstalled = false;
}

void TMinModal::ShowApplicationMinimized()
{
    for (QWidget *W : QApplication::topLevelWidgets())
        if (W->isVisible() && !W->isMinimized())
            W->showMinimized();
}

void TMinModal::ShowApplicationNormal()
{
    for (QWidget *W : QApplication::topLevelWidgets())
        if (W->isVisible() && W->isMinimized())
            W->setWindowState(W->windowState() & ~Qt::WindowMinimized);
}

bool TMinModal::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Watched != FForm || FBusy)
        return QObject::eventFilter(Watched, Event);
    switch (Event->type()) {
    case QEvent::Destroy: Uninstall(); break;
    case QEvent::WindowActivate:
        FBusy = true;
        ShowApplicationNormal();
        FBusy = false;
        break;
    case QEvent::WindowStateChange: {
        // Only the step into the minimized state counts, not other state changes.
        const auto *E = static_cast<QWindowStateChangeEvent *>(Event);
        if (FForm->isMinimized() && !(E->oldState() & Qt::WindowMinimized)) {
            if (OnMinimize)
                OnMinimize(this);
            FBusy = true;
            ShowApplicationMinimized();
            FBusy = false;
        }
        break;
    }
    default: break;
    }
    return QObject::eventFilter(Watched, Event);
}

} // namespace qf::shell
