#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace wavenard {

// Turns SIGTERM and SIGINT into QuitRequested on the main thread, so the end of a desktop
// session closes the window as the user would. The handler only writes a byte into a pipe; the
// signal is emitted from the event loop. One instance at a time; the former handlers return
// with its end.
class TQuitSignals final : public QObject {
  Q_OBJECT

 public:
  explicit TQuitSignals(QObject* AParent = nullptr);
  ~TQuitSignals() override;
  Q_DISABLE_COPY_MOVE(TQuitSignals)

 signals:
  // SIGTERM or SIGINT arrived (once for several that came together).
  void QuitRequested();

 private:
  void Drain();

  int FPipe[2] = {-1, -1};
  QSocketNotifier* FNotifier = nullptr;
  struct TSaved;
  std::unique_ptr<TSaved> FSaved;
};

}  // namespace wavenard
