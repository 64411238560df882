#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "support/threads/hand_over.h"

#include "support/threads/window_message.h"
#include "support/threads/zn_thread.h"

namespace wavenard {

struct TMessageItem {
  TWindowMessage M;
  // The way into the window's thread; it closes when the window is destroyed.
  std::shared_ptr<THandOver> Wnd;
};

// Forwards window messages handed in from any thread to their windows, one after another and
// in order, so a sender never waits for the receiving window.
class TMsgThread final : public TZnThread {
 public:
  // Stops the thread: queued messages are dropped, a delivery under way completes. On the main
  // thread the wait keeps serving deliveries into main-thread objects, so it cannot deadlock.
  ~TMsgThread() override;

  // Carried for the suite; this program starts only the message thread and never sends to it.
  // AWnd is alive during the call; it may be destroyed before the message is delivered.
  void Send(QObject* AWnd, quint32 AMsg, quintptr AWParam, qintptr ALParam);
  int Count() const { return FCount.load() + FCount2.load(); }

 protected:
  void Execute() override;

 private:
  void SetEvent();

  std::deque<TMessageItem> FList;
  std::mutex FSync;
  // FEvent: auto-reset, initially not signalled.
  std::mutex FEventLock;
  std::condition_variable FEventChanged;
  bool FEvent = false;
  std::atomic<int> FCount{0};
  std::atomic<int> FCount2{0};
};

}  // namespace wavenard
