#pragma once

#include <QPointer>
#include <QThread>
#include <atomic>
#include <semaphore>

#include "support/threads/thread.h"

namespace wavenard::test {

// What a probe thread did, kept apart from it since it may free itself.
struct TProbeTrace {
  std::atomic<int> Runs{0};
  std::atomic<bool> Freed{false};
  // The thread that freed it; read once Freed is set.
  QPointer<QThread> FreedOn;
};

// Runs once its gate lets it through (a gate made open lets it through at once), ignoring any
// request to terminate, and records its runs and its freeing.
class TProbeThread final : public TThread {
 public:
  TProbeThread(std::binary_semaphore& AGate, TProbeTrace& ATrace) : FGate(AGate), FTrace(ATrace) {}
  ~TProbeThread() override {
    FTrace.FreedOn = QThread::currentThread();
    FTrace.Freed = true;
  }
  Q_DISABLE_COPY_MOVE(TProbeThread)

 protected:
  void Execute() override {
    ++FTrace.Runs;
    FGate.acquire();
  }

 private:
  std::binary_semaphore& FGate;
  TProbeTrace& FTrace;
};

}  // namespace wavenard::test
