#include "support/message_box.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>

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
  if (FUnattended) {
    return AnswerUnattended(Request);
  }
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
    FUnattended ? AnswerUnattended(Job) : Present(Job);
  }
  FRunning = false;
}

int TBoxPresenter::AnswerUnattended(const TBoxRequest& ARequest) {
  QString Line = BoxText(ARequest.Text);
  Line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (!ARequest.Caption.isEmpty()) {
    Line = ARequest.Caption + QStringLiteral(": ") + Line;
  }
  std::fprintf(stderr, "%s\n", Line.toLocal8Bit().constData());
  std::fflush(stderr);
  switch (ARequest.Flags & 0x0F) {
    case MB_OKCANCEL:
      return IDCANCEL;
    case MB_YESNO:
      return IDNO;
    default:
      return IDOK;
  }
}

}  // namespace wavenard
