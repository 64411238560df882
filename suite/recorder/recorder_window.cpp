#include "suite/recorder/recorder_window.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "suite/recorder/recording_failure.h"

namespace wavenard {

namespace {

constexpr int MeterInterval = 50;
// How much of the shown level is kept from one meter tick to the next, so peaks fall slowly.
constexpr qreal MeterFallOff = 0.8;

QLabel* NewLabel(QWidget* AParent) {
  auto* Label = new QLabel(AParent);
  Label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return Label;
}

}  // namespace

TRecorderWindow::TRecorderWindow(TInputChooser AChooseInput, QString AVoiceTracksFolder, TRecorderClock ANow,
                                 QWidget* AParent)
    : QWidget(AParent),
      FChooseInput(std::move(AChooseInput)),
      FVoiceTracksFolder(std::move(AVoiceTracksFolder)),
      FNow(std::move(ANow)),
      FMeterTimer(this) {
  setObjectName(QStringLiteral("RecorderFrm"));
  setWindowTitle(QStringLiteral("Pellorin"));

  FRecordButton = new QPushButton(QStringLiteral("Record"), this);
  FStopButton = new QPushButton(QStringLiteral("Stop"), this);
  FTimeLabel = NewLabel(this);
  FTimeLabel->setAccessibleName(QStringLiteral("Elapsed time"));
  QFont TimeFont = FTimeLabel->font();
  TimeFont.setPointSizeF(TimeFont.pointSizeF() * 1.6);
  FTimeLabel->setFont(TimeFont);
  FLevelBar = new QProgressBar(this);
  FLevelBar->setRange(0, 100);
  FLevelBar->setTextVisible(false);
  FLevelBar->setAccessibleName(QStringLiteral("Level"));
  FDeviceLabel = NewLabel(this);
  FNoteLabel = NewLabel(this);
  FNoteLabel->setWordWrap(true);
  FNoteLabel->setStyleSheet(QStringLiteral("color: #a05000"));
  FFileLabel = NewLabel(this);
  FFileLabel->setWordWrap(true);
  FStatusLabel = new TNotificationLabel(this);
  FStatusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  FStatusLabel->setWordWrap(true);

  auto* Buttons = new QHBoxLayout;
  Buttons->addWidget(FRecordButton);
  Buttons->addWidget(FStopButton);
  Buttons->addStretch();
  Buttons->addWidget(FTimeLabel);
  auto* Layout = new QVBoxLayout(this);
  Layout->addLayout(Buttons);
  Layout->addWidget(FLevelBar);
  Layout->addWidget(FDeviceLabel);
  Layout->addWidget(FNoteLabel);
  Layout->addWidget(FFileLabel);
  Layout->addWidget(FStatusLabel);
  Layout->addStretch();
  setMinimumWidth(420);

  connect(FRecordButton, &QPushButton::clicked, this, &TRecorderWindow::btRecordClick);
  connect(FStopButton, &QPushButton::clicked, this, &TRecorderWindow::btStopClick);
  connect(&FRecording, &TRecording::Failed, this, &TRecorderWindow::RecordingFailed);
  FMeterTimer.setInterval(MeterInterval);
  connect(&FMeterTimer, &QTimer::timeout, this, &TRecorderWindow::tmrMeterTimer);

  ChooseDevice();
  FFileLabel->setText(QStringLiteral("Folder: ") + FVoiceTracksFolder);
  ShowState();
}

QString TRecorderWindow::FormatDuration(qint64 AMilliseconds) {
  const qint64 Tenths = AMilliseconds / 100;
  const qint64 Seconds = Tenths / 10;
  const QString Rest = QStringLiteral("%1.%2").arg(Seconds % 60, 2, 10, QLatin1Char('0')).arg(Tenths % 10);
  if (Seconds >= 3600) {
    return QStringLiteral("%1:%2:").arg(Seconds / 3600).arg(Seconds / 60 % 60, 2, 10, QLatin1Char('0')) +
           Rest;
  }
  return QStringLiteral("%1:").arg(Seconds / 60) + Rest;
}

void TRecorderWindow::closeEvent(QCloseEvent* AEvent) {
  if (FStopping) {
    // Stop is waiting for the last of the sound; closing follows once it is saved.
    AEvent->ignore();
    return;
  }
  if (FRecording.IsRecording()) {
    btStopClick();
  }
  AEvent->accept();
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

void TRecorderWindow::btRecordClick() {
  if (FRecording.IsRecording()) {
    return;
  }
  const QAudioDevice Device = ChooseDevice();
  try {
    FRecording.Start(Device, FVoiceTracksFolder, FNow());
    FFileLabel->setText(QStringLiteral("File: ") + FRecording.FileName());
    FStatusLabel->setText(QStringLiteral("Recording…"));
    FShownLevel = 0;
    FStarted.start();
    FMeterTimer.start();
  } catch (const ERecordingFailure& E) {
    FStatusLabel->setText(E.Message());
  }
  ShowState();
}

void TRecorderWindow::btStopClick() {
  if (!FRecording.IsRecording()) {
    return;
  }
  FMeterTimer.stop();
  FStopButton->setEnabled(false);
  FStatusLabel->setText(QStringLiteral("Saving…"));
  FStopping = true;
  try {
    const TRecordingResult Result = FRecording.Stop();
    FStatusLabel->setText(
        QStringLiteral("Saved \"%1\", %2 long.")
            .arg(QFileInfo(Result.FileName).fileName(), FormatDuration(Result.DurationMs())));
    FTimeLabel->setText(FormatDuration(Result.DurationMs()));
  } catch (const ERecordingFailure& E) {
    FStatusLabel->setText(E.Message());
  }
  FStopping = false;
  ShowState();
}

void TRecorderWindow::RecordingFailed(const QString& AReason, bool AKept) {
  FMeterTimer.stop();
  QString Text = AReason;
  if (AKept) {
    Text += QStringLiteral(" What was recorded until then is kept in \"%1\".").arg(FRecording.FileName());
  }
  FStatusLabel->setText(Text);
  ShowState();
}

void TRecorderWindow::tmrMeterTimer() {
  FShownLevel = std::max(FRecording.TakePeak(), FShownLevel * MeterFallOff);
  FLevelBar->setValue(static_cast<int>(FShownLevel * 100 + 0.5));
  FTimeLabel->setText(FormatDuration(FStarted.elapsed()));
}

void TRecorderWindow::ShowState() {
  const bool Recording = FRecording.IsRecording();
  FRecordButton->setEnabled(!Recording);
  FStopButton->setEnabled(Recording);
  if (!Recording) {
    FLevelBar->setValue(0);
    if (FTimeLabel->text().isEmpty()) {
      FTimeLabel->setText(FormatDuration(0));
    }
  } else {
    FTimeLabel->setText(FormatDuration(0));
  }
}

}  // namespace wavenard
