#pragma once

#include <QtGlobal>
#include <memory>
#include <utility>

#include "support/threads/thread.h"

namespace wavenard {

// Keeps the self-freeing threads one owner starts, from their start until they are freed: a
// thread that has run is freed on the main thread, or by Join once the event loop is gone.
// Created, joined and destroyed on the main thread; threads may be started through it from any.
class TWorkerPool final {
 public:
  TWorkerPool();
  // Frees the threads whose run has ended. One still running is left to end on its own: it is
  // freed on the main thread afterwards if the event loop still runs then.
  ~TWorkerPool();
  Q_DISABLE_COPY_MOVE(TWorkerPool)

  // Makes AThread self-freeing and has AStart start it (through one of its own operations, say),
  // after which AStart leaves it alone. When AStart raises, nothing has been started: AThread is
  // freed here and the failure passed on.
  template <class T, class F>
  void Start(std::unique_ptr<T> AThread, F&& AStart) {
    T* Thread = AThread.get();
    const quint64 Key = Keep(std::move(AThread));
    try {
      std::forward<F>(AStart)(*Thread);
    } catch (...) {
      Drop(Key);
      throw;
    }
  }

  // Waits up to AMilliseconds for every thread of the pool to end and frees those that did.
  // Returns true when none is left running.
  bool Join(int AMilliseconds);

 private:
  class TCore;

  // Takes AThread over, not yet started; returns its key in the pool.
  quint64 Keep(std::unique_ptr<TThread> AThread);
  // Frees the thread that a refused start left unstarted.
  void Drop(quint64 AKey);

  const std::shared_ptr<TCore> FCore;
};

}  // namespace wavenard
