#pragma once

#include <QObject>
#include <mutex>
#include <utility>

namespace wavenard {

namespace detail {
// Orders everything a thread did before queueing a call before the call runs (or is dropped)
// in a way ThreadSanitizer can see; Qt's own event-queue locking is invisible to it.
std::recursive_mutex& QueuedCallLock();
}  // namespace detail

// Queues AFunction to run on AContext's thread; it is dropped, unrun, when AContext dies
// first. Returns false when it could not be queued.
template <class F>
bool QueueCall(QObject* AContext, F&& AFunction) {
  struct TCall {
    F Function;
    explicit TCall(F&& AFn) : Function(std::forward<F>(AFn)) {}
    TCall(TCall&& AOther) noexcept : Function(std::move(AOther.Function)) {}
    ~TCall() { std::lock_guard Guard(detail::QueuedCallLock()); }
    void operator()() {
      { std::lock_guard Guard(detail::QueuedCallLock()); }
      Function();
    }
  };
  std::lock_guard Guard(detail::QueuedCallLock());
  return QMetaObject::invokeMethod(AContext, TCall(std::forward<F>(AFunction)), Qt::QueuedConnection);
}

}  // namespace wavenard
