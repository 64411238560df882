#include "support/message_box.h"

#include <QCoreApplication>
#include <QThread>

#include "support/queued_call.h"
#include "support/text_cut.h"

namespace wavenard {

namespace {

bool OnMainThread() {
  QCoreApplication* App = QCoreApplication::instance();
  return App != nullptr && QThread::currentThread() == App->thread();
}

}  // namespace

QString BoxText(const QString& AText) {
  return CutText(AText, MaxBoxTextLength);
}

TBoxPresenter::TBoxPresenter() = default;
TBoxPresenter::~TBoxPresenter() = default;

int TBoxPresenter::MyMessageBox(const QString& AText, const QString& ACaption, int AFlags) {
  TBoxRequest Request{AText, ACaption, AFlags};
  if (OnMainThread()) {
    return Present(Request);
  }
  {
    std::lock_guard Guard(FLock);
    FJobs.push_back(std::move(Request));
  }
  QueueCall(&FContext, [this] { RunQueuedJobs(); });
  return -1;
}

void TBoxPresenter::RunQueuedJobs() {
  // A box runs a nested event loop; the jobs that arrive meanwhile wait for it to close
  // instead of stacking up on top of it.
  if (FRunning) {
    return;
  }
  FRunning = true;
  for (;;) {
    TBoxRequest Job;
    {
      std::lock_guard Guard(FLock);
      if (FJobs.empty()) {
        break;
      }
      Job = std::move(FJobs.front());
      FJobs.pop_front();
    }
    Present(Job);
  }
  FRunning = false;
}

}  // namespace wavenard
