#include "support/threads/thread_terminator.h"

#include <QThread>
#include <chrono>

namespace wavenard {

TThreadTerminator::TThreadTerminator(TThread* AThread, std::shared_ptr<TTerminatorDone> ADone)
    : FThread(AThread), FDone(std::move(ADone)) {
  SetFreeOnTerminate(true);
}

void TThreadTerminator::Execute() {
  QThread::currentThread()->setObjectName(QStringLiteral("ThreadBackgroundTerminate"));
  if (FThread) {
    FThread->Terminate();
    FThread->WaitFor();
    FThread.reset();
  }
}

void TThreadTerminator::DoTerminate() {
  if (!FDone) {
    return;
  }
  {
    std::lock_guard Guard(FDone->Lock);
    FDone->Done = true;
  }
  FDone->Changed.notify_all();
}

void BackgroundTerminate(TThread* AThread, int ATimeout) {
  if (AThread == nullptr) {
    return;
  }
  AThread->Terminate();
  auto Done = std::make_shared<TTerminatorDone>();
  (new TThreadTerminator(AThread, Done))->Start();
  if (ATimeout > 0) {
    std::unique_lock Guard(Done->Lock);
    Done->Changed.wait_for(Guard, std::chrono::milliseconds(ATimeout), [&] { return Done->Done; });
  }
}

}  // namespace wavenard
