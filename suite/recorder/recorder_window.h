#pragma once

#include <QAudioDevice>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "suite/recorder/input_choice.h"
#include "suite/recorder/level_monitor.h"
#include "suite/recorder/recorder_options.h"
#include "suite/recorder/recording.h"
#include "suite/recorder/take_audio.h"
#include "suite/recorder/take_player.h"
#include "suite/recorder/take_processing.h"
#include "support/widgets/notification_label.h"

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;

namespace wavenard {

class TBoxPresenter;
class TLevelMeter;
class TTakeWaveform;

// The microphone of the suite's settings, chosen afresh for every recording.
using TInputChooser = std::function<TInputChoice()>;
// The time that names a new recording.
using TRecorderClock = std::function<QDateTime()>;

// The recorder's window: Record and Stop, the elapsed time, a level meter that runs from the
// start, the input device and the file being written. After Stop the take is reviewed: its
// waveform with the kept part marked, its loudness, Play, Keep and Discard; it stays held (see
// THeldTake) until it is kept, by Keep, by the next Record or by closing the window. Closing
// while recording stops and keeps the recording.
class TRecorderWindow final : public QWidget {
  Q_OBJECT

 public:
  // AVoiceTracksFolder is where the recordings go; it is created when missing. AOptionsFile
  // holds the recorder's own options. Tests replace the microphone choice and the clock.
  TRecorderWindow(
      TInputChooser AChooseInput, QString AVoiceTracksFolder, QString AOptionsFile, TBoxPresenter& ABoxes,
      TRecorderClock ANow = [] { return QDateTime::currentDateTime(); }, QWidget* AParent = nullptr);
  ~TRecorderWindow() override;
  Q_DISABLE_COPY_MOVE(TRecorderWindow)

  QPushButton& btRecord() { return *FRecordButton; }
  QPushButton& btStop() { return *FStopButton; }
  QPushButton& btPlay() { return *FPlayButton; }
  QPushButton& btKeep() { return *FKeepButton; }
  QPushButton& btDiscard() { return *FDiscardButton; }
  QCheckBox& cbTrim() { return *FTrimBox; }
  QCheckBox& cbNormalise() { return *FNormaliseBox; }
  QDoubleSpinBox& seTarget() { return *FTargetBox; }
  QLabel& lbDevice() { return *FDeviceLabel; }
  QLabel& lbNote() { return *FNoteLabel; }
  QLabel& lbFile() { return *FFileLabel; }
  QLabel& lbTime() { return *FTimeLabel; }
  QLabel& lbLoudness() { return *FLoudnessLabel; }
  QLabel& lbStatus() { return *FStatusLabel; }
  TLevelMeter& Meter() { return *FMeter; }
  TTakeWaveform& Waveform() { return *FWaveform; }
  const TRecording& Recording() const { return FRecording; }
  const TTakePlayer& Player() const { return FPlayer; }
  // The take under review, still held; empty when there is none.
  QString ReviewedFile() const;
  const TTakePlan& ReviewPlan() const { return FPlan; }

  // "m:ss.t", with hours in front once there are any.
  static QString FormatDuration(qint64 AMilliseconds);
  // "m:ss", with hours in front once there are any.
  static QString FormatLength(qint64 AMilliseconds);

 protected:
  bool event(QEvent* AEvent) override;
  void closeEvent(QCloseEvent* AEvent) override;
  void keyPressEvent(QKeyEvent* AEvent) override;
  void resizeEvent(QResizeEvent* AEvent) override;

 private:
  QAudioDevice ChooseDevice();
  void btRecordClick();
  void btStopClick();
  void btPlayClick();
  void btKeepClick();
  void btDiscardClick();
  void OptionsChanged();
  void RecordingFailed(const QString& AReason, bool AKept);
  void RecordingInputGone(const QString& ADeviceName);
  void tmrMeterTimer();
  void KeepTallEnough();
  // Stops the recording; the take then waits for review. False when nothing is left to review.
  // ATell: say so; a caller that has more to say says it once, after.
  bool StopRecording(bool ATell = true);
  void BeginReview(TRecordingResult AResult);
  // Makes the reviewed take final; false, with the reason shown, when that failed.
  bool KeepReviewed(bool ATell = true);
  void EndReview();
  void ShowPlan();
  void PlayingFinished();
  void Listen();
  // Every message of the window is shown, and so told to a screen reader, through this.
  void ShowStatus(const QString& AText);
  void ShowState();

  const TInputChooser FChooseInput;
  const QString FVoiceTracksFolder;
  const QString FOptionsFile;
  TBoxPresenter& FBoxes;
  const TRecorderClock FNow;
  TRecorderOptions FOptions;
  TRecording FRecording;
  TLevelMonitor FMonitor;
  TTakePlayer FPlayer;
  QTimer FMeterTimer;
  // Since Record; the elapsed time shown. Sound may arrive in bursts, so the clock is smoother
  // than the recorded length, which Stop shows.
  QElapsedTimer FStarted;
  bool FStopping = false;
  // The take under review.
  std::unique_ptr<THeldTake> FTake;
  TTakeAudio FAudio;
  // Whether FAudio was read back from the take's file, or is still the sound as recorded.
  bool FReadBack = false;
  TTakePlan FPlan;
  std::optional<TLoudness> FLoudness;

  QPushButton* FRecordButton = nullptr;
  QPushButton* FStopButton = nullptr;
  QPushButton* FPlayButton = nullptr;
  QPushButton* FKeepButton = nullptr;
  QPushButton* FDiscardButton = nullptr;
  QCheckBox* FTrimBox = nullptr;
  QCheckBox* FNormaliseBox = nullptr;
  QDoubleSpinBox* FTargetBox = nullptr;
  QLabel* FTimeLabel = nullptr;
  TLevelMeter* FMeter = nullptr;
  TTakeWaveform* FWaveform = nullptr;
  QLabel* FLoudnessLabel = nullptr;
  QLabel* FDeviceLabel = nullptr;
  QLabel* FNoteLabel = nullptr;
  QLabel* FFileLabel = nullptr;
  // Spoken by a screen reader whenever its text changes.
  TNotificationLabel* FStatusLabel = nullptr;
};

}  // namespace wavenard
