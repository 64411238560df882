#include "support/threads/window_message.h"

#include <QCoreApplication>

#include "support/threads/hand_over.h"

namespace wavenard {

QEvent::Type TWindowMessageEvent::EventType() {
  static const QEvent::Type Type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return Type;
}

bool SendWindowMessage(THandOver& AWindow, TWindowMessage& AMessage) {
  bool Handled = false;
  const bool Delivered = AWindow.Call([&] {
    TWindowMessageEvent Event(AMessage);
    Handled = QCoreApplication::sendEvent(AWindow.Context(), &Event);
  });
  return Delivered && Handled;
}

}  // namespace wavenard
