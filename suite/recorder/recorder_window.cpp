#include "suite/recorder/recorder_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/failures.h"
#include "suite/recorder/level_meter.h"
#include "suite/recorder/recording_failure.h"
#include "suite/recorder/take_keeper.h"
#include "suite/recorder/take_waveform.h"
#include "support/message_box.h"

namespace wavenard {

namespace {

constexpr int MeterInterval = 30;

QLabel* NewLabel(QWidget* AParent) {
  auto* Label = new QLabel(AParent);
  Label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return Label;
}

QString HoursAnd(qint64 ASeconds, const QString& ARest) {
  if (ASeconds >= 3600) {
    return QStringLiteral("%1:%2:").arg(ASeconds / 3600).arg(ASeconds / 60 % 60, 2, 10, QLatin1Char('0')) +
           ARest;
  }
  return QStringLiteral("%1:").arg(ASeconds / 60) + ARest;
}

}  // namespace

TRecorderWindow::TRecorderWindow(TInputChooser AChooseInput, QString AVoiceTracksFolder, QString AOptionsFile,
                                 TBoxPresenter& ABoxes, TRecorderClock ANow, QWidget* AParent)
    : QWidget(AParent),
      FChooseInput(std::move(AChooseInput)),
      FVoiceTracksFolder(std::move(AVoiceTracksFolder)),
      FOptionsFile(std::move(AOptionsFile)),
      FBoxes(ABoxes),
      FNow(std::move(ANow)),
      FOptions(TRecorderOptions::Load(FOptionsFile)),
      FMeterTimer(this) {
  setObjectName(QStringLiteral("RecorderFrm"));
  setWindowTitle(QStringLiteral("Pellorin"));

  FRecordButton = new QPushButton(QStringLiteral("Record"), this);
  FStopButton = new QPushButton(QStringLiteral("Stop"), this);
  FPlayButton = new QPushButton(QStringLiteral("Play"), this);
  FKeepButton = new QPushButton(QStringLiteral("Keep"), this);
  FKeepButton->setDefault(true);
  FDiscardButton = new QPushButton(QStringLiteral("Discard…"), this);
  FDiscardButton->setAccessibleName(QStringLiteral("Discard"));
  FTimeLabel = NewLabel(this);
  FTimeLabel->setAccessibleName(QStringLiteral("Elapsed time"));
  QFont TimeFont = FTimeLabel->font();
  TimeFont.setPointSizeF(TimeFont.pointSizeF() * 1.6);
  FTimeLabel->setFont(TimeFont);
  FMeter = new TLevelMeter(this);
  FWaveform = new TTakeWaveform(this);
  FLoudnessLabel = NewLabel(this);
  FLoudnessLabel->setWordWrap(true);
  FTrimBox = new QCheckBox(QStringLiteral("Trim silence at start and end"), this);
  FNormaliseBox = new QCheckBox(QStringLiteral("Normalise loudness to"), this);
  FTargetBox = new QDoubleSpinBox(this);
  FTargetBox->setRange(TRecorderOptions::MinTarget, TRecorderOptions::MaxTarget);
  FTargetBox->setDecimals(1);
  FTargetBox->setSingleStep(0.5);
  FTargetBox->setSuffix(QStringLiteral(" LUFS"));
  FTargetBox->setAccessibleName(QStringLiteral("Target loudness"));
  FTrimBox->setChecked(FOptions.Trim);
  FNormaliseBox->setChecked(FOptions.Normalise);
  FTargetBox->setValue(FOptions.TargetLoudness);
  FTargetBox->setEnabled(FOptions.Normalise);
  FDeviceLabel = NewLabel(this);
  FNoteLabel = NewLabel(this);
  FNoteLabel->setWordWrap(true);
  FNoteLabel->setStyleSheet(QStringLiteral("color: #a05000"));
  FFileLabel = NewLabel(this);
  FFileLabel->setWordWrap(true);
  FStatusLabel = new TNotificationLabel(this);
  FStatusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  FStatusLabel->setWordWrap(true);
  // No name of its own: a screen reader says its text each time it changes.

  auto* Buttons = new QHBoxLayout;
  Buttons->addWidget(FRecordButton);
  Buttons->addWidget(FStopButton);
  Buttons->addSpacing(12);
  Buttons->addWidget(FPlayButton);
  Buttons->addWidget(FKeepButton);
  Buttons->addWidget(FDiscardButton);
  Buttons->addStretch();
  Buttons->addWidget(FTimeLabel);
  auto* Options = new QHBoxLayout;
  Options->addWidget(FTrimBox);
  Options->addSpacing(12);
  Options->addWidget(FNormaliseBox);
  Options->addWidget(FTargetBox);
  Options->addStretch();
  auto* Layout = new QVBoxLayout(this);
  Layout->addLayout(Buttons);
  Layout->addWidget(FMeter);
  Layout->addWidget(FWaveform);
  Layout->addWidget(FLoudnessLabel);
  Layout->addLayout(Options);
  Layout->addWidget(FDeviceLabel);
  Layout->addWidget(FNoteLabel);
  Layout->addWidget(FFileLabel);
  Layout->addWidget(FStatusLabel);
  Layout->addStretch();
  setMinimumWidth(480);

  connect(FRecordButton, &QPushButton::clicked, this, &TRecorderWindow::btRecordClick);
  connect(FStopButton, &QPushButton::clicked, this, &TRecorderWindow::btStopClick);
  connect(FPlayButton, &QPushButton::clicked, this, &TRecorderWindow::btPlayClick);
  connect(FKeepButton, &QPushButton::clicked, this, &TRecorderWindow::btKeepClick);
  connect(FDiscardButton, &QPushButton::clicked, this, &TRecorderWindow::btDiscardClick);
  connect(FTrimBox, &QCheckBox::toggled, this, &TRecorderWindow::OptionsChanged);
  connect(FNormaliseBox, &QCheckBox::toggled, this, &TRecorderWindow::OptionsChanged);
  connect(FTargetBox, &QDoubleSpinBox::valueChanged, this, &TRecorderWindow::OptionsChanged);
  connect(&FRecording, &TRecording::Failed, this, &TRecorderWindow::RecordingFailed);
  connect(&FRecording, &TRecording::InputGone, this, &TRecorderWindow::RecordingInputGone);
  connect(&FPlayer, &TTakePlayer::PositionChanged, this,
          [this](qint64 AFrame) { FWaveform->ShowCursor(FPlan.FirstFrame + AFrame); });
  connect(&FPlayer, &TTakePlayer::Finished, this, &TRecorderWindow::PlayingFinished);
  FMeterTimer.setInterval(MeterInterval);
  connect(&FMeterTimer, &QTimer::timeout, this, &TRecorderWindow::tmrMeterTimer);

  FFileLabel->setText(QStringLiteral("Folder: ") + FVoiceTracksFolder);
  FTimeLabel->setText(FormatDuration(0));
  Listen();
  FMeterTimer.start();
  ShowState();
}

TRecorderWindow::~TRecorderWindow() {
  FPlayer.Stop();
}

QString TRecorderWindow::FormatDuration(qint64 AMilliseconds) {
  const qint64 Tenths = AMilliseconds / 100;
  const qint64 Seconds = Tenths / 10;
  return HoursAnd(Seconds,
                  QStringLiteral("%1.%2").arg(Seconds % 60, 2, 10, QLatin1Char('0')).arg(Tenths % 10));
}

QString TRecorderWindow::FormatLength(qint64 AMilliseconds) {
  const qint64 Seconds = AMilliseconds / 1000;
  return HoursAnd(Seconds, QStringLiteral("%1").arg(Seconds % 60, 2, 10, QLatin1Char('0')));
}

QString TRecorderWindow::ReviewedFile() const {
  return FTake != nullptr ? FTake->FileName() : QString();
}

void TRecorderWindow::closeEvent(QCloseEvent* AEvent) {
  if (FStopping) {
    // Stop is waiting for the last of the sound; closing follows once it is saved.
    AEvent->ignore();
    return;
  }
  if (FRecording.IsRecording()) {
    StopRecording();
  }
  if (FTake != nullptr && !KeepReviewed()) {
    // Not processed, but not lost: the take as recorded is final.
    FTake->Keep();
    EndReview();
  }
  FMonitor.Stop();
  AEvent->accept();
}

bool TRecorderWindow::event(QEvent* AEvent) {
  const bool Handled = QWidget::event(AEvent);
  if (AEvent->type() == QEvent::LayoutRequest) {
    KeepTallEnough();
  }
  return Handled;
}

void TRecorderWindow::resizeEvent(QResizeEvent* AEvent) {
  QWidget::resizeEvent(AEvent);
  KeepTallEnough();
}

void TRecorderWindow::KeepTallEnough() {
  // The wrapped lines need more height the narrower the window is, which the layout's own
  // minimum leaves out: the window grows with them rather than letting them run into the
  // waveform and one another.
  if (const int Needed = heightForWidth(width()); Needed > 0 && Needed != minimumHeight()) {
    setMinimumHeight(Needed);
  }
}

void TRecorderWindow::keyPressEvent(QKeyEvent* AEvent) {
  // Outside a dialog no button takes Enter: here it is the default button's, Keep.
  if ((AEvent->key() == Qt::Key_Return || AEvent->key() == Qt::Key_Enter) && FTake != nullptr &&
      AEvent->modifiers() == Qt::NoModifier) {
    btKeepClick();
    return;
  }
  QWidget::keyPressEvent(AEvent);
}

QAudioDevice TRecorderWindow::ChooseDevice() {
  const TInputChoice Choice = FChooseInput();
  QString Note = Choice.Note;
  const QAudioDevice Device = AudioInputFor(Choice, Note);
  FDeviceLabel->setText(QStringLiteral("Input: ") +
                        (Device.isNull() ? QStringLiteral("none") : Device.description()));
  FNoteLabel->setText(Note);
  FNoteLabel->setVisible(!Note.isEmpty());
  return Device;
}

void TRecorderWindow::Listen() {
  if (!FRecording.IsRecording()) {
    FMonitor.Start(ChooseDevice());
  }
}

void TRecorderWindow::btRecordClick() {
  if (FRecording.IsRecording() || FStopping) {
    return;
  }
  // Starting the next take keeps the one under review.
  if (FTake != nullptr && !KeepReviewed()) {
    return;
  }
  FMonitor.Stop();
  const QAudioDevice Device = ChooseDevice();
  FMeter->Reset(true);
  try {
    FRecording.Start(Device, FVoiceTracksFolder, FNow());
    FFileLabel->setText(QStringLiteral("File: ") + FRecording.FileName());
    FLoudnessLabel->clear();
    FWaveform->ShowTake(nullptr);
    FStarted.start();
    FTimeLabel->setText(FormatDuration(0));
    ShowStatus(QStringLiteral("Recording"));
  } catch (const ERecordingFailure& E) {
    ShowStatus(E.Message());
    Listen();
  }
  ShowState();
}

void TRecorderWindow::btStopClick() {
  if (FRecording.IsRecording() && !FStopping) {
    StopRecording();
    Listen();
    ShowState();
  }
}

bool TRecorderWindow::StopRecording(bool ATell) {
  FStopButton->setEnabled(false);
  FStopping = true;
  bool Reviewing = false;
  try {
    TRecordingResult Result = FRecording.Stop();
    FTimeLabel->setText(FormatDuration(Result.DurationMs()));
    const qint64 Length = Result.DurationMs();
    BeginReview(std::move(Result));
    Reviewing = FTake != nullptr;
    if (Reviewing && ATell) {
      ShowStatus(QStringLiteral("Stopped, ") + FormatLength(Length));
    }
  } catch (const ERecordingFailure& E) {
    ShowStatus(E.Message());
  }
  FStopping = false;
  return Reviewing;
}

void TRecorderWindow::BeginReview(TRecordingResult AResult) {
  FTake = std::move(AResult.Take);
  FAudio = std::move(AResult.Audio);
  FReadBack = false;
  FLoudness = AResult.Loudness;
  FPlan = PlanTake(FAudio, FOptions, FLoudness);
  FWaveform->ShowTake(&FAudio);
  ShowPlan();
}

void TRecorderWindow::ShowPlan() {
  FWaveform->ShowKept(FPlan.FirstFrame, FPlan.EndFrame);
  const qint64 Rate = std::max(FAudio.SampleRate, 1);
  QString Text = QStringLiteral("Kept %1 of %2. ")
                     .arg(FormatDuration((FPlan.EndFrame - FPlan.FirstFrame) * 1000 / Rate),
                          FormatDuration(FAudio.Frames() * 1000 / Rate));
  if (FPlan.Gain != 0) {
    Text += QStringLiteral("Loudness %1, kept at %2; true peak %3.")
                .arg(FormatLoudness(FPlan.MeasuredLoudness, QStringLiteral("LUFS")),
                     FormatLoudness(FPlan.ResultLoudness(), QStringLiteral("LUFS")),
                     FormatLoudness(FPlan.ResultTruePeak(), QStringLiteral("dBTP")));
  } else {
    Text += QStringLiteral("Loudness %1, kept as it is; true peak %2.")
                .arg(FormatLoudness(FPlan.MeasuredLoudness, QStringLiteral("LUFS")),
                     FormatLoudness(FPlan.MeasuredTruePeak, QStringLiteral("dBTP")));
  }
  if (FPlan.CeilingLimited) {
    Text += QStringLiteral(" The true-peak ceiling of %1 held the gain back.")
                .arg(FormatLoudness(TruePeakCeiling, QStringLiteral("dBTP")));
  }
  FLoudnessLabel->setText(Text);
}

bool TRecorderWindow::KeepReviewed(bool ATell) {
  FPlayer.Stop();
  const QString Name = QFileInfo(FTake->FileName()).fileName();
  const qint64 Length = (FPlan.EndFrame - FPlan.FirstFrame) * 1000 / std::max(FAudio.SampleRate, 1);
  try {
    KeepTake(*FTake, FAudio, FPlan);
  } catch (const ERecordingFailure& E) {
    ShowStatus(E.Message());
    return false;
  }
  EndReview();
  if (ATell) {
    ShowStatus(QStringLiteral("Saved \"%1\", %2 long.").arg(Name, FormatDuration(Length)));
  }
  return true;
}

void TRecorderWindow::EndReview() {
  FPlayer.Stop();
  FTake.reset();
  FWaveform->ShowTake(nullptr);
  FAudio = {};
  FPlan = {};
  FLoudness.reset();
  ShowState();
}

void TRecorderWindow::btKeepClick() {
  if (FTake != nullptr) {
    KeepReviewed();
    ShowState();
  }
}

void TRecorderWindow::btDiscardClick() {
  if (FTake == nullptr) {
    return;
  }
  const QString Name = QFileInfo(FTake->FileName()).fileName();
  if (FBoxes.MyMessageBox(QStringLiteral("Discard the take \"%1\"? Its file is deleted.").arg(Name),
                          QStringLiteral("Pellorin"), MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return;
  }
  FPlayer.Stop();
  FTake->Discard();
  EndReview();
  FLoudnessLabel->clear();
  ShowStatus(QStringLiteral("Discarded \"%1\".").arg(Name));
}

void TRecorderWindow::btPlayClick() {
  if (FTake == nullptr) {
    return;
  }
  if (FPlayer.IsPlaying()) {
    FPlayer.Stop();
    PlayingFinished();
    return;
  }
  // Heard as the file on disk holds it: the take is read back with the first Play, so what the
  // presenter approves is what the station will get.
  if (!FReadBack) {
    TTakeAudio Read;
    try {
      Read = DecodeTake(FTake->Descriptor(), FTake->FileName());
    } catch (const ERecordingFailure& E) {
      ShowStatus(E.Message());
      return;
    }
    // The plan's frames are those of the recording.
    if (Read.Frames() != FAudio.Frames() || Read.Channels != FAudio.Channels) {
      ShowStatus(QStringLiteral("Cannot read file \"%1\". It does not hold the take as it was recorded")
                     .arg(FTake->FileName()));
      return;
    }
    FAudio = std::move(Read);
    FReadBack = true;
  }
  // What is heard is what will be kept.
  const std::vector<qint16> Samples = ApplyPlan(FAudio, FPlan);
  QString Reason;
  if (FPlayer.Play(QByteArray(reinterpret_cast<const char*>(Samples.data()), qsizetype(Samples.size() * 2)),
                   FAudio.SampleRate, FAudio.Channels, Reason)) {
    FPlayButton->setText(QStringLiteral("Stop playing"));
  } else {
    ShowStatus(Reason);
  }
}

void TRecorderWindow::PlayingFinished() {
  FPlayButton->setText(QStringLiteral("Play"));
  FWaveform->ShowCursor(-1);
}

void TRecorderWindow::OptionsChanged() {
  TRecorderOptions Options;
  Options.Trim = FTrimBox->isChecked();
  Options.Normalise = FNormaliseBox->isChecked();
  Options.TargetLoudness = FTargetBox->value();
  FTargetBox->setEnabled(Options.Normalise);
  if (Options == FOptions) {
    return;
  }
  FOptions = Options;
  try {
    FOptions.Save(FOptionsFile);
  } catch (const EFileFailure& E) {
    ShowStatus(QStringLiteral("The options are used but not remembered. ") + E.Message());
  }
  if (FTake != nullptr) {
    FPlayer.Stop();
    PlayingFinished();
    FPlan = PlanTake(FAudio, FOptions, FLoudness);
    ShowPlan();
  }
}

void TRecorderWindow::RecordingFailed(const QString& AReason, bool AKept) {
  QString Text = AReason;
  if (AKept) {
    Text += QStringLiteral(" What was recorded until then is kept in \"%1\".").arg(FRecording.FileName());
  }
  ShowStatus(Text);
  Listen();
  ShowState();
}

void TRecorderWindow::RecordingInputGone(const QString& ADeviceName) {
  if (!FRecording.IsRecording() || FStopping) {
    return;
  }
  const bool Reviewing = StopRecording(false);
  if (Reviewing && !KeepReviewed(false)) {
    FTake->Keep();
    EndReview();
  }
  if (Reviewing) {
    ShowStatus(QStringLiteral("The input device \"%1\" is gone; the recording was stopped and kept")
                   .arg(ADeviceName));
  }
  Listen();
  ShowState();
}

void TRecorderWindow::tmrMeterTimer() {
  FMeter->ShowPeak(FRecording.IsRecording() ? FRecording.TakePeak() : FMonitor.TakePeak());
  if (FRecording.IsRecording()) {
    FTimeLabel->setText(FormatDuration(FStarted.elapsed()));
  }
}

void TRecorderWindow::ShowStatus(const QString& AText) {
  FStatusLabel->setText(AText);
}

void TRecorderWindow::ShowState() {
  const bool Recording = FRecording.IsRecording();
  const bool Reviewing = FTake != nullptr;
  FRecordButton->setEnabled(!Recording);
  FStopButton->setEnabled(Recording);
  FPlayButton->setEnabled(Reviewing);
  FKeepButton->setEnabled(Reviewing);
  FDiscardButton->setEnabled(Reviewing);
  FWaveform->setVisible(Reviewing);
  if (!Reviewing) {
    FPlayButton->setText(QStringLiteral("Play"));
  }
  // The next step is where the keyboard is: Record, Stop, Keep, Record.
  QPushButton* Next = Recording ? FStopButton : Reviewing ? FKeepButton : FRecordButton;
  Next->setFocus(Qt::OtherFocusReason);
}

}  // namespace wavenard
