#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <memory>

class QAudioSink;

namespace wavenard {

// Plays 16-bit interleaved sound through the system's default output, and tells where it is.
class TTakePlayer final : public QObject {
  Q_OBJECT

 public:
  explicit TTakePlayer(QObject* AParent = nullptr);
  ~TTakePlayer() override;
  Q_DISABLE_COPY_MOVE(TTakePlayer)

  // Starts playing ASamples from the beginning. Returns false, with AReason, when there is no
  // output to play through.
  bool Play(QByteArray ASamples, int ASampleRate, int AChannels, QString& AReason);
  void Stop();
  bool IsPlaying() const { return FSink != nullptr; }
  // The frame that is heard now.
  qint64 Position() const;

 signals:
  void PositionChanged(qint64 AFrame);
  // The end was reached, or the output failed; not after Stop.
  void Finished();

 private:
  void SinkStateChanged();

  std::unique_ptr<QAudioSink> FSink;
  QBuffer FBuffer;
  QByteArray FSamples;
  int FSampleRate = 0;
  QTimer FTicker;
};

}  // namespace wavenard
