#include "support/thread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>
#include <QThread>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <vector>

#include "support/queued_call.h"
#include "support/thread_sanitizer.h"

namespace wavenard {

namespace {

// Started self-freeing threads that have not been freed yet, by serial number (an address
// may be reused by a new thread before a queued free of the old one runs).
std::mutex RegistryLock;
std::condition_variable RegistryChanged;
std::atomic<quint64> NextSerial{1};
std::atomic<quint32> StackSize{0};
std::map<quint64, TThread*>& Registry() {
  static std::map<quint64, TThread*> Threads;
  return Threads;
}

// Frees a finished self-freeing thread unless WaitForAll got there first.
void Reap(quint64 ASerial) {
  TThread* Thread = nullptr;
  {
    std::lock_guard Guard(RegistryLock);
    auto It = Registry().find(ASerial);
    if (It == Registry().end()) {
      return;
    }
    Thread = It->second;
    Registry().erase(It);
  }
  delete Thread;
}

}  // namespace

void SetThreadStackSize(quint32 ABytes) {
  StackSize.store(ABytes);
}

quint32 ThreadStackSize() {
  return StackSize.load();
}

class TThread::TRunner final : public QThread {
 public:
  explicit TRunner(TThread& AOwner) : FOwner(AOwner) {}

 protected:
  void run() override;

 private:
  TThread& FOwner;
};

TThread::TThread() : FRunner(std::make_unique<TRunner>(*this)), FSerial(NextSerial.fetch_add(1)) {}

TThread::~TThread() {
  WaitFor();
}

void TThread::Start() {
  if (FStarted.exchange(true)) {
    throw EThread(QStringLiteral("Cannot call Start on a running or finished thread"));
  }
  // Held until the runner has been asked how the start went: a self-freeing thread whose run
  // is already over cannot be freed meanwhile.
  std::unique_lock Guard(RegistryLock);
  if (FFreeOnTerminate.load()) {
    Registry()[FSerial] = this;
  }
  FRunner->setStackSize(StackSize.load());
  errno = 0;
  FRunner->start();
  // A start the platform refused leaves the runner neither running nor finished.
  if (FRunner->isRunning() || FRunner->isFinished()) {
    return;
  }
  const int LastError = errno;
  Registry().erase(FSerial);
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
  std::lock_guard Guard(RegistryLock);
  FFreeOnTerminate.store(AValue);
  if (!FStarted.load()) {
    return;
  }
  if (AValue) {
    Registry()[FSerial] = this;
  } else {
    Registry().erase(FSerial);
  }
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
  // Copied while the object is surely alive: once Finished is set, WaitForAll may free it.
  const quint64 Serial = FSerial;
  bool FreeSelf = false;
  {
    std::lock_guard Guard(RegistryLock);
    FreeSelf = FFreeOnTerminate.load();
    FFinished.store(true);
  }
  if (!FreeSelf) {
    return;
  }
  // From here on the main thread may free this object; only copies are used.
  RegistryChanged.notify_all();
  if (QCoreApplication* App = QCoreApplication::instance()) {
    QueueCall(App, [Serial] { Reap(Serial); });
  }
}

void TThread::TRunner::run() {
  FOwner.Run();
  // Pairs with the acquire once wait() has returned, after which the owner may be freed.
  TsanRelease(this);
}

bool TThread::WaitForAll(int AMilliseconds) {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(AMilliseconds);
  std::vector<TThread*> Done;
  bool AllDone = false;
  {
    std::unique_lock Guard(RegistryLock);
    auto AllFinished = [] {
      for (const auto& [Serial, Thread] : Registry()) {
        if (!Thread->Finished()) {
          return false;
        }
      }
      return true;
    };
    AllDone = RegistryChanged.wait_until(Guard, Deadline, AllFinished);
    for (auto It = Registry().begin(); It != Registry().end();) {
      if (It->second->Finished()) {
        Done.push_back(It->second);
        It = Registry().erase(It);
      } else {
        ++It;
      }
    }
  }
  for (TThread* Thread : Done) {
    delete Thread;
  }
  return AllDone;
}

}  // namespace wavenard
