#include "support/threads/thread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>
#include <QThread>
#include <cerrno>
#include <exception>

#include "support/queued_call.h"
#include "support/thread_sanitizer.h"
#include "support/thread_stack_size.h"

namespace wavenard {

class TThread::TRunner final : public QThread {
 public:
  explicit TRunner(TThread& AOwner) : FOwner(AOwner) {}

 protected:
  void run() override;

 private:
  TThread& FOwner;
};

TThread::TThread() : FRunner(std::make_unique<TRunner>(*this)) {}

TThread::~TThread() {
  WaitFor();
}

void TThread::Start() {
  if (FStarted.exchange(true)) {
    throw EThread(QStringLiteral("Cannot call Start on a running or finished thread"));
  }
  // A self-freeing thread whose run is already over waits for this before it may be freed.
  std::unique_lock Guard(FStartLock);
  FRunner->setStackSize(ThreadStackSize());
  errno = 0;
  FRunner->start();
  // A start the platform refused leaves the runner neither running nor finished.
  if (FRunner->isRunning() || FRunner->isFinished()) {
    return;
  }
  const int LastError = errno;
  FStarted.store(false);
  Guard.unlock();
  throw StartFailure(LastError);
}

EThread TThread::StartFailure(int ALastError) const {
  return EThread(QStringLiteral("Thread start failed (F=%1 Ex=%2 LE=%3 H=%4 SP=%5 ST=%6)")
                     .arg(Finished() ? 1 : 0)
                     .arg(ExternalThread() ? 1 : 0)
                     .arg(ALastError)
                     .arg(Handle())
                     .arg(CreatedSuspended() ? 1 : 0)
                     .arg(Started() ? 1 : 0));
}

void TThread::SetFreeOnTerminate(bool AValue) {
  FFreeOnTerminate.store(AValue);
}

void TThread::Terminate() {
  FTerminated.store(true);
  TerminatedSet();
}

void TThread::WaitFor() {
  WaitForEnd(-1);
}

bool TThread::WaitFor(int AMilliseconds) {
  return WaitForEnd(AMilliseconds);
}

bool TThread::WaitForEnd(int AMilliseconds) {
  if (!FStarted.load()) {
    return true;
  }
  const bool Ended = AMilliseconds < 0 ? FRunner->wait() : FRunner->wait(QDeadlineTimer(AMilliseconds));
  if (Ended) {
    TsanAcquire(FRunner.get());
  }
  return Ended;
}

void TThread::Run() {
  FHandle.store(reinterpret_cast<quintptr>(QThread::currentThreadId()));
  try {
    Execute();
  } catch (...) {
    // A thread body that raises ends its thread; the platform keeps the failure to itself.
  }
  DoTerminate();
  { std::lock_guard StartOver(FStartLock); }
  const bool FreeSelf = FFreeOnTerminate.load();
  // Copied while the object is surely alive: once it is released, its pool may free it.
  const std::function<void()> Release = FreeSelf ? FRelease : nullptr;
  FFinished.store(true);
  if (!FreeSelf) {
    return;
  }
  // From here on this object may be freed elsewhere; only copies are used.
  if (Release) {
    Release();
  } else if (QCoreApplication* App = QCoreApplication::instance()) {
    QueueCall(App, [this] { delete this; });
  }
}

void TThread::TRunner::run() {
  FOwner.Run();
  // Pairs with the acquire once wait() has returned, after which the owner may be freed.
  TsanRelease(this);
}

}  // namespace wavenard
