#pragma once

#include <QAudioDevice>
#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

#include "suite/recorder/flac_file_writer.h"
#include "suite/recorder/held_take.h"
#include "suite/recorder/take_audio.h"
#include "suite/recorder/take_folder.h"
#include "suite/recorder/take_processing.h"

class QAudioSource;
class QMediaDevices;

namespace wavenard {

struct TInputChoice;

// The file a recording left behind, complete and still held for review.
struct TRecordingResult {
  QString FileName;
  std::unique_ptr<THeldTake> Take;
  // The sound the file holds, kept as it was recorded, so that nothing has to be read back.
  TTakeAudio Audio;
  // Of all that was kept, measured while it was recorded.
  std::optional<TLoudness> Loudness;

  qint64 DurationMs() const { return Audio.SampleRate > 0 ? Audio.Frames() * 1000 / Audio.SampleRate : 0; }
};

// How much sound the capture device is asked to hand over at a time, so the meter follows the
// voice closely.
constexpr int CaptureBufferMs = 50;

// The capture device for AChoice: the listed input with its identifier, else the system's default
// input, with ANote saying why the default stands in (unchanged when it does not). A null device
// when there is no input at all.
QAudioDevice AudioInputFor(const TInputChoice& AChoice, QString& ANote);

// One recording at a time from a capture device into a new FLAC file, 16-bit at the device's
// rate, mono or stereo as the device gives it. The device pushes its sound into the recording,
// which encodes it as it arrives. Main thread only.
class TRecording final : public QObject {
  Q_OBJECT

 public:
  explicit TRecording(QObject* AParent = nullptr);
  // Stops a running recording and keeps what it holds.
  ~TRecording() override;
  Q_DISABLE_COPY_MOVE(TRecording)

  // Starts recording ADevice into a new file in AFolder (created when missing, and refused
  // when it may not be trusted, see TTakeFolder) named for AStartTime. Raises
  // ERecordingFailure; nothing is left behind then.
  void Start(const QAudioDevice& ADevice, const QString& AFolder, const QDateTime& AStartTime);
  // Waits (a few seconds at most) for the sound up to this moment that the device still owes,
  // then stops and completes the file, which stays held (see THeldTake). After InputGone it
  // keeps nothing more. Raises ERecordingFailure when the file could not be completed or holds
  // nothing; what it holds up to the failure stays valid, and is closed.
  TRecordingResult Stop();

  bool IsRecording() const { return FSource != nullptr; }
  const QString& FileName() const { return FWriter.FileName(); }
  int SampleRate() const { return FWriter.SampleRate(); }
  int Channels() const { return FWriter.Channels(); }
  qint64 RecordedFrames() const { return FWriter.FramesWritten(); }
  // The highest sample level (0 to 1) since the last call.
  qreal TakePeak();

 signals:
  // The recording ended on its own (the device failed, the disk is full). The file is closed;
  // AKept tells whether it stayed (it holds what was recorded) or was removed (it held nothing).
  void Failed(const QString& AReason, bool AKept);
  // The device being recorded is gone from the system: the sound server moves such a recording
  // to another source without a word, so nothing after this moment is kept. Stop completes it.
  void InputGone(const QString& ADeviceName);

 private:
  class TSink;
  friend class TSink;

  void Consume(const char* AData, qint64 ASize);
  void SourceStateChanged();
  void InputsChanged();
  // Ends the recording for AReason once the device's delivery has returned.
  void EndAfterFailure(const QString& AReason);
  // Closes the file if the failure left it open; the reason, with the file's own failure if any.
  QString CloseAfterFailure();
  void ReleaseSource();

  std::unique_ptr<QMediaDevices> FDevices;
  // The list of devices changes without a signal at times: it is also looked at now and then.
  QTimer FInputWatch;
  QAudioDevice FDevice;
  bool FInputGone = false;
  std::unique_ptr<QAudioSource> FSource;
  std::unique_ptr<TSink> FSink;
  TFlacFileWriter FWriter;
  // What the file holds so far.
  TTakeAudio FAudio;
  std::unique_ptr<TLoudnessMeter> FLoudness;
  QByteArray FPending;
  QString FFailure;
  qreal FPeak = 0;
  QElapsedTimer FStarted;
  // While stopping: the length of the recording, sound after it is dropped. -1 before.
  qint64 FFrameLimit = -1;
};

}  // namespace wavenard
