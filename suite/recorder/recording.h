#pragma once

#include <QAudioDevice>
#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <memory>

#include "suite/recorder/flac_file_writer.h"

class QAudioSource;

namespace wavenard {

struct TInputChoice;

// The file a recording left behind.
struct TRecordingResult {
  QString FileName;
  qint64 Frames = 0;
  int SampleRate = 0;

  qint64 DurationMs() const { return SampleRate > 0 ? Frames * 1000 / SampleRate : 0; }
};

// The voice track's file name for a recording started at AStartTime: "VT 2026-12-10 14-03-22.flac".
QString VoiceTrackFileName(const QDateTime& AStartTime);

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

  // Starts recording ADevice into a new file in AFolder (created when missing) named for
  // AStartTime. Raises ERecordingFailure; nothing is left behind then.
  void Start(const QAudioDevice& ADevice, const QString& AFolder, const QDateTime& AStartTime);
  // Waits (a few seconds at most) for the sound up to this moment that the device still owes,
  // then stops, completes the file and closes it. Raises ERecordingFailure when the file could not be
  // completed or holds nothing; what it holds up to the failure stays valid.
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

 private:
  class TSink;
  friend class TSink;

  void Consume(const char* AData, qint64 ASize);
  void SourceStateChanged();
  // Ends the recording for AReason once the device's delivery has returned.
  void EndAfterFailure(const QString& AReason);
  // Closes the file if the failure left it open; the reason, with the file's own failure if any.
  QString CloseAfterFailure();
  void ReleaseSource();

  std::unique_ptr<QAudioSource> FSource;
  std::unique_ptr<TSink> FSink;
  TFlacFileWriter FWriter;
  QByteArray FPending;
  QString FFailure;
  qreal FPeak = 0;
  QElapsedTimer FStarted;
  // While stopping: the length of the recording, sound after it is dropped. -1 before.
  qint64 FFrameLimit = -1;
};

}  // namespace wavenard
