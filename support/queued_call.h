#pragma once

#include <QObject>
#include <type_traits>
#include <utility>

#include "support/thread_sanitizer.h"

namespace wavenard {

// Queues AFunction to run on AContext's thread; it is dropped, unrun, when AContext dies
// first. Returns false when it could not be queued.
template <class F>
bool QueueCall(QObject* AContext, F&& AFunction) {
  // Qt's event queue orders the queueing before the run or the drop; the call carries that
  // ordering itself, for ThreadSanitizer. Qt moves it, on this thread, into the object it
  // queues; each move releases, so the last copy, the one that runs or is dropped, carries
  // everything this thread did before.
  class TCall {
   public:
    explicit TCall(F&& AFn) : FFunction(std::forward<F>(AFn)) {}
    TCall(TCall&& AOther) noexcept : FFunction(std::move(AOther.FFunction)) { TsanRelease(this); }
    ~TCall() { TsanAcquire(this); }
    void operator()() {
      TsanAcquire(this);
      FFunction();
    }

   private:
    std::decay_t<F> FFunction;
  };
  return QMetaObject::invokeMethod(AContext, TCall(std::forward<F>(AFunction)), Qt::QueuedConnection);
}

}  // namespace wavenard
