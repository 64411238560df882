#include "suite/recorder/level_monitor.h"

#include <QAudioSource>
#include <QIODevice>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "suite/recorder/recording.h"

namespace wavenard {

// Keeps only the highest level of what the device pushes.
class TLevelMonitor::TSink final : public QIODevice {
 public:
  TSink() { open(QIODevice::WriteOnly); }

  double Peak = 0;

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* AData, qint64 ASize) override {
    int Highest = 0;
    for (qint64 Offset = 0; Offset + 1 < ASize; Offset += 2) {
      qint16 Sample = 0;
      std::memcpy(&Sample, AData + Offset, sizeof Sample);
      Highest = std::max(Highest, std::abs(int{Sample}));
    }
    Peak = std::max(Peak, Highest / 32768.0);
    return ASize;
  }
};

TLevelMonitor::TLevelMonitor(QObject* AParent) : QObject(AParent) {}

TLevelMonitor::~TLevelMonitor() {
  Stop();
}

bool TLevelMonitor::Start(const QAudioDevice& ADevice) {
  Stop();
  if (ADevice.isNull()) {
    return false;
  }
  QAudioFormat Format;
  Format.setSampleRate(ADevice.preferredFormat().sampleRate() > 0 ? ADevice.preferredFormat().sampleRate()
                                                                  : 48000);
  Format.setChannelCount(std::clamp(ADevice.preferredFormat().channelCount(), 1, 2));
  Format.setSampleFormat(QAudioFormat::Int16);
  FSink = std::make_unique<TSink>();
  FSource = std::make_unique<QAudioSource>(ADevice, Format);
  FSource->setBufferSize(Format.bytesForDuration(CaptureBufferMs * 1000));
  FSource->start(FSink.get());
  if (FSource->error() != QAudio::NoError) {
    Stop();
    return false;
  }
  return true;
}

void TLevelMonitor::Stop() {
  if (FSource != nullptr) {
    FSource->stop();
    FSource.reset();
  }
  FSink.reset();
}

double TLevelMonitor::TakePeak() {
  return FSink != nullptr ? std::exchange(FSink->Peak, 0.0) : 0.0;
}

}  // namespace wavenard
