#pragma once

// Carried for the suite; this program starts only the message thread and never sends to it.

#include <condition_variable>
#include <memory>
#include <mutex>

#include "support/threads/zn_thread.h"

namespace wavenard {

// Set once a terminator has ended its target; held apart from the terminator, which frees itself.
struct TTerminatorDone {
  std::mutex Lock;
  std::condition_variable Changed;
  bool Done = false;
};

// Ends a thread that may take long to stop and frees it, on a thread of its own.
class TThreadTerminator final : public TZnThread {
 public:
  // Takes ownership of AThread, which must not free itself.
  explicit TThreadTerminator(TThread* AThread, std::shared_ptr<TTerminatorDone> ADone = nullptr);

 protected:
  void Execute() override;
  void DoTerminate() override;

 private:
  std::unique_ptr<TThread> FThread;
  std::shared_ptr<TTerminatorDone> FDone;
};

// Asks AThread to terminate and hands it to a self-freeing terminator. With ATimeout above 0
// the caller waits for the terminator at most that many milliseconds; otherwise not at all.
void BackgroundTerminate(TThread* AThread, int ATimeout);

}  // namespace wavenard
