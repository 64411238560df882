#include "support/threads/msg_thread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace wavenard {

TMsgThread::~TMsgThread() {
  Terminate();
  SetEvent();
  if (!Started()) {
    return;
  }
  QCoreApplication* App = QCoreApplication::instance();
  if (App != nullptr && QThread::currentThread() == App->thread()) {
    // Serve deliveries into this thread's objects while waiting; keep the user out meanwhile.
    while (!WaitFor(0)) {
      QEventLoop Loop;
      QTimer::singleShot(10, &Loop, &QEventLoop::quit);
      Loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
  } else {
    WaitFor();
  }
}

void TMsgThread::SetEvent() {
  {
    std::lock_guard Guard(FEventLock);
    FEvent = true;
  }
  FEventChanged.notify_one();
}

void TMsgThread::Send(QObject* AWnd, quint32 AMsg, quintptr AWParam, qintptr ALParam) {
  if (Terminated()) {
    return;
  }
  TMessageItem Item{TWindowMessage{AMsg, AWParam, ALParam, 0}, THandOver::Create(AWnd)};
  {
    std::lock_guard Guard(FSync);
    FList.push_back(std::move(Item));
    FCount.exchange(static_cast<int>(FList.size()));
  }
  SetEvent();
}

void TMsgThread::Execute() {
  std::deque<TMessageItem> Batch;
  while (!Terminated()) {
    {
      std::unique_lock Guard(FEventLock);
      FEventChanged.wait(Guard, [this] { return FEvent; });
      FEvent = false;
    }
    {
      std::lock_guard Guard(FSync);
      if (Terminated()) {
        FList.clear();
      }
      while (!FList.empty()) {
        Batch.push_back(std::move(FList.front()));
        FList.pop_front();
      }
      FCount2.exchange(static_cast<int>(Batch.size()));
      FCount.exchange(0);
    }
    while (!Batch.empty()) {
      TMessageItem Item = std::move(Batch.front());
      Batch.pop_front();
      if (!Terminated()) {
        SendWindowMessage(*Item.Wnd, Item.M);
      }
    }
    FCount2.exchange(0);
  }
}

}  // namespace wavenard
