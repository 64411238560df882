#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <deque>
#include <mutex>

namespace wavenard {

// The platform's message-box flags and button identifiers that the program uses.
constexpr int MB_OK = 0x00;
constexpr int MB_OKCANCEL = 0x01;
constexpr int MB_YESNO = 0x04;
constexpr int MB_ICONERROR = 0x10;
constexpr int MB_ICONQUESTION = 0x20;
constexpr int MB_ICONWARNING = 0x30;
constexpr int MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Boxes show at most this many characters of their text: a station may answer with a whole
// web page, and a box taller than the screen hides its own buttons.
constexpr int MaxBoxTextLength = 4096;

// AText cut to MaxBoxTextLength characters with an ellipsis, never inside a surrogate pair.
QString BoxText(const QString& AText);

struct TBoxRequest {
  QString Text;
  QString Caption;
  int Flags = 0;
};

// Shows message boxes. MyMessageBox may be called from any thread: on the main thread it shows
// the box and returns the button pressed; elsewhere the request is copied into a job for the
// main thread and -1 comes back at once. Jobs run one after another in the order handed over.
class TBoxPresenter {
 public:
  TBoxPresenter();
  virtual ~TBoxPresenter();
  Q_DISABLE_COPY_MOVE(TBoxPresenter)

  int MyMessageBox(const QString& AText, const QString& ACaption, int AFlags);

  // Once set, no box is shown any more, also none already handed over: nobody is left to answer
  // one (the desktop session is ending). Each goes to standard error as "caption: text" instead
  // and is answered as a closed box is: Cancel, No, or OK when that is its only button.
  void SetUnattended(bool AValue) { FUnattended = AValue; }
  bool Unattended() const { return FUnattended; }

 protected:
  // Main thread only: shows one modal box and returns the identifier of the button pressed.
  virtual int Present(const TBoxRequest& ARequest) = 0;

 private:
  void RunQueuedJobs();
  // Writes ARequest to standard error, from any thread, and answers it as a closed box.
  static int AnswerUnattended(const TBoxRequest& ARequest);

  QObject FContext;  // lives on the main thread; queued calls die with it
  std::mutex FLock;
  std::deque<TBoxRequest> FJobs;
  bool FRunning = false;
  std::atomic<bool> FUnattended{false};
};

}  // namespace wavenard
