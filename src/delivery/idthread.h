#pragma once
// The worker thread of the mailing: a loop that calls Run again and again. Stop parks the
// thread after the Run in progress until Start; Terminate ends the loop. Calls can be
// carried out in the user interface thread (the thread of the QCoreApplication).

#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace qf::delivery {

class TIdThread {
public:
    // The thread starts suspended: Stopped until the first Start.
    TIdThread();
    // Terminates the loop and waits for the thread. A subclass whose Run uses its own members
    // must call TerminateAndWaitFor at the start of its destructor, before they go. Run may
    // destroy its own object; the thread then ends without touching it again.
    virtual ~TIdThread();
    TIdThread(const TIdThread &) = delete;
    TIdThread &operator=(const TIdThread &) = delete;

    // A constructor cannot start the thread: the subclass is not built yet when the base
    // constructor runs. This makes T and, unless CreateSuspended, starts it.
    template <class T, class... A>
    static std::unique_ptr<T> Create(bool CreateSuspended, A &&...Args)
    {
        auto P = std::make_unique<T>(std::forward<A>(Args)...);
        if (!CreateSuspended)
            P->Start();
        return P;
    }

    // Lets the loop run (again). No effect once terminated.
    void Start();
    // The loop parks after the Run in progress. May be called from Run itself.
    void Stop();
    // True while parked: before the first Start, after Stop once Run has returned, and once
    // terminated and out of Run.
    bool Stopped() const;
    // Ends the loop after the Run in progress; a parked thread ends at once.
    void Terminate();
    bool Terminated() const;
    // Waits until the thread has ended (Terminate first, or it waits for ever). In the user
    // interface thread the waiting goes on carrying out the calls of Synchronize and Queue.
    void WaitFor();
    void TerminateAndWaitFor();
    // The message of an exception that escaped Run; such an exception terminates the thread.
    QString TerminatingException() const;

    // Carries out Call in the user interface thread and waits for it; an exception of Call is
    // thrown again here. In that thread itself, or without an application, Call runs at once.
    static void Synchronize(const std::function<void()> &Call);
    // Hands Call to the user interface thread without waiting.
    static void Queue(std::function<void()> Call);
    // Carries out the pending calls now; for a user interface thread that waits in its own loop.
    static void CheckSynchronize();

protected:
    virtual void Run() = 0;

private:
    // What the thread itself uses once Run returns: shared with it, so that it outlives an
    // object that Run destroyed.
    struct TState {
        std::mutex Lock;
        std::condition_variable Wake;
        bool Stopped = true;
        bool Terminated = false;
        bool InRun = false;
        bool Spawned = false;
        std::atomic<bool> Finished{false};
        QString TerminatingException;
    };
    static void Execute(TIdThread *Self, const std::shared_ptr<TState> &State);

    std::shared_ptr<TState> FState = std::make_shared<TState>();
    std::thread FThread;
};

} // namespace qf::delivery
