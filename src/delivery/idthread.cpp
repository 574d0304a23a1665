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
  std::condition_variable Changed;  // a call was queued or done, or a thread ended
  std::deque<std::shared_ptr<TSyncCall>> Calls;
};

TSyncQueue &SyncQueue() {
  static TSyncQueue Q;
  return Q;
}

const QEvent::Type WakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class TSyncPump : public QObject {
public:
  bool event(QEvent *E) override {
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
TSyncPump *Pump() {
  static std::once_flag Once;
  static TSyncPump *P = nullptr;
  std::call_once(Once, [] {
    P = new TSyncPump;
    if (QCoreApplication *App = QCoreApplication::instance())
      P->moveToThread(App->thread());
  });
  return P;
}

bool InUiThread() {
  QCoreApplication *App = QCoreApplication::instance();
  return !App || QThread::currentThread() == App->thread();
}

void Post(const std::shared_ptr<TSyncCall> &Call) {
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

}  // namespace

TIdThread::TIdThread() = default;

TIdThread::~TIdThread() {
  TerminateAndWaitFor();
  if (FThread.joinable()) {
    if (FThread.get_id() == std::this_thread::get_id())
      FThread.detach();  // destroyed from its own Run: nobody is left to join it
    else
      FThread.join();
  }
}

void TIdThread::Start() {
  {
    std::lock_guard<std::mutex> L(FLock);
    if (FTerminated)
      return;
    FStopped = false;
    if (!FSpawned) {
      FSpawned = true;
      FThread = std::thread([this] { Execute(); });
    }
  }
  FWake.notify_all();
}

void TIdThread::Stop() {
  std::lock_guard<std::mutex> L(FLock);
  FStopped = true;
}

bool TIdThread::Stopped() const {
  std::lock_guard<std::mutex> L(FLock);
  return !FInRun && (FStopped || FTerminated);
}

void TIdThread::Terminate() {
  {
    std::lock_guard<std::mutex> L(FLock);
    FTerminated = true;
  }
  FWake.notify_all();
}

bool TIdThread::Terminated() const {
  std::lock_guard<std::mutex> L(FLock);
  return FTerminated;
}

QString TIdThread::TerminatingException() const {
  std::lock_guard<std::mutex> L(FLock);
  return FTerminatingException;
}

void TIdThread::Execute() {
  for (;;) {
    {
      std::unique_lock<std::mutex> L(FLock);
      FInRun = false;
      FWake.wait(L, [this] { return FTerminated || !FStopped; });
      if (FTerminated)
        break;
      FInRun = true;
    }
    try {
      Run();
    } catch (const std::exception &E) {
      std::lock_guard<std::mutex> L(FLock);
      FTerminatingException = QString::fromUtf8(E.what());
      FTerminated = true;
    } catch (...) {
      std::lock_guard<std::mutex> L(FLock);
      FTerminatingException = QStringLiteral("Unknown exception");
      FTerminated = true;
    }
  }
  {
    std::lock_guard<std::mutex> L(FLock);
    FInRun = false;
  }
  FWake.notify_all();
  {
    std::lock_guard<std::mutex> L(SyncQueue().Lock);
    FFinished = true;
  }
  SyncQueue().Changed.notify_all();
}

void TIdThread::WaitFor() {
  {
    std::lock_guard<std::mutex> L(FLock);
    if (!FSpawned)
      return;
  }
  if (FThread.get_id() == std::this_thread::get_id())
    return;  // waiting for itself would never end
  if (!InUiThread()) {
    std::unique_lock<std::mutex> L(SyncQueue().Lock);
    SyncQueue().Changed.wait(L, [this] { return FFinished.load(); });
    return;
  }
  // The thread may be waiting in Synchronize for this very thread: keep serving it.
  for (;;) {
    {
      std::unique_lock<std::mutex> L(SyncQueue().Lock);
      SyncQueue().Changed.wait(L, [this] { return FFinished.load() || !SyncQueue().Calls.empty(); });
      if (FFinished && SyncQueue().Calls.empty())
        return;
    }
    CheckSynchronize();
  }
}

void TIdThread::TerminateAndWaitFor() {
  Terminate();
  WaitFor();
}

void TIdThread::Synchronize(const std::function<void()> &Call) {
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

void TIdThread::Queue(std::function<void()> Call) {
  if (InUiThread()) {
    Call();
    return;
  }
  auto C = std::make_shared<TSyncCall>();
  C->Fn = std::move(Call);
  Post(C);
}

void TIdThread::CheckSynchronize() {
  std::deque<std::shared_ptr<TSyncCall>> Calls;
  {
    std::lock_guard<std::mutex> L(SyncQueue().Lock);
    Calls.swap(SyncQueue().Calls);
  }
  for (const auto &C : Calls) {
    std::exception_ptr Error;
    try {
      C->Fn();
    } catch (...) {
      Error = std::current_exception();
    }
    if (!C->Blocking) {
      if (Error)
        qWarning("A call queued for the user interface thread failed");  // nobody waits to hear it
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

}  // namespace qf::delivery
