#pragma once

#include <QAudioDevice>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "suite/recorder/input_choice.h"
#include "suite/recorder/recording.h"
#include "support/notification_label.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace wavenard {

// The microphone of the suite's settings, chosen afresh for every recording.
using TInputChooser = std::function<TInputChoice()>;
// The time that names a new recording.
using TRecorderClock = std::function<QDateTime()>;

// The recorder's window: Record and Stop, the elapsed time, a level meter, the input device and
// the file being written. Closing it while recording stops and keeps the recording.
class TRecorderWindow final : public QWidget {
  Q_OBJECT

 public:
  // AVoiceTracksFolder is where the recordings go; it is created when missing. Tests replace
  // the microphone choice and the clock.
  TRecorderWindow(
      TInputChooser AChooseInput, QString AVoiceTracksFolder,
      TRecorderClock ANow = [] { return QDateTime::currentDateTime(); }, QWidget* AParent = nullptr);
  Q_DISABLE_COPY_MOVE(TRecorderWindow)

  QPushButton& btRecord() { return *FRecordButton; }
  QPushButton& btStop() { return *FStopButton; }
  QLabel& lbDevice() { return *FDeviceLabel; }
  QLabel& lbNote() { return *FNoteLabel; }
  QLabel& lbFile() { return *FFileLabel; }
  QLabel& lbTime() { return *FTimeLabel; }
  QLabel& lbStatus() { return *FStatusLabel; }
  QProgressBar& pbLevel() { return *FLevelBar; }
  const TRecording& Recording() const { return FRecording; }

  // "m:ss.t", with hours in front once there are any.
  static QString FormatDuration(qint64 AMilliseconds);

 protected:
  void closeEvent(QCloseEvent* AEvent) override;

 private:
  QAudioDevice ChooseDevice();
  void btRecordClick();
  void btStopClick();
  void RecordingFailed(const QString& AReason, bool AKept);
  void tmrMeterTimer();
  void ShowState();

  const TInputChooser FChooseInput;
  const QString FVoiceTracksFolder;
  const TRecorderClock FNow;
  TRecording FRecording;
  QTimer FMeterTimer;
  // Since Record; the elapsed time shown. Sound may arrive in bursts, so the clock is smoother
  // than the recorded length, which Stop shows.
  QElapsedTimer FStarted;
  qreal FShownLevel = 0;
  bool FStopping = false;

  QPushButton* FRecordButton = nullptr;
  QPushButton* FStopButton = nullptr;
  QLabel* FTimeLabel = nullptr;
  QProgressBar* FLevelBar = nullptr;
  QLabel* FDeviceLabel = nullptr;
  QLabel* FNoteLabel = nullptr;
  QLabel* FFileLabel = nullptr;
  // Spoken by a screen reader whenever its text changes.
  TNotificationLabel* FStatusLabel = nullptr;
};

}  // namespace wavenard
