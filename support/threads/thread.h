#pragma once

#include <QtGlobal>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "support/failure.h"

namespace wavenard {

// A thread that cannot be started, or is started a second time.
class EThread : public EFailure {
 public:
  using EFailure::EFailure;
};

// The platform thread class the worker classes build on: created suspended and started once
// by its owner, with a terminated flag, WaitFor, and free-on-terminate. (A thread that ran at
// once would have to start before its derived part is constructed, so there is no such thread.)
// A thread that frees itself is deleted after its run has ended, never from inside its own run:
// by the worker pool that started it, or else on the application's thread. Its start takes the
// stack size set by SetThreadStackSize.
class TThread {
 public:
  TThread();
  virtual ~TThread();
  Q_DISABLE_COPY_MOVE(TThread)

  // Starts a suspended thread; a thread that has been started before is refused with EThread.
  // When the platform refuses to start it, EThread says "Thread start failed (...)" and the
  // object stays as it was, never started: its owner frees it (also a self-freeing one).
  virtual void Start();
  void Terminate();
  bool Terminated() const { return FTerminated.load(); }
  bool Started() const { return FStarted.load(); }
  bool Finished() const { return FFinished.load(); }
  bool ExternalThread() const { return false; }
  // Every thread is; a refused start's diagnostic says so.
  bool CreatedSuspended() const { return true; }
  // An identifier of the running thread; 0 before it started.
  quintptr Handle() const { return FHandle.load(); }

  bool FreeOnTerminate() const { return FFreeOnTerminate.load(); }
  void SetFreeOnTerminate(bool AValue);

  void WaitFor();
  // Returns true when the thread has ended within AMilliseconds.
  bool WaitFor(int AMilliseconds);

 protected:
  // "Thread start failed (F=.. Ex=.. LE=.. H=.. SP=.. ST=..)" for the thread's present state.
  EThread StartFailure(int ALastError) const;
  virtual void Execute() = 0;
  // Called on the caller's thread when Terminate sets the flag.
  virtual void TerminatedSet() {}
  // Called on the thread itself after Execute has returned.
  virtual void DoTerminate() {}

 private:
  class TRunner;
  friend class TRunner;
  friend class TWorkerPool;
  void Run();
  bool WaitForEnd(int AMilliseconds);

  std::unique_ptr<TRunner> FRunner;
  // Held by Start until the runner has been asked how the start went, and taken by a run that
  // has ended before the thread may be freed: so a start is over before its thread is freed.
  std::mutex FStartLock;
  // Set by the pool that keeps the thread: frees it elsewhere once its run has ended. Called on
  // the thread itself as its last act; without it a self-freeing thread is freed on the
  // application's thread.
  std::function<void()> FRelease;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FStarted{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FFreeOnTerminate{false};
  std::atomic<quintptr> FHandle{0};
};

}  // namespace wavenard
