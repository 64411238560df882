#include "support/quit_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace wavenard {

namespace {

// Lock-free, so the handler may read it.
std::atomic<int> WriteEnd{-1};

void OnSignal(int) {
  const int Saved = errno;
  const char Byte = 1;
  // A full pipe already holds a wake-up; nothing else is safe to do here.
  [[maybe_unused]] const ssize_t Written = write(WriteEnd, &Byte, 1);
  errno = Saved;
}

}  // namespace

struct TQuitSignals::TSaved {
  struct sigaction Term {};
  struct sigaction Int {};
};

TQuitSignals::TQuitSignals(QObject* AParent) : QObject(AParent), FSaved(std::make_unique<TSaved>()) {
  if (pipe2(FPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    qWarning("No pipe for the quit signals: %s", strerror(errno));
    FPipe[0] = FPipe[1] = -1;
    return;
  }
  WriteEnd = FPipe[1];
  FNotifier = new QSocketNotifier(FPipe[0], QSocketNotifier::Read, this);
  connect(FNotifier, &QSocketNotifier::activated, this, [this] { Drain(); });

  struct sigaction Action {};
  Action.sa_handler = OnSignal;
  sigemptyset(&Action.sa_mask);
  Action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &Action, &FSaved->Term);
  sigaction(SIGINT, &Action, &FSaved->Int);
}

TQuitSignals::~TQuitSignals() {
  if (FPipe[0] < 0) {
    return;
  }
  sigaction(SIGTERM, &FSaved->Term, nullptr);
  sigaction(SIGINT, &FSaved->Int, nullptr);
  WriteEnd = -1;
  delete FNotifier;
  close(FPipe[0]);
  close(FPipe[1]);
}

void TQuitSignals::Drain() {
  char Bytes[64];
  while (read(FPipe[0], Bytes, sizeof Bytes) > 0) {
  }
  emit QuitRequested();
}

}  // namespace wavenard
