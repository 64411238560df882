#include "support/threads/zn_thread.h"

#include <cerrno>

namespace wavenard {

namespace {

class TAnonymousThread final : public TThread {
 public:
  explicit TAnonymousThread(std::function<void()> AProc) : FProc(std::move(AProc)) {
    SetFreeOnTerminate(true);
  }

 protected:
  void Execute() override { FProc(); }

 private:
  std::function<void()> FProc;
};

}  // namespace

TZnThread::TZnThread() {
  AutoHandleException = true;
}

void TZnThread::Start() {
  try {
    TThreadEx::Start();
  } catch (const EThread&) {
    throw StartFailure(errno);
  }
}

TThread* TZnThread::CreateAnonymousThread(std::function<void()> AThreadProc, const QString&, bool) {
  return new TAnonymousThread(std::move(AThreadProc));
}

}  // namespace wavenard
