#pragma once

#include <QString>
#include <functional>

#include "support/thread.h"

namespace wavenard {

class TThreadEx : public TThread {
 public:
  using TThread::TThread;
  bool AutoHandleException = false;
};

// Base of the suite's own threads: remembers how it was created and turns a refused start
// into a diagnostic error.
class TZnThread : public TThreadEx {
 public:
  TZnThread();
  explicit TZnThread(bool ACreateSuspended);

  void Start() override;
  bool WasCreatedSuspended() const { return FWasCreatedSuspended; }

  // A self-freeing thread that runs AThreadProc once started; the name and the error-log
  // switch are accepted for the suite's callers and not used.
  static TThread* CreateAnonymousThread(std::function<void()> AThreadProc, const QString& AName = {},
                                        bool AELEnabled = false);

 private:
  bool FWasCreatedSuspended = false;
};

}  // namespace wavenard
