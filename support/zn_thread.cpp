#include "support/zn_thread.h"

#include <QString>
#include <cerrno>

namespace wavenard {

namespace {

class TAnonymousThread final : public TThread {
 public:
  explicit TAnonymousThread(std::function<void()> AProc) : TThread(true), FProc(std::move(AProc)) {
    SetFreeOnTerminate(true);
  }

 protected:
  void Execute() override { FProc(); }

 private:
  std::function<void()> FProc;
};

}  // namespace

TZnThread::TZnThread() : TZnThread(false) {}

TZnThread::TZnThread(bool ACreateSuspended)
    : TThreadEx(ACreateSuspended), FWasCreatedSuspended(ACreateSuspended) {
  AutoHandleException = true;
}

void TZnThread::Start() {
  try {
    TThreadEx::Start();
  } catch (const EThread&) {
    const int LastError = errno;
    throw EThread(QStringLiteral("Thread start failed (F=%1 Ex=%2 LE=%3 H=%4 SP=%5 ST=%6)")
                      .arg(Finished() ? 1 : 0)
                      .arg(ExternalThread() ? 1 : 0)
                      .arg(LastError)
                      .arg(Handle())
                      .arg(FWasCreatedSuspended ? 1 : 0)
                      .arg(Started() ? 1 : 0)
                      .toStdString());
  }
}

TThread* TZnThread::CreateAnonymousThread(std::function<void()> AThreadProc, const QString&, bool) {
  return new TAnonymousThread(std::move(AThreadProc));
}

}  // namespace wavenard
