#include "delivery/mailing.h"

#include "delivery/idexception.h"

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <cmath>

namespace qf::delivery {

namespace {

QString ExceptionText(const std::exception &E)
{
    if (const auto *Id = dynamic_cast<const EIdException *>(&E))
        return Id->Message();
    return QString::fromLocal8Bit(E.what());
}

// The text as the message's lines: one entry, which the message splits at its line breaks. A
// line break at the end ends the last line and makes no empty one.
QStringList BodyLines(const QString &Text)
{
    if (Text.isEmpty())
        return {};
    qsizetype End = Text.size();
    if (Text.endsWith(QLatin1String("\r\n")))
        End -= 2;
    else if (Text.endsWith(QLatin1Char('\r')) || Text.endsWith(QLatin1Char('\n')))
        End -= 1;
    return {End == Text.size() ? Text : Text.first(End)};
}

} // namespace

// The connector.

void TConnector::Run()
{
    FMailing.ConnectorRun(*this);
    Terminate();
}

// A sender.

TMailSender::TMailSender(TMailing &Mailing) : FMailing(Mailing)
{
    const TMailSettings &S = Mailing.Settings;
    FSMTP.MailAgent = MailAgentName;
    FSMTP.ReadTimeout = Mailing.ConnectTimeout;
    FSMTP.Interrupt = Mailing.FInterrupt;
    FMessage.ContentType = S.ContentType;
    FMessage.CharSet = S.CharSet;
    FMessage.From.Address = S.SenderAddress;
    FMessage.From.Name = S.SenderName;
    FMessage.ReplyTo.Clear();
    FMessage.ReplyTo.Add().Address = S.ReplyAddress;
    for (const QString &FileName : S.Attachments)
        FMessage.MessageParts.AddAttachment(FileName);
}

TMailSender::~TMailSender() { TerminateAndWaitFor(); }

QString TMailSender::FailureText(const QString &Tag) const
{
    return FLastError + Tag + FMessage.Recipients.EMailAddresses();
}

void TMailSender::Run()
{
    if (FAttempts == 0) {
        FCurMail = FMailing.GetCurMail(FMail);
        FUnsent = FCurMail >= 0;
    }
    if (FCurMail >= 0) {
        try {
            FMessage.Recipients.Clear();
            FMessage.Recipients.Add().Address = FMail.Address;
            FMessage.Body = BodyLines(FMail.Body);
            FMessage.Subject = FMail.Subject;
            if (!FSMTP.Connected())
                FSMTP.Connect(FMailing.ConnectTimeout);
            // Returns only after the server's acceptance of the data.
            FSMTP.Send(FMessage);
            FState = 1;
            FLastError.clear();
            FAttempts = 0;
            FUnsent = false;
            FMailing.SetSuccess(QStringLiteral("Success: ") + FMessage.Recipients.EMailAddresses());
        } catch (const std::exception &E) {
            ++FAttempts;
            FLastError = ExceptionText(E);
            if (FAttempts >= MaxAttempts)
                FState = 2;
        }
    }
    if (FMailing.FAborting || FAttempts >= MaxAttempts || FCurMail < 0) {
        FAttempts = 1;
        FHandled = false;
        Stop();
    }
}

// The mailing.

TMailing::TMailing(TMailingView *View) : View(View) {}

TMailing::~TMailing() { Shutdown(); }

void TMailing::Reset()
{
    FreeConnector();
    FreeSenders();
    FSenders.clear();
    ClearMail();
    FAborting = false;
    FRunning = false;
    FThreadCount = 0;
    FConnectedCount = 0;
    std::lock_guard<std::mutex> L(FLock);
    FSentCount = 0;
    FNextMail = 0;
    FLastSuccess.clear();
    Log.Clear();
}

void TMailing::SetSlots(int Count)
{
    FThreadCount = std::max(0, std::min(Count, Settings.ThreadLimit));
    FSenders.assign(size_t(FThreadCount), nullptr);
    // Enough that a sender seldom waits, few enough that the mailing's memory stays small.
    FAhead = std::max(64, 8 * FThreadCount);
}

void TMailing::ClearMail()
{
    std::lock_guard<std::mutex> L(FLock);
    MailCount = 0;
    FReady.clear();
    FNextMail = 0;
}

void TMailing::Start(const QString &StartTime, bool LogWritten)
{
    FreeConnector();
    {
        std::lock_guard<std::mutex> L(FLock);
        Log.Unwritten = !LogWritten;
    }
    AddLog(QString());
    AddLog(QStringLiteral("Mailing started ") + StartTime + QStringLiteral(". Connecting..."));
    {
        std::lock_guard<std::mutex> L(FLock);
        FReady.clear();
        FNextMail = 0;
        FMergeFailed = false;
    }
    FMerged = 0;
    FConnectedCount = 0;
    FRunning = false;
    ++FRun;
    FInterrupt->Clear();
    FConnector = std::make_unique<TConnector>(*this);
    FConnector->Start();
}

void TMailing::FreeConnector()
{
    if (!FConnector)
        return;
    FConnector->TerminateAndWaitFor();
    FConnector.reset();
}

void TMailing::FreeSenders()
{
    for (TMailSender *&S : FSenders) {
        if (!S)
            continue;
        try {
            delete S;
        } catch (...) {
            // the next slot is freed all the same
        }
        S = nullptr;
    }
}

void TMailing::Sync(const std::function<void()> &Call)
{
    const std::shared_ptr<bool> Alive = FAlive;
    TIdThread::Synchronize([Alive, &Call] {
        if (*Alive)
            Call();
    });
}

void TMailing::ConnectorRun(TConnector &Connector)
{
    try {
        const int Slots = int(FSenders.size());
        for (int I = 0; I < Slots; ++I) {
            auto *S = new TMailSender(*this);
            FSenders[size_t(I)] = S;
            S->FSMTP.Host = Settings.Host;
            S->FSMTP.Port = Settings.Port;
            S->FSMTP.Username = Settings.User;
            S->FSMTP.Password.clear();
            S->FSMTP.Connect(ConnectTimeout);
            const int N = ++FConnectedCount;
            Sync([this, N, Slots] {
                if (View)
                    View->ShowStatus(
                        QStringLiteral("%1 threads of %2 connected").arg(N).arg(Slots));
            });
            if (FAborting)
                break;
        }
        if (FAborting) {
            Sync([this] {
                SetStatus(QStringLiteral("Aborted"), true);
                if (View)
                    View->FlushLogNow();
            });
            FreeSenders();
        } else {
            Sync([this] {
                if (FAborting) {
                    // The dialog closed between the last connection and this hand-over.
                    SetStatus(QStringLiteral("Aborted"), true);
                    if (View)
                        View->FlushLogNow();
                    FreeSenders();
                    return;
                }
                SetStatus(QStringLiteral("Connected"), true);
                {
                    std::lock_guard<std::mutex> L(FLock);
                    FNextMail = 0;
                }
                FRunning = true;
                if (View)
                    View->StartDispatcher();
            });
        }
    } catch (const std::exception &E) {
        Connector.FErrorText = ExceptionText(E);
        // The connections made so far close before the user reads why the last one failed.
        FreeSenders();
        Sync([this, &Connector] {
            if (FAborting) {
                // The dialog is closed: nobody is left to read a box or press Start.
                SetStatus(QStringLiteral("Aborted"), true);
                if (View)
                    View->FlushLogNow();
                return;
            }
            AddLog(Connector.FErrorText);
            AddLog(QStringLiteral("Aborted"));
            if (View) {
                View->ShowConnectError(Connector.FErrorText);
                View->ResetAfterError();
            }
            FAborting = false;
        });
    }
}

int TMailing::GetCurMail(TMailItem &Item)
{
    std::unique_lock<std::mutex> L(FLock);
    for (;;) {
        if (FNextMail >= MailCount)
            return -1;
        if (!FReady.empty())
            break;
        if (FAborting || FMergeFailed)
            return -1;
        L.unlock();
        RequestRefill();
        L.lock();
        // A flag set without the lock is seen at the latest after the time-out.
        if (FReady.empty() && FNextMail < MailCount && !FAborting && !FMergeFailed)
            FReadyChanged.wait_for(L, std::chrono::milliseconds(100));
    }
    Item = std::move(FReady.front());
    FReady.pop_front();
    const int Index = FNextMail++;
    const bool Low = int(FReady.size()) <= FAhead / 2;
    L.unlock();
    if (Low)
        RequestRefill();
    return Index;
}

void TMailing::RequestRefill()
{
    if (FRefillPending.exchange(true))
        return;
    const std::shared_ptr<bool> Alive = FAlive;
    TIdThread::Queue([this, Alive] {
        if (*Alive)
            Refill();
    });
}

void TMailing::Refill()
{
    FRefillPending = false;
    // A merge that shows a message box runs a nested event loop, which may call here again.
    if (FRefilling)
        return;
    FRefilling = true;
    for (;;) {
        {
            std::lock_guard<std::mutex> L(FLock);
            if (int(FReady.size()) >= FAhead || FMerged >= MailCount || FMergeFailed || FAborting)
                break;
        }
        TMailItem Item;
        QString Error;
        if (!MergeMail || !MergeMail(FMerged, Item, Error)) {
            {
                std::lock_guard<std::mutex> L(FLock);
                FMergeFailed = true;
            }
            FReadyChanged.notify_all();
            if (!FAborting) {
                FAborting = true;
                SetStatus(Error, true);
            }
            break;
        }
        {
            std::lock_guard<std::mutex> L(FLock);
            FReady.push_back(std::move(Item));
        }
        ++FMerged;
        FReadyChanged.notify_one();
    }
    FRefilling = false;
}

void TMailing::SetSuccess(QString Text)
{
    {
        std::lock_guard<std::mutex> L(FLock);
        Log.AddLog(Text);
        // Taken over, never shared: its memory passes between threads only under the lock.
        FLastSuccess = std::move(Text);
        ++FSentCount;
    }
    QueueVisibleUpdate();
}

void TMailing::QueueVisibleUpdate()
{
    if (FUpdatePending.exchange(true))
        return;
    const std::shared_ptr<bool> Alive = FAlive;
    TIdThread::Queue([this, Alive] {
        if (*Alive)
            ShowVisibleUpdate();
    });
}

void TMailing::ShowVisibleUpdate()
{
    QString Text;
    int Sent;
    {
        std::lock_guard<std::mutex> L(FLock);
        Text = QString(FLastSuccess.constData(), FLastSuccess.size()); // a copy of its own
        Sent = FSentCount;
    }
    if (View)
        View->ShowStatus(Text);
    UpdateBar();
    ShowSentCount();
    if (!QCoreApplication::instance()) {
        FUpdatePending = false;
        return;
    }
    // The next update waits a while, however fast the messages go: painting every one would
    // keep this thread busy for nothing the eye can follow. Then the latest state is shown.
    const std::shared_ptr<bool> Alive = FAlive;
    QTimer::singleShot(VisibleUpdateInterval, [this, Alive, Sent] {
        if (!*Alive)
            return;
        FUpdatePending = false;
        if (FRunning && SentCount() != Sent)
            QueueVisibleUpdate();
    });
}

void TMailing::AddLog(const QString &Text)
{
    std::lock_guard<std::mutex> L(FLock);
    Log.AddLog(Text);
}

void TMailing::SetStatus(const QString &Text, bool Log)
{
    if (Log)
        AddLog(Text);
    if (View)
        View->ShowStatus(Text);
}

int TMailing::SentCount()
{
    std::lock_guard<std::mutex> L(FLock);
    return FSentCount;
}

QString TMailing::SentCountText()
{
    return QStringLiteral("%1 Sent of %2").arg(SentCount()).arg(MailCount);
}

int TMailing::Progress()
{
    if (MailCount <= 0)
        return 0;
    return int(std::lround(100.0 * SentCount() / double(MailCount)));
}

void TMailing::UpdateBar()
{
    if (View)
        View->ShowProgress(Progress());
}

void TMailing::ShowSentCount()
{
    if (View)
        View->ShowCounts(SentCountText());
}

bool TMailing::Dispatch()
{
    // The first tick fills the queue before it starts the senders.
    Refill();
    for (size_t I = 0; I < FSenders.size(); ++I) {
        TMailSender *S = FSenders[I];
        if (!S)
            continue;
        if (!S->Stopped() || S->FHandled) {
            if (FAborting)
                SetStatus(QStringLiteral("Disconnecting..."), false);
            continue;
        }
        S->FHandled = true;
        // " Failed: " names only a message given up for good: never one that is retried.
        const QString Failed = QStringLiteral(" Failed: ");
        if (S->FState == 2 && !FAborting) {
            const bool Retry =
                !View || View->AskRetry(S->FailureText(QStringLiteral(" Recipient: ")));
            if (Retry) {
                for (TMailSender *T : FSenders)
                    if (T && T != S && T->Stopped() && T->FState == 2 && !T->FHandled) {
                        T->FHandled = true;
                        T->Start();
                    }
                S->Start();
                return FThreadCount > 0;
            }
            Abort();
            SetStatus(S->FailureText(Failed), true);
        } else if (FAborting && S->FUnsent && S->FCurMail >= 0) {
            // Gave up while the mailing was aborted, or held unsent when the abort came.
            AddLog(S->FailureText(Failed));
        }
        ShowSentCount();
        UpdateBar();
        bool Remain;
        {
            std::lock_guard<std::mutex> L(FLock);
            Remain = FNextMail < MailCount;
        }
        if (!FAborting && Remain) {
            S->Start();
            continue;
        }
        delete S;
        FSenders[I] = nullptr;
        if (--FThreadCount == 0) {
            Finish(!FAborting);
            return false;
        }
    }
    return FThreadCount > 0;
}

void TMailing::Finish(bool Completed)
{
    SetStatus(Completed ? QStringLiteral("Mailing Completed") : QStringLiteral("Mailing Aborted"),
              true);
    AddLog(SentCountText());
    FRunning = false;
    if (View)
        View->Finished(Completed);
}

bool TMailing::FlushLog(QString *Error)
{
    QByteArray Bytes;
    int Lines = 0;
    {
        std::lock_guard<std::mutex> L(FLock);
        Log.Take(Bytes, Lines);
    }
    // The file is written without the lock; the senders add their lines to a new buffer.
    const bool Written = Log.Write(Bytes, Error);
    std::lock_guard<std::mutex> L(FLock);
    Log.Taken(Bytes, Lines, Written);
    return Written;
}

QStringList TMailing::LogLines()
{
    std::lock_guard<std::mutex> L(FLock);
    return Log.Lines();
}

void TMailing::Abort()
{
    FAborting = true;
    FReadyChanged.notify_all();
    if (!QCoreApplication::instance()) {
        FInterrupt->Raise();
        return;
    }
    const std::shared_ptr<bool> Alive = FAlive;
    const int Run = FRun;
    QTimer::singleShot(AbortGrace, [this, Alive, Run] {
        if (*Alive && FRun == Run && FAborting)
            FInterrupt->Raise();
    });
}

void TMailing::AbortConnecting()
{
    FAborting = true;
    FInterrupt->Raise();
}

void TMailing::Shutdown()
{
    *FAlive = false;
    AbortConnecting();
    FReadyChanged.notify_all();
    if (FConnector) {
        FConnector->TerminateAndWaitFor();
        FConnector.reset();
    }
    for (TMailSender *S : FSenders)
        if (S)
            S->Terminate();
    FreeSenders();
    FThreadCount = 0;
    FRunning = false;
}

} // namespace qf::delivery
