#include "support/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "support/queued_call.h"

namespace wavenard {

namespace {

bool OnMainThread() {
  QCoreApplication* App = QCoreApplication::instance();
  return App != nullptr && QThread::currentThread() == App->thread();
}

}  // namespace

QString BoxText(const QString& AText) {
  if (AText.size() <= MaxBoxTextLength) {
    return AText;
  }
  qsizetype Length = MaxBoxTextLength;
  if (AText.at(Length - 1).isHighSurrogate()) {
    --Length;
  }
  return AText.left(Length) + QChar(0x2026);
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

int TWidgetBoxPresenter::Present(const TBoxRequest& ARequest) {
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
  switch (ARequest.Flags & 0xF0) {
    case MB_ICONERROR:
      Icon = QMessageBox::Critical;
      break;
    case MB_ICONQUESTION:
      Icon = QMessageBox::Question;
      break;
    case MB_ICONWARNING:
      Icon = QMessageBox::Warning;
      break;
    case MB_ICONINFORMATION:
      Icon = QMessageBox::Information;
      break;
    default:
      break;
  }
  QMessageBox::StandardButtons Buttons = QMessageBox::Ok;
  switch (ARequest.Flags & 0x0F) {
    case MB_OKCANCEL:
      Buttons = QMessageBox::Ok | QMessageBox::Cancel;
      break;
    case MB_YESNO:
      Buttons = QMessageBox::Yes | QMessageBox::No;
      break;
    default:
      break;
  }
  QMessageBox Box(Icon, ARequest.Caption, QString(), Buttons, QApplication::activeWindow());
  // The format first: text set while it is still automatic would already be laid out as HTML.
  Box.setTextFormat(Qt::PlainText);
  Box.setText(BoxText(ARequest.Text));
  Box.setWindowModality(Qt::ApplicationModal);
  Box.setLayoutDirection(QGuiApplication::layoutDirection());
  switch (Box.exec()) {
    case QMessageBox::Ok:
      return IDOK;
    case QMessageBox::Yes:
      return IDYES;
    case QMessageBox::No:
      return IDNO;
    default:
      return IDCANCEL;
  }
}

}  // namespace wavenard
