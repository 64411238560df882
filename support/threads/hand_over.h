#pragma once

#include <QObject>
#include <QThread>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace wavenard {

// The way from worker threads to one receiver on the main thread. A worker hands over a call
// and waits until it has run there. Once the receiver begins to close (Close, or its
// destruction), nothing more is delivered and every waiting worker is released at once. Workers
// hold it by shared ownership, so it outlives the receiver.
//
// A call is queued under the same lock that Close takes, so a receiver that has closed is never
// touched again by a worker: the receiver may be destroyed as soon as Close has returned.
class THandOver final : public std::enable_shared_from_this<THandOver> {
 public:
  // AContext lives on the thread that is to run the calls (the receiver, or the application),
  // and is alive during Create. Its destruction closes the hand-over.
  static std::shared_ptr<THandOver> Create(QObject* AContext);
  ~THandOver();
  Q_DISABLE_COPY_MOVE(THandOver)

  // Runs AFunction on the context's thread and waits until it returned. Returns false when the
  // call was not delivered because the receiver closed. On the context's own thread it runs
  // AFunction directly.
  bool Call(const std::function<void()>& AFunction);

  // Context thread: no call is delivered from now on; waiting callers return false.
  void Close();
  bool Closed() const;
  // Workers waiting in Call right now, their call queued and not yet run or dropped; 0 once
  // the way is drained.
  int Waiting() const;

  // The receiver, for a call running on its thread (where it cannot be destroyed meanwhile).
  QObject* Context() const { return FContext; }

 private:
  explicit THandOver(QObject* AContext);

  QObject* const FContext;
  QThread* const FThread;
  QMetaObject::Connection FDestroyed;
  mutable std::mutex FLock;
  std::condition_variable FChanged;
  bool FClosed = false;
  int FWaiting = 0;
};

}  // namespace wavenard
