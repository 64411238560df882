#pragma once

// Carried for the suite; this program starts only the message thread and never sends to it.

#include <QEvent>
#include <QObject>
#include <QtGlobal>

namespace wavenard {

class THandOver;

// A window message as the suite's threads pass it around; a "window" is any QObject, whose
// event() receives a TWindowMessageEvent.
struct TWindowMessage {
  quint32 Msg = 0;
  quintptr WParam = 0;
  qintptr LParam = 0;
  qintptr Result = 0;
};

class TWindowMessageEvent final : public QEvent {
 public:
  static QEvent::Type EventType();
  explicit TWindowMessageEvent(TWindowMessage& AMessage) : QEvent(EventType()), FMessage(AMessage) {}
  TWindowMessage& Message() { return FMessage; }

 private:
  TWindowMessage& FMessage;
};

// Delivers AMessage to the window held through its hand-over in the window's own thread and
// returns once it was handled (directly when the caller is that thread). The window may be
// destroyed meanwhile: a window that is gone (or closing) gets nothing. Returns false when the
// window is gone or did not take the message; AMessage.Result holds what the handler left there.
bool SendWindowMessage(THandOver& AWindow, TWindowMessage& AMessage);

}  // namespace wavenard
