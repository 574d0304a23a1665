#pragma once
// Acting on modal dialogs from a test: the action runs once the dialog of the wanted type is the
// active modal window (a polling timer, since exec() does not return before the dialog closes).

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

template <typename T>
void WhenModal(std::function<void(T *)> Action)
{
    auto *Timer = new QTimer(qApp);
    Timer->setInterval(5);
    QObject::connect(Timer, &QTimer::timeout, [Timer, Action] {
        if (auto *W = qobject_cast<T *>(QApplication::activeModalWidget()); W && W->isVisible()) {
            Timer->stop();
            Timer->deleteLater();
            Action(W);
        }
    });
    Timer->start();
}
