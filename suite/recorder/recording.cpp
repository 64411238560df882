#include "suite/recorder/recording.h"

#include <QAudioSource>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <span>
#include <utility>

#include "suite/recorder/input_choice.h"
#include "suite/recorder/recording_failure.h"

namespace wavenard {

namespace {

constexpr int FallbackSampleRate = 48000;
// How long Stop waits at most for the sound the device still owes.
constexpr int MaxDrainMs = 3000;
constexpr int SampleBytes = 2;
constexpr int InputWatchMs = 200;
// Room for this much sound is set aside at the start, so that a take of usual length is never
// copied to make room while it is recorded. The system hands out only what is used.
constexpr int ReservedSeconds = 300;

QString DeviceErrorText(QAudio::Error AError) {
  switch (AError) {
    case QAudio::OpenError:
      return QStringLiteral("The input device cannot be opened");
    case QAudio::IOError:
      return QStringLiteral("The input device stopped delivering sound");
    case QAudio::UnderrunError:
      return QStringLiteral("The input device delivered no sound in time");
    case QAudio::FatalError:
      return QStringLiteral("The input device is gone");
    case QAudio::NoError:
      break;
  }
  return QStringLiteral("The input device stopped");
}

}  // namespace

QAudioDevice AudioInputFor(const TInputChoice& AChoice, QString& ANote) {
  if (!AChoice.Id.isEmpty()) {
    const QByteArray Id = AChoice.Id.toUtf8();
    for (const QAudioDevice& Device : QMediaDevices::audioInputs()) {
      if (Device.id() == Id) {
        return Device;
      }
    }
    ANote = QStringLiteral("The microphone \"%1\" is not present: recording from the default input.")
                .arg(AChoice.Name);
  }
  const QAudioDevice Default = QMediaDevices::defaultAudioInput();
  if (Default.isNull()) {
    ANote = QStringLiteral("No input device is present.");
  }
  return Default;
}

// Takes what the device pushes and hands it to the recording.
class TRecording::TSink final : public QIODevice {
 public:
  explicit TSink(TRecording& ARecording) : FRecording(ARecording) { open(QIODevice::WriteOnly); }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* AData, qint64 ASize) override {
    FRecording.Consume(AData, ASize);
    return ASize;
  }

 private:
  TRecording& FRecording;
};

TRecording::TRecording(QObject* AParent)
    : QObject(AParent), FDevices(std::make_unique<QMediaDevices>()), FInputWatch(this) {
  connect(FDevices.get(), &QMediaDevices::audioInputsChanged, this, &TRecording::InputsChanged);
  FInputWatch.setInterval(InputWatchMs);
  connect(&FInputWatch, &QTimer::timeout, this, &TRecording::InputsChanged);
}

TRecording::~TRecording() {
  if (IsRecording()) {
    try {
      Stop();
    } catch (const ERecordingFailure&) {
      // The file is closed and holds what could be kept; nobody is left to be told.
    }
  }
}

void TRecording::Start(const QAudioDevice& ADevice, const QString& AFolder, const QDateTime& AStartTime) {
  Q_ASSERT(!IsRecording());
  if (ADevice.isNull()) {
    throw ERecordingFailure(QStringLiteral("No input device is present."));
  }
  TTakeFolder Folder(AFolder);
  Folder.Open();

  const QAudioFormat Preferred = ADevice.preferredFormat();
  QAudioFormat Format;
  Format.setSampleRate(Preferred.sampleRate() > 0 ? Preferred.sampleRate() : FallbackSampleRate);
  Format.setChannelCount(std::clamp(Preferred.channelCount(), 1, 2));
  Format.setSampleFormat(QAudioFormat::Int16);
  if (!ADevice.isFormatSupported(Format)) {
    throw ERecordingFailure(
        QStringLiteral("The input device \"%1\" does not deliver %2-channel 16-bit sound at %3 Hz.")
            .arg(ADevice.description())
            .arg(Format.channelCount())
            .arg(Format.sampleRate()));
  }

  const TNewTakeFile File = Folder.CreateTake(AStartTime);
  FWriter.Open(File.Fd, File.FileName, Format.sampleRate(), Format.channelCount());
  FAudio = TTakeAudio{Format.sampleRate(), Format.channelCount(), {}};
  FAudio.Samples.reserve(size_t(ReservedSeconds) * size_t(FAudio.SampleRate) * size_t(FAudio.Channels));
  FLoudness = std::make_unique<TLoudnessMeter>(Format.sampleRate(), Format.channelCount());
  FPending.clear();
  FFailure.clear();
  FPeak = 0;
  FFrameLimit = -1;
  FInputGone = false;
  FDevice = ADevice;
  FSink = std::make_unique<TSink>(*this);
  FSource = std::make_unique<QAudioSource>(ADevice, Format);
  FSource->setBufferSize(Format.bytesForDuration(CaptureBufferMs * 1000));
  connect(FSource.get(), &QAudioSource::stateChanged, this, &TRecording::SourceStateChanged);
  // Push mode: the device writes into the sink. Reading on readyRead from the device's own
  // buffer once aborted inside the sound server's client library.
  FSource->start(FSink.get());
  FStarted.start();
  FInputWatch.start();
  if (FSource->error() != QAudio::NoError) {
    const QString Reason = DeviceErrorText(FSource->error());
    ReleaseSource();
    FAudio = {};
    try {
      FWriter.Finish();
    } catch (const ERecordingFailure&) {
      // It holds nothing and is gone; the device's failure is the one to tell.
    }
    throw ERecordingFailure(Reason + QStringLiteral(": \"") + ADevice.description() + QStringLiteral("\"."));
  }
}

