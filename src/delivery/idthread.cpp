#include "delivery/idthread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <deque>
#include <exception>

namespace qf::delivery {

namespace {

// Calls waiting for the user interface thread. Qt only carries a wake-up event; the calls
// themselves pass through this queue, under a standard mutex.
struct TSyncCall {
    std::function<void()> Fn;
    bool Blocking = false;
    bool Done = false;
    std::exception_ptr Error;
};

struct TSyncQueue {
    std::mutex Lock;
    std::condition_variable Changed; // a call was queued or done, or a thread ended
    std::deque<std::shared_ptr<TSyncCall>> Calls;
};

TSyncQueue &SyncQueue()
{
    static TSyncQueue Q;
    return Q;
}

const QEvent::Type WakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class TSyncPump : public QObject {
public:
    bool event(QEvent *E) override
    {
        {
            // Our wake-ups were made before their poster released this lock; taking it first
            // orders the event's memory for race detectors that cannot see Qt's own locks.
            std::lock_guard<std::mutex> L(SyncQueue().Lock);
        }
        if (E->type() != WakeEvent)
            return QObject::event(E);
        TIdThread::CheckSynchronize();
        return true;
    }
};

// The object that receives the wake-ups, living in the application's thread.
TSyncPump *Pump()
{
    static std::once_flag Once;
    static TSyncPump *P = nullptr;
    std::call_once(Once, [] {
        P = new TSyncPump;
        if (QCoreApplication *App = QCoreApplication::instance())
            P->moveToThread(App->thread());
    });
    return P;
}

bool InUiThread()
{
    QCoreApplication *App = QCoreApplication::instance();
    return !App || QThread::currentThread() == App->thread();
}

void Post(const std::shared_ptr<TSyncCall> &Call)
{
    TSyncPump *P = Pump();
    auto *Wake = new QEvent(WakeEvent);
    {
        // The event is made before the call is queued, so the lock orders both for the reader.
        std::lock_guard<std::mutex> L(SyncQueue().Lock);
        SyncQueue().Calls.push_back(Call);
    }
    SyncQueue().Changed.notify_all();
    QCoreApplication::postEvent(P, Wake);
}

} // namespace

TIdThread::TIdThread() = default;

TIdThread::~TIdThread()
{
    TerminateAndWaitFor();
    if (FThread.joinable()) {
        if (FThread.get_id() == std::this_thread::get_id())
            FThread.detach(); // destroyed from its own Run: nobody is left to join it
        else
            FThread.join();
    }
}

void TIdThread::Start()
{
    // Kept alive here: once the lock is released, Run may destroy this object.
    const std::shared_ptr<TState> State = FState;
    TState &S = *State;
    {
        std::lock_guard<std::mutex> L(S.Lock);
        if (S.Terminated)
            return;
        S.Stopped = false;
        if (!S.Spawned) {
            S.Spawned = true;
            FThread = std::thread(&TIdThread::Execute, this, FState);
        }
    }
    S.Wake.notify_all();
}

void TIdThread::Stop()
{
    std::lock_guard<std::mutex> L(FState->Lock);
    FState->Stopped = true;
}

bool TIdThread::Stopped() const
{
    std::lock_guard<std::mutex> L(FState->Lock);
    return !FState->InRun && (FState->Stopped || FState->Terminated);
}

void TIdThread::Terminate()
{
    {
        std::lock_guard<std::mutex> L(FState->Lock);
        FState->Terminated = true;
    }
    FState->Wake.notify_all();
}

bool TIdThread::Terminated() const
{
    std::lock_guard<std::mutex> L(FState->Lock);
    return FState->Terminated;
}

QString TIdThread::TerminatingException() const
{
    std::lock_guard<std::mutex> L(FState->Lock);
    return FState->TerminatingException;
}

// Self is used for Run only: Run may have destroyed it, which also terminated the loop.
void TIdThread::Execute(TIdThread *Self, const std::shared_ptr<TState> &State)
{
    TState &S = *State;
    for (;;) {
        {
            std::unique_lock<std::mutex> L(S.Lock);
            S.InRun = false;
            S.Wake.wait(L, [&S] { return S.Terminated || !S.Stopped; });
            if (S.Terminated)
                break;
            S.InRun = true;
        }
        try {
            Self->Run();
        } catch (const std::exception &E) {
            std::lock_guard<std::mutex> L(S.Lock);
            S.TerminatingException = QString::fromUtf8(E.what());
            S.Terminated = true;
        } catch (...) {
            std::lock_guard<std::mutex> L(S.Lock);
            S.TerminatingException = QStringLiteral("Unknown exception");
            S.Terminated = true;
        }
    }
    {
        std::lock_guard<std::mutex> L(S.Lock);
        S.InRun = false;
    }
    S.Wake.notify_all();
    {
        std::lock_guard<std::mutex> L(SyncQueue().Lock);
        S.Finished = true;
    }
    SyncQueue().Changed.notify_all();
}

void TIdThread::WaitFor()
{
    {
        std::lock_guard<std::mutex> L(FState->Lock);
        if (!FState->Spawned)
            return;
    }
    if (FThread.get_id() == std::this_thread::get_id())
        return; // waiting for itself would never end
    const TState &S = *FState;
    if (!InUiThread()) {
        std::unique_lock<std::mutex> L(SyncQueue().Lock);
        SyncQueue().Changed.wait(L, [&S] { return S.Finished.load(); });
        return;
    }
    // The thread may be waiting in Synchronize for this very thread: keep serving it.
    for (;;) {
        {
            std::unique_lock<std::mutex> L(SyncQueue().Lock);
            SyncQueue().Changed.wait(
                L, [&S] { return S.Finished.load() || !SyncQueue().Calls.empty(); });
            if (S.Finished && SyncQueue().Calls.empty())
                return;
        }
        CheckSynchronize();
    }
}

void TIdThread::TerminateAndWaitFor()
{
    Terminate();
    WaitFor();
}

void TIdThread::Synchronize(const std::function<void()> &Call)
{
    if (InUiThread()) {
        Call();
        return;
    }
    auto C = std::make_shared<TSyncCall>();
    C->Fn = Call;
    C->Blocking = true;
    Post(C);
    std::exception_ptr Error;
    {
        // Take the exception over, so that only this thread holds it from now on.
        std::unique_lock<std::mutex> L(SyncQueue().Lock);
        SyncQueue().Changed.wait(L, [&] { return C->Done; });
        Error = std::move(C->Error);
    }
    if (Error)
        std::rethrow_exception(Error);
}

void TIdThread::Queue(std::function<void()> Call)
{
    if (InUiThread()) {
        Call();
        return;
    }
    auto C = std::make_shared<TSyncCall>();
    C->Fn = std::move(Call);
    Post(C);
}

// One call at a time: a call that runs a nested event loop (a message box) comes back here,
// and the calls queued after it must still start in their order.
void TIdThread::CheckSynchronize()
{
    for (;;) {
        std::shared_ptr<TSyncCall> C;
        {
            std::lock_guard<std::mutex> L(SyncQueue().Lock);
            if (SyncQueue().Calls.empty())
                return;
            C = std::move(SyncQueue().Calls.front());
            SyncQueue().Calls.pop_front();
        }
        std::exception_ptr Error;
        try {
            C->Fn();
        } catch (...) {
            Error = std::current_exception();
        }
        if (!C->Blocking) {
            if (Error)
                qWarning("A call queued for the user interface thread failed"); // nobody waits to
                                                                                // hear it
            continue;
        }
        {
            std::lock_guard<std::mutex> L(SyncQueue().Lock);
            C->Error = std::move(Error);
            C->Done = true;
        }
        SyncQueue().Changed.notify_all();
    }
}

} // namespace qf::delivery
