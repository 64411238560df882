#pragma once

#include <QString>
#include <functional>

#include "support/threads/thread.h"

namespace wavenard {

class TThreadEx : public TThread {
 public:
  bool AutoHandleException = false;
};

// Base of the suite's own threads: created suspended like every thread here, and turns a
// refused start into a diagnostic error.
class TZnThread : public TThreadEx {
 public:
  TZnThread();

  void Start() override;

  // Carried for the suite; this program starts only the message thread and never sends to it.
  // A self-freeing thread that runs AThreadProc once started; the name and the error-log
  // switch are accepted for the suite's callers and not used.
  static TThread* CreateAnonymousThread(std::function<void()> AThreadProc, const QString& AName = {},
                                        bool AELEnabled = false);
};

}  // namespace wavenard
