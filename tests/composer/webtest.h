#pragma once
// Shared by the editor tests on the real WebEngine: readable values in failure messages, a wait
// in a running event loop, and a script run in the editing world of a page.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <functional>
#include <gtest/gtest.h>

inline void PrintTo(const QString &S, std::ostream *Out) { *Out << '"' << S.toStdString() << '"'; }
inline void PrintTo(const QVariant &V, std::ostream *Out)
{
    *Out << V.typeName() << ' ' << V.toString().toStdString();
}

// QTest::qWaitFor sleeps between its rounds, and the engine's many small steps make that slow.
inline bool WaitUntil(const std::function<bool()> &Done, int TimeoutMs = 20000)
{
    QElapsedTimer Clock;
    Clock.start();
    while (!Done()) {
        if (Clock.elapsed() > TimeoutMs)
            return false;
        QEventLoop Loop;
        QTimer::singleShot(5, &Loop, &QEventLoop::quit);
        Loop.exec();
    }
    return true;
}

inline QVariant RunJs(QWebEnginePage *Page, const QString &Script)
{
    QVariant Result;
    bool Done = false;
    Page->runJavaScript(Script, QWebEngineScript::ApplicationWorld, [&](const QVariant &R) {
        Result = R;
        Done = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return Done; })) << Script.toStdString();
    return Result;
}
