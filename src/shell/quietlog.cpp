#include "shell/quietlog.h"

#include <QLoggingCategory>
#include <QString>
#include <atomic>
#include <cstdio>

namespace qf::shell {

namespace {

QtMessageHandler PreviousHandler = nullptr;
std::atomic<bool> DropSandboxNote{false};

void QuietHandler(QtMsgType Type, const QMessageLogContext &Context, const QString &Message)
{
    if (Type == QtInfoMsg && DropSandboxNote &&
        Message == QLatin1String("Sandboxing disabled by user."))
        return;
    if (PreviousHandler)
        PreviousHandler(Type, Context, Message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(Type, Context, Message)));
}

} // namespace

void InstallQuietLog(bool SandboxDisabledHere)
{
    DropSandboxNote = SandboxDisabledHere;
    // A rule, not the handler, so that QT_LOGGING_RULES, applied after it, can override it.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    static const bool Installed = [] {
        PreviousHandler = qInstallMessageHandler(QuietHandler);
        return true;
    }();
    Q_UNUSED(Installed);
}

} // namespace qf::shell
