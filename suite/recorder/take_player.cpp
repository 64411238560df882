#include "suite/recorder/take_player.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

namespace wavenard {

namespace {

constexpr int TickMs = 40;

}  // namespace

TTakePlayer::TTakePlayer(QObject* AParent) : QObject(AParent), FTicker(this) {
  FTicker.setInterval(TickMs);
  connect(&FTicker, &QTimer::timeout, this, [this] { emit PositionChanged(Position()); });
}

TTakePlayer::~TTakePlayer() {
  Stop();
}

bool TTakePlayer::Play(QByteArray ASamples, int ASampleRate, int AChannels, QString& AReason) {
  Stop();
  const QAudioDevice Output = QMediaDevices::defaultAudioOutput();
  if (Output.isNull()) {
    AReason = QStringLiteral("No output device is present to listen with.");
    return false;
  }
  QAudioFormat Format;
  Format.setSampleRate(ASampleRate);
  Format.setChannelCount(AChannels);
  Format.setSampleFormat(QAudioFormat::Int16);
  FSamples = std::move(ASamples);
  FSampleRate = ASampleRate;
  FBuffer.setData(FSamples);
  FBuffer.open(QIODevice::ReadOnly);
  FSink = std::make_unique<QAudioSink>(Output, Format);
  connect(FSink.get(), &QAudioSink::stateChanged, this, &TTakePlayer::SinkStateChanged);
  FSink->start(&FBuffer);
  if (FSink->error() != QAudio::NoError) {
    AReason = QStringLiteral("The output device \"%1\" cannot be opened.").arg(Output.description());
    Stop();
    return false;
  }
  FTicker.start();
  return true;
}

void TTakePlayer::Stop() {
  FTicker.stop();
  if (FSink != nullptr) {
    disconnect(FSink.get(), nullptr, this, nullptr);
    FSink->stop();
    FSink.reset();
  }
  FBuffer.close();
}

qint64 TTakePlayer::Position() const {
  return FSink != nullptr ? FSink->processedUSecs() * FSampleRate / 1000000 : -1;
}

void TTakePlayer::SinkStateChanged() {
  // Idle: everything handed over has been played. The sink is let go of once its own signal has
  // returned.
  QTimer::singleShot(0, this, [this] {
    if (FSink != nullptr && (FSink->state() == QAudio::IdleState || FSink->error() != QAudio::NoError)) {
      Stop();
      emit Finished();
    }
  });
}

}  // namespace wavenard
