#include "support/threads/worker_pool.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <vector>

#include "support/queued_call.h"

namespace wavenard {

// The pool's threads by key (an address may be reused by a new thread before a queued free of
// the old one has run). Shared with the running threads, so it outlives the pool.
class TWorkerPool::TCore final : public std::enable_shared_from_this<TCore> {
 public:
  quint64 Keep(std::unique_ptr<TThread> AThread) {
    std::lock_guard Guard(FLock);
    const quint64 Key = FNextKey++;
    AThread->SetFreeOnTerminate(true);
    AThread->FRelease = [Self = shared_from_this(), Key] { Self->Ended(Key); };
    FThreads.emplace(Key, TEntry{AThread.release(), false});
    return Key;
  }

  // The thread that has not been started, taken back for its owner to free.
  std::unique_ptr<TThread> Take(quint64 AKey) {
    std::lock_guard Guard(FLock);
    const auto It = FThreads.find(AKey);
    if (It == FThreads.end()) {
      return nullptr;
    }
    std::unique_ptr<TThread> Thread(It->second.Thread);
    FThreads.erase(It);
    return Thread;
  }

  bool Join(int AMilliseconds) {
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(AMilliseconds);
    bool AllEnded = false;
    {
      std::unique_lock Guard(FLock);
      AllEnded = FChanged.wait_until(Guard, Deadline, [this] {
        return std::all_of(FThreads.begin(), FThreads.end(),
                           [](const auto& AEntry) { return AEntry.second.Ended; });
      });
    }
    FreeEnded();
    return AllEnded;
  }

 private:
  struct TEntry {
    TThread* Thread;
    bool Ended;
  };

  // On the thread whose run has ended, as its last act.
  void Ended(quint64 AKey) {
    {
      std::lock_guard Guard(FLock);
      const auto It = FThreads.find(AKey);
      if (It == FThreads.end()) {
        return;
      }
      It->second.Ended = true;
    }
    FChanged.notify_all();
    if (QCoreApplication* App = QCoreApplication::instance()) {
      QueueCall(App, [Self = shared_from_this(), AKey] { Self->Reap(AKey); });
    }
  }

  // Main thread: frees the ended thread unless Join got there first.
  void Reap(quint64 AKey) {
    std::unique_ptr<TThread> Thread;
    {
      std::lock_guard Guard(FLock);
      const auto It = FThreads.find(AKey);
      if (It == FThreads.end()) {
        return;
      }
      Thread.reset(It->second.Thread);
      FThreads.erase(It);
    }
  }

  // Frees them once the lock is let go (it is taken after the list, so it goes first).
  void FreeEnded() {
    std::vector<std::unique_ptr<TThread>> Done;
    std::lock_guard Guard(FLock);
    for (auto It = FThreads.begin(); It != FThreads.end();) {
      if (It->second.Ended) {
        Done.emplace_back(It->second.Thread);
        It = FThreads.erase(It);
      } else {
        ++It;
      }
    }
  }

  std::mutex FLock;
  std::condition_variable FChanged;
  std::map<quint64, TEntry> FThreads;
  quint64 FNextKey = 1;
};

TWorkerPool::TWorkerPool() : FCore(std::make_shared<TCore>()) {}

TWorkerPool::~TWorkerPool() {
  Join(0);
}

quint64 TWorkerPool::Keep(std::unique_ptr<TThread> AThread) {
  return FCore->Keep(std::move(AThread));
}

void TWorkerPool::Drop(quint64 AKey) {
  FCore->Take(AKey).reset();
}

bool TWorkerPool::Join(int AMilliseconds) {
  return FCore->Join(AMilliseconds);
}

}  // namespace wavenard
