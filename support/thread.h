#pragma once

#include <QtGlobal>
#include <atomic>
#include <memory>

#include "support/failure.h"

namespace wavenard {

// A thread that cannot be started, or is started a second time.
class EThread : public EFailure {
 public:
  using EFailure::EFailure;
};

// The stack size of the threads this layer starts from now on (TThread and the process
// reaper); 0, the default, leaves it to the platform. A size the platform does not accept
// makes every start fail, which is how the handling of a refused start is tried out.
void SetThreadStackSize(quint32 ABytes);
quint32 ThreadStackSize();

// The platform thread class the worker classes build on: created suspended and started once
// by its owner, with a terminated flag, WaitFor, and free-on-terminate. (A thread that ran at
// once would have to start before its derived part is constructed, so there is no such thread.)
// A thread that frees itself is deleted on the main thread after its run has ended (never from
// inside its own run); WaitForAll joins and frees what is left when the event loop is gone.
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

  // Main thread, at shutdown: waits up to AMilliseconds for every self-freeing thread to end
  // and frees those that did. Returns true when none is left running.
  static bool WaitForAll(int AMilliseconds);

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
  void Run();
  bool WaitForEnd(int AMilliseconds);

  std::unique_ptr<TRunner> FRunner;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FStarted{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FFreeOnTerminate{false};
  std::atomic<quintptr> FHandle{0};
  const quint64 FSerial;
};

}  // namespace wavenard
