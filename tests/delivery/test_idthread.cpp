// The thread class: parking, restarting, termination and calls into the application's
// thread. Also built with ThreadSanitizer.

#include "delivery/idthread.h"
#include "testserver.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <vector>

using namespace qf::delivery;

namespace {

// Stops itself after every Batch passes; with no batch it runs until told otherwise.
class TCounter : public TIdThread {
public:
    explicit TCounter(int Batch = 0) : FBatch(Batch) {}
    ~TCounter() override { TerminateAndWaitFor(); }
    std::atomic<int> Runs{0};

protected:
    void Run() override
    {
        const int N = ++Runs;
        if (!FBatch)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        else if (N % FBatch == 0)
            Stop();
    }

private:
    const int FBatch;
};

TEST(DeliveryThread, ParksRestartsAndTerminates)
{
    TCounter T(5);
    T.Start();
    ASSERT_TRUE(WaitUntil([&] { return T.Stopped(); }));
    EXPECT_EQ(T.Runs, 5);
    T.Start();
    ASSERT_TRUE(WaitUntil([&] { return T.Runs == 10 && T.Stopped(); }));

    auto Running = TIdThread::Create<TCounter>(false, 3);
    ASSERT_TRUE(WaitUntil([&] { return Running->Stopped(); }));
    EXPECT_EQ(Running->Runs, 3);
    auto Suspended = TIdThread::Create<TCounter>(true, 3);
    EXPECT_TRUE(Suspended->Stopped());
    EXPECT_EQ(Suspended->Runs, 0);

    // Stopped and terminated from another thread.
    TCounter Free;
    Free.Start();
    ASSERT_TRUE(WaitUntil([&] { return Free.Runs > 3; }));
    EXPECT_FALSE(Free.Stopped());
    std::thread([&] { Free.Stop(); }).join();
    ASSERT_TRUE(WaitUntil([&] { return Free.Stopped(); }));
    const int Parked = Free.Runs;
    Free.Start();
    ASSERT_TRUE(WaitUntil([&] { return Free.Runs > Parked; }));
    std::thread([&] { Free.Terminate(); }).join();
    Free.WaitFor();
    EXPECT_TRUE(Free.Terminated());
}

class TThrower : public TIdThread {
public:
    ~TThrower() override { TerminateAndWaitFor(); }

protected:
    void Run() override { throw std::runtime_error("disk full"); }
};

TEST(DeliveryThread, DestroyedInEveryStateAndEndedByAnException)
{
    {
        TCounter NeverStarted;
    }
    {
        TCounter Running;
        Running.Start();
        ASSERT_TRUE(WaitUntil([&] { return Running.Runs > 0; }));
    }
    {
        TCounter Parked(5);
        Parked.Start();
        ASSERT_TRUE(WaitUntil([&] { return Parked.Stopped(); }));
    }
    // An exception ends the thread with its message.
    TThrower Failed;
    Failed.Start();
    Failed.WaitFor();
    EXPECT_EQ(Failed.TerminatingException().toStdString(), "disk full");
}

// Destroys itself from its own Run, as the class allows; the thread must not touch the object
// after that (AddressSanitizer sees it).
class TSelfDestroyer : public TIdThread {
public:
    explicit TSelfDestroyer(std::atomic<bool> &Exited) : FExited(Exited) {}
    ~TSelfDestroyer() override { TerminateAndWaitFor(); }

protected:
    void Run() override
    {
        // Set when the thread itself ends, after everything the class does once Run returns.
        struct TOnExit {
            std::atomic<bool> *Flag = nullptr;
            ~TOnExit() { *Flag = true; }
        };
        thread_local TOnExit OnExit;
        OnExit.Flag = &FExited;
        delete this;
    }

private:
    std::atomic<bool> &FExited;
};

TEST(DeliveryThread, DestroyedFromItsOwnRun)
{
    std::atomic<bool> Exited{false};
    (new TSelfDestroyer(Exited))->Start();
    EXPECT_TRUE(WaitUntil([&] { return Exited.load(); }));
}

// Reports to the application's thread, blocking and queued.
class TReporter : public TIdThread {
public:
    ~TReporter() override { TerminateAndWaitFor(); }
    std::atomic<bool> SawError{false};
    int Blocking = 0; // written only in the application's thread
    std::atomic<int> Queued{0};
    std::atomic<bool> WrongThread{false};
    std::atomic<bool> Entered{false};

protected:
    void Run() override
    {
        Entered = true;
        auto Check = [this] {
            if (QThread::currentThread() != QCoreApplication::instance()->thread())
                WrongThread = true;
        };
        Synchronize([&] {
            Check();
            ++Blocking;
        });
        Queue([this, Check] {
            Check();
            ++Queued;
        });
        try {
            Synchronize([] { throw std::runtime_error("refused"); });
        } catch (const std::runtime_error &E) {
            SawError = std::string(E.what()) == "refused";
        }
        Stop();
    }
};

TEST(DeliveryThread, SynchronizedCallsRunInTheApplicationThread)
{
    TReporter T;
    T.Start();
    ASSERT_TRUE(WaitUntil([&] { return T.Stopped() && T.Queued == 1; }));
    EXPECT_EQ(T.Blocking, 1);
    EXPECT_TRUE(T.SawError);
    EXPECT_FALSE(T.WrongThread);
    // The application thread waiting for the thread's end still serves its calls (else this hangs).
    T.Entered = false;
    T.Start();
    while (!T.Entered)
        std::this_thread::yield();
    T.TerminateAndWaitFor();
    EXPECT_EQ(T.Blocking, 2);
    EXPECT_EQ(T.Queued, 2);
}

// A call that runs its own event loop (a message box) must not let later calls overtake the
// ones queued before them.
TEST(DeliveryThread, QueuedCallsStartInOrderThroughANestedLoop)
{
    std::vector<char> Order;
    QEventLoop Modal;
    std::thread Late;
    std::thread([&] {
        TIdThread::Queue([&] {
            Order.push_back('A');
            Late = std::thread([&] {
                TIdThread::Queue([&] {
                    Order.push_back('D');
                    Modal.quit();
                });
            });
            Modal.exec();
        });
        TIdThread::Queue([&] { Order.push_back('B'); });
        TIdThread::Queue([&] { Order.push_back('C'); });
    }).join();
    TIdThread::CheckSynchronize();
    Late.join();
    EXPECT_EQ(std::string(Order.begin(), Order.end()), "ABCD");
}

} // namespace
