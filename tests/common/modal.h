#pragma once
// Acting on modal dialogs from a test: the action runs once a dialog of the wanted type is the
// active modal window (a polling timer, since exec() does not return before the dialog closes).
// A dialog already being handled is left to its handler. The timers of actions still armed when
// a test ends are dropped then, so that none answers a dialog of the next test.

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>

namespace qftest {

inline QObject &ModalWatchers()
{
    static QObject Owner;
    return Owner;
}

// Drops the actions still armed; returns how many there were.
inline int DropModalWatchers()
{
    int Armed = 0;
    for (QTimer *Timer : ModalWatchers().findChildren<QTimer *>(Qt::FindDirectChildrenOnly)) {
        Armed += Timer->isActive();
        delete Timer;
    }
    return Armed;
}

class TModalWatchReset : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo &Test) override
    {
        if (const int Left = DropModalWatchers())
            std::fprintf(stderr, "%s.%s left %d dialog action(s) armed\n", Test.test_suite_name(),
                         Test.name(), Left);
    }
};

inline const bool ModalWatchResetAdded = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new TModalWatchReset);
    return true;
}();

} // namespace qftest

template <typename T>
void WhenModal(std::function<void(T *)> Action)
{
    auto *Timer = new QTimer(&qftest::ModalWatchers());
    Timer->setInterval(5);
    QObject::connect(Timer, &QTimer::timeout, [Timer, Action] {
        auto *W = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!W || !W->isVisible() || W->property("handled").toBool())
            return;
        W->setProperty("handled", true);
        Timer->stop();
        Timer->deleteLater();
        const QPointer<T> Shown(W);
        Action(W);
        if (Shown) // still there: a dialog shown again is handled again
            Shown->setProperty("handled", false);
    });
    Timer->start();
}

// Answers the next message box with Button (accepts one without it), keeping its text in Text.
inline void AnswerBox(QMessageBox::StandardButton Button, QString *Text = nullptr)
{
    WhenModal<QMessageBox>([Button, Text](QMessageBox *Box) {
        if (Text)
            *Text = Box->text();
        Box->button(Button) ? Box->button(Button)->click() : Box->accept();
    });
}

// Types Name into the next file dialog, opened on Folder when one is given, and accepts it; an
// empty Name cancels the dialog.
inline void ChooseFile(const QString &Name, const QString &Folder = QString())
{
    WhenModal<QFileDialog>([Name, Folder](QFileDialog *D) {
        if (Name.isEmpty())
            return D->reject();
        if (!Folder.isEmpty())
            D->setDirectory(Folder);
        D->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(Name);
        static_cast<QDialog *>(D)->accept(); // as the dialog's own button does
    });
}
