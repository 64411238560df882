#pragma once

#include <QAudioDevice>
#include <QObject>
#include <memory>

class QAudioSource;
class QIODevice;

namespace wavenard {

// Listens to the input while nothing is recorded, so the level can be set before Record.
class TLevelMonitor final : public QObject {
  Q_OBJECT

 public:
  explicit TLevelMonitor(QObject* AParent = nullptr);
  ~TLevelMonitor() override;
  Q_DISABLE_COPY_MOVE(TLevelMonitor)

  // Listens to ADevice (a null device: to nothing); false when it cannot be opened.
  bool Start(const QAudioDevice& ADevice);
  void Stop();
  bool IsRunning() const { return FSource != nullptr; }
  // The highest sample level (0 to 1) since the last call.
  double TakePeak();

 private:
  class TSink;

  std::unique_ptr<QAudioSource> FSource;
  std::unique_ptr<TSink> FSink;
};

}  // namespace wavenard