TRecordingResult TRecording::Stop() {
  Q_ASSERT(IsRecording());
  // A sound server may hand the sound over in blocks of up to seconds: wait for the sound up to
  // the moment of Stop, so the end of what was said is not cut off, and keep nothing after it.
  if (!FInputGone) {
    FFrameLimit = FStarted.elapsed() * FWriter.SampleRate() / 1000;
  }
  QElapsedTimer Waited;
  Waited.start();
  while (IsRecording() && FFailure.isEmpty() && FWriter.FramesWritten() < FFrameLimit &&
         Waited.elapsed() < MaxDrainMs) {
    QEventLoop Loop;
    QTimer::singleShot(20, &Loop, &QEventLoop::quit);
    Loop.exec(QEventLoop::ExcludeUserInputEvents);
  }
  ReleaseSource();
  if (!FFailure.isEmpty()) {
    throw ERecordingFailure(CloseAfterFailure());
  }
  TRecordingResult Result;
  Result.FileName = FWriter.FileName();
  Result.Loudness = FLoudness->Result();
  Result.Audio = std::exchange(FAudio, {});
  Result.Take = FWriter.FinishHeld();
  if (Result.Take == nullptr) {
    throw ERecordingFailure(QStringLiteral("Nothing was recorded: the input device delivered no sound."));
  }
  return Result;
}

qreal TRecording::TakePeak() {
  return std::exchange(FPeak, 0.0);
}

void TRecording::Consume(const char* AData, qint64 ASize) {
  if (!FFailure.isEmpty() || !FWriter.IsOpen()) {
    return;
  }
  FPending.append(AData, ASize);
  const qint64 FrameBytes = qint64{SampleBytes} * FWriter.Channels();
  qint64 Frames = FPending.size() / FrameBytes;
  if (FFrameLimit >= 0) {
    Frames = std::min(Frames, FFrameLimit - FWriter.FramesWritten());
  }
  if (Frames <= 0) {
    return;
  }
  // The bytes may lie at any alignment; copy them into samples, after those of the take so far.
  const size_t Start = FAudio.Samples.size();
  const auto Count = static_cast<size_t>(Frames * FWriter.Channels());
  FAudio.Samples.resize(Start + Count);
  qint16* const Samples = FAudio.Samples.data() + Start;
  std::memcpy(Samples, FPending.constData(), Count * SampleBytes);
  FPending.remove(0, Frames * FrameBytes);
  int Peak = 0;
  for (const qint16 Sample : std::span(Samples, Count)) {
    Peak = std::max(Peak, std::abs(int{Sample}));
  }
  FPeak = std::max(FPeak, Peak / 32768.0);
  try {
    FWriter.Write(Samples, Frames);
    FLoudness->Add(Samples, Frames);
  } catch (const ERecordingFailure& E) {
    FAudio.Samples.resize(Start);
    EndAfterFailure(E.Message());
  }
}

void TRecording::SourceStateChanged() {
  if (FSource == nullptr || FSource->state() != QAudio::StoppedState || FSource->error() == QAudio::NoError) {
    return;
  }
  EndAfterFailure(DeviceErrorText(FSource->error()) + u'.');
}

void TRecording::InputsChanged() {
  if (!IsRecording() || FInputGone) {
    return;
  }
  for (const QAudioDevice& Device : QMediaDevices::audioInputs()) {
    if (Device.id() == FDevice.id()) {
      return;
    }
  }
  FInputGone = true;
  FFrameLimit = FWriter.FramesWritten();
  emit InputGone(FDevice.description());
}

void TRecording::EndAfterFailure(const QString& AReason) {
  FFailure = AReason;
  // Not from inside the device's own delivery: the source is stopped once that has returned.
  QTimer::singleShot(0, this, [this] {
    if (IsRecording()) {
      ReleaseSource();
      const QString Reason = CloseAfterFailure();
      emit Failed(Reason, FWriter.FileKept());
    }
  });
}

QString TRecording::CloseAfterFailure() {
  FAudio = {};
  QString Reason = FFailure;
  if (FWriter.IsOpen()) {
    try {
      FWriter.Finish();
    } catch (const ERecordingFailure& E) {
      Reason += u' ' + E.Message();
    }
  }
  return Reason;
}

void TRecording::ReleaseSource() {
  if (FSource == nullptr) {
    return;
  }
  FInputWatch.stop();
  disconnect(FSource.get(), nullptr, this, nullptr);
  FSource->stop();
  FSource.reset();
  FSink.reset();
}

}  // namespace wavenard
