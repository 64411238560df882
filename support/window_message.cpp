#include "support/window_message.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "support/queued_call.h"

namespace wavenard {

namespace {

struct TDelivery {
  std::mutex Lock;
  std::condition_variable Changed;
  bool Done = false;
  bool Handled = false;
};

// Marks the delivery done when destroyed: after the call ran, or when Qt dropped it unrun
// because the window died first.
class TDeliveryGuard {
 public:
  explicit TDeliveryGuard(std::shared_ptr<TDelivery> ADelivery) : FDelivery(std::move(ADelivery)) {}
  ~TDeliveryGuard() {
    {
      std::lock_guard Guard(FDelivery->Lock);
      FDelivery->Done = true;
    }
    FDelivery->Changed.notify_all();
  }
  TDelivery& Delivery() { return *FDelivery; }

 private:
  std::shared_ptr<TDelivery> FDelivery;
};

}  // namespace

QEvent::Type TWindowMessageEvent::EventType() {
  static const QEvent::Type Type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return Type;
}

bool SendWindowMessage(QObject* AWindow, TWindowMessage& AMessage) {
  if (AWindow == nullptr) {
    return false;
  }
  if (QThread::currentThread() == AWindow->thread()) {
    TWindowMessageEvent Event(AMessage);
    return QCoreApplication::sendEvent(AWindow, &Event);
  }
  auto Delivery = std::make_shared<TDelivery>();
  auto Guard = std::make_shared<TDeliveryGuard>(Delivery);
  QPointer<QObject> Window(AWindow);
  const bool Queued = QueueCall(AWindow, [Guard, Window, &AMessage]() mutable {
    if (Window) {
      TWindowMessageEvent Event(AMessage);
      const bool Handled = QCoreApplication::sendEvent(Window.data(), &Event);
      std::lock_guard Lock(Guard->Delivery().Lock);
      Guard->Delivery().Handled = Handled;
    }
    Guard.reset();
  });
  Guard.reset();
  if (!Queued) {
    return false;
  }
  std::unique_lock Lock(Delivery->Lock);
  Delivery->Changed.wait(Lock, [&] { return Delivery->Done; });
  return Delivery->Handled;
}

}  // namespace wavenard
