#pragma once
// One mailing in flight: the connector thread that connects one sender per slot, the sender
// threads that take the next prepared message under the one lock and send it with up to 6
// attempts in a row, the dispatcher's decisions (start, retry or abort, free, finish) and the
// log lines. The dispatcher and every visible change run in the user interface thread, through
// TMailingView; senders never wait for that thread while they hold the lock.
//
// The messages are merged in the user interface thread, at most MergeAhead() of them ahead of
// the senders: a sender that finds none ready asks for more and waits on a condition variable
// (the lock released), so the memory of a mailing does not grow with its length.
//
// A message counts as sent only once the server has accepted its data (TIdSMTP::Send returned).
// Destroying a TMailing during a mailing stops and waits for every thread first.

#include "delivery/idmessage.h"
#include "delivery/idsmtp.h"
#include "delivery/idthread.h"
#include "delivery/maillist.h"
#include "delivery/maillog.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace qf::delivery {

inline const QString MailAgentName = QStringLiteral("Quillfast v2.0");
inline constexpr int MaxAttempts = 6;

// The mailing dialog as the mailing sees it; every call comes in the user interface thread.
class TMailingView {
public:
    virtual ~TMailingView() = default;
    // The status line, shown and painted at once.
    virtual void ShowStatus(const QString &Text) = 0;
    // Progress in percent: the bar, the dialog's caption and the application's title.
    virtual void ShowProgress(int Percent) = 0;
    // The count panel (Panel2); Panel3 is cleared.
    virtual void ShowCounts(const QString &Text) = 0;
    // Connecting failed: the error box, then the dialog back in its prepared state.
    virtual void ShowConnectError(const QString &Text) = 0;
    virtual void ResetAfterError() = 0;
    // All slots are connected: the dispatcher timer on.
    virtual void StartDispatcher() = 0;
    // The log flush, once, at once.
    virtual void FlushLogNow() = 0;
    // A sender gave up on a message: true for Retry, false for Abort.
    virtual bool AskRetry(const QString &Text) = 0;
    // The last sender is freed: restore the application, the box, close the dialog.
    virtual void Finished(bool Completed) = 0;
};

class TMailing;

class TConnector : public TIdThread {
public:
    explicit TConnector(TMailing &Mailing) : FMailing(Mailing) {}
    ~TConnector() override { TerminateAndWaitFor(); }
    QString FErrorText;

protected:
    void Run() override;

private:
    TMailing &FMailing;
};

class TMailSender : public TIdThread {
public:
    explicit TMailSender(TMailing &Mailing);
    ~TMailSender() override;

    int FCurMail = -1;
    TMailItem FMail;      // the message in hand
    bool FUnsent = false; // the message in hand is not sent yet
    TIdSMTP FSMTP;
    TIdMessage FMessage;
    bool FHandled = false;
    std::uint8_t FState = 0; // 0 nothing sent yet, 1 the last message was sent, 2 gave up
    QString FLastError;      // of the last failed attempt
    int FAttempts = 0;

    // The last error, Tag (" Recipient: ", " Failed: ") and the recipient.
    QString FailureText(const QString &Tag) const;

protected:
    void Run() override;

private:
    TMailing &FMailing;
};

class TMailing {
public:
    explicit TMailing(TMailingView *View = nullptr);
    ~TMailing();
    TMailing(const TMailing &) = delete;
    TMailing &operator=(const TMailing &) = delete;

    TMailingView *View = nullptr;
    // Written before any thread exists, read-only while threads exist: the number of prepared
    // messages, and the merge of message Index again (user interface thread; false stops the
    // mailing with Error logged).
    int MailCount = 0;
    std::function<bool(int Index, TMailItem &Item, QString &Error)> MergeMail;
    TMailSettings Settings;
    int ConnectTimeout = IdTimeoutDefault;

    std::vector<TMailSender *> FSenders;
    std::atomic<bool> FAborting{false};
    std::atomic<bool> FRunning{false};
    int FThreadCount = 0;
    std::atomic<int> FConnectedCount{0};
    std::unique_ptr<TConnector> FConnector;
    int FSentCount = 0; // under FLock
    int FNextMail = 0;  // under FLock
    TMailLog Log;       // its lines under FLock

    // A new preparation: the list and settings are about to be written.
    void Reset();
    // After the list is prepared: the number of slots.
    void SetSlots(int Count);
    // The most merged messages that wait for the senders.
    int MergeAhead() const { return FAhead; }
    // The prepared list is gone (the dialog closed); no thread may run.
    void ClearMail();

    // The Start button: the first log lines, then a new connector. Without LogWritten the log
    // keeps only its last lines.
    void Start(const QString &StartTime, bool LogWritten = true);
    // Frees the connector, waiting for its thread (the user interface thread keeps carrying
    // out its requests meanwhile).
    void FreeConnector();
    void FreeSenders();

    // The next message's index and the message, or -1; waits while it is being merged.
    int GetCurMail(TMailItem &Item);
    void SetSuccess(QString Text);
    void AddLog(const QString &Text);
    // Shows Text and, when Log, appends it to the log lines first.
    void SetStatus(const QString &Text, bool Log);
    int SentCount();
    QString SentCountText();
    int Progress();
    void UpdateBar();
    void ShowSentCount();

    // One dispatcher tick; true when the dispatcher timer is to run again.
    bool Dispatch();

    // The pending log lines written to the file; false with the error's message.
    bool FlushLog(QString *Error);
    // The lines not yet written to the file.
    QStringList LogLines();

    // The user stops the mailing (Cancel, Abort): the senders finish the message in hand, but
    // AbortGrace ms later every wait on a server is cut short (the one for the reply to the
    // data IdInterruptGrace ms after that); a message cut short is not counted as sent.
    void Abort();
    static constexpr int AbortGrace = 300;
    // The dialog closes before the sending began: the connecting stops at once, without an
    // error box.
    void AbortConnecting();
    // Aborts and waits for every thread; no view call is made from here on.
    void Shutdown();

private:
    friend class TConnector;
    friend class TMailSender;
    void ConnectorRun(TConnector &Connector);
    void Finish(bool Completed);
    // Carries Call out in the user interface thread, waiting; skipped once shut down.
    void Sync(const std::function<void()> &Call);
    // Shows the latest counts and status; one update pending at a time, and at most one every
    // VisibleUpdateInterval ms.
    void QueueVisibleUpdate();
    void ShowVisibleUpdate();
    static constexpr int VisibleUpdateInterval = 50;
    // Merges messages until MergeAhead() wait (user interface thread).
    void Refill();
    // Asks the user interface thread for a Refill; one request pending at a time.
    void RequestRefill();

    std::mutex FLock;
    // Wakes every client of this mailing out of a connect or a wait.
    const std::shared_ptr<TIdInterrupt> FInterrupt = std::make_shared<TIdInterrupt>();
    QString FLastSuccess;         // under FLock
    std::deque<TMailItem> FReady; // merged, not yet taken; under FLock
    bool FMergeFailed = false;    // under FLock
    std::condition_variable FReadyChanged;
    int FAhead = 64;
    int FMerged = 0;         // the next index to merge; user interface thread only
    int FRun = 0;            // counts the Starts; user interface thread only
    bool FRefilling = false; // user interface thread only
    std::atomic<bool> FRefillPending{false};
    std::atomic<bool> FUpdatePending{false};
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true); // user interface thread only
};

} // namespace qf::delivery
