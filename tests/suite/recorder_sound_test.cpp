#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <memory>

#include "app/settings_form.h"
#include "audio/media_device_source.h"
#include "config/connection_settings.h"
#include "config/system_ini.h"
#include "remote/upload_body.h"
#include "suite/recorder/input_choice.h"
#include "suite/recorder/recorder_settings.h"
#include "suite/recorder/recorder_window.h"
#include "suite/recorder/recording.h"
#include "suite/recorder/recording_failure.h"
#include "tests/suite/flac_reader.h"
#include "tests/testsupport/scripted_box_presenter.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int Rate = 48000;
const QString SineName = QStringLiteral("Sine source at 440 Hz");

// The frequency from 100 Hz to 2 kHz, in steps of 1 Hz, at which ASamples are strongest.
int DominantFrequency(const std::vector<int>& ASamples, int ARate) {
  const size_t Count = std::min(ASamples.size(), size_t(ARate));
  int Best = 0;
  double BestPower = -1;
  for (int Frequency = 100; Frequency <= 2000; ++Frequency) {
    // Goertzel's recurrence for one frequency.
    const double Coefficient = 2 * std::cos(2 * Pi * Frequency / ARate);
    double Previous = 0;
    double BeforePrevious = 0;
    for (size_t I = 0; I < Count; ++I) {
      const double Current = ASamples[I] + Coefficient * Previous - BeforePrevious;
      BeforePrevious = Previous;
      Previous = Current;
    }
    const double Power =
        Previous * Previous + BeforePrevious * BeforePrevious - Coefficient * Previous * BeforePrevious;
    if (Power > BestPower) {
      BestPower = Power;
      Best = Frequency;
    }
  }
  return Best;
}

// A PulseAudio server of the test's own, with no hardware: a null sink and a sine source at
// 440 Hz, which is also the default input. It runs for all tests of the program.
class SoundServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    FRuntime = std::make_unique<QTemporaryDir>();
    const QString Runtime = FRuntime->path();
    const QString Socket = Runtime + "/native";
    QDir().mkpath(Runtime + "/home");
    QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
    Environment.insert("XDG_RUNTIME_DIR", Runtime);
    Environment.insert("HOME", Runtime + "/home");
    Environment.insert("PULSE_SERVER", "unix:" + Socket);
    // The client library of this process talks to that server only.
    qputenv("PULSE_SERVER", ("unix:" + Socket).toUtf8());
    qputenv("PULSE_COOKIE", (Runtime + "/home/cookie").toUtf8());
    FServer = std::make_unique<QProcess>();
    FServer->setProcessEnvironment(Environment);
    FServer->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    FServer->start(PULSEAUDIO_PROGRAM,
                   {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--log-level=error",
                    "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + Socket, "-L",
                    "module-null-sink sink_name=out", "-L",
                    "module-sine-source rate=48000 frequency=440 source_name=sine"});
    ASSERT_TRUE(FServer->waitForStarted(5000));
    // The server is up once its control tool gets an answer.
    bool Answered = false;
    for (int Attempt = 0; Attempt < 100 && !Answered && FServer->state() == QProcess::Running; ++Attempt) {
      QProcess Control;
      Control.setProcessEnvironment(Environment);
      Control.start("pactl", {"set-default-source", "sine"});
      Answered = Control.waitForFinished(5000) && Control.exitCode() == 0;
      if (!Answered) {
        QTest::qWait(100);
      }
    }
    ASSERT_TRUE(Answered) << "the sound server did not start";
  }

  static void TearDownTestSuite() {
    if (FServer) {
      FServer->terminate();
      if (!FServer->waitForFinished(5000)) {
        FServer->kill();
        FServer->waitForFinished(5000);
      }
    }
    FServer.reset();
    FRuntime.reset();
  }

  void SetUp() override {
    if (FServer == nullptr || FServer->state() != QProcess::Running) {
      GTEST_FAIL() << "no sound server";
    }
  }

  // An installation in App: system.ini names the microphone ADeviceID, player.ini the folder
  // "tracks" below App.
  TFolders Install(const QString& ADeviceID) {
    const TFolders Folders(App.Path(), App.Path());
    TSystemIni SystemIni(Folders, Boxes);
    SystemIni.Inputs.Items(0).Method = 1;
    SystemIni.Inputs.Items(0).DeviceID = ADeviceID;
    SystemIni.Save();
    App.Write("player.ini",
              ("object TPlayerIni\r\n  VoiceTracksFolder = '" + Tracks() + "\\'\r\nend\r\n").toUtf8());
    return Folders;
  }
  QString Tracks() const { return App.Path() + "tracks"; }

  std::unique_ptr<TRecorderWindow> NewWindow(const TRecorderSettings& ASettings) {
    auto Window = std::make_unique<TRecorderWindow>(
        [&ASettings, this] { return ChooseInput(ASettings.Microphone(), Devices); },
        ASettings.VoiceTracksFolder(), [] { return QDateTime(QDate(2026, 12, 10), QTime(14, 3, 22)); });
    Window->show();
    return Window;
  }

  static inline std::unique_ptr<QTemporaryDir> FRuntime;
  static inline std::unique_ptr<QProcess> FServer;
  test::TTempFolder App;
  test::TScriptedBoxPresenter Boxes;
  TMediaDeviceSource Devices;
};

TEST_F(SoundServerTest, TheSettingsDialogListsTheServersCaptureDevices) {
  TSystemIni SystemIni(TFolders(App.Path(), App.Path()), Boxes);
  SystemIni.Inputs.Items(0).DeviceID = "SINE";
  TSettings Settings;
  TSettingsFrm Dialog(Settings, SystemIni, Devices);
  Dialog.show();
  const int Index = Dialog.DeviceIds().indexOf("sine");
  ASSERT_GE(Index, 0) << Dialog.DeviceIds().join(", ").toStdString();
  EXPECT_EQ(Dialog.cbInput().itemText(Index), SineName);
  EXPECT_EQ(Dialog.cbInput().currentIndex(), Index);
  for (int I = 0; I < Dialog.cbInput().count(); ++I) {
    EXPECT_FALSE(Dialog.cbInput().itemText(I).startsWith("Monitor of"));
  }
}

TEST_F(SoundServerTest, RecordsTheChosenMicrophoneIntoTheVoiceTracksFolder) {
  const TRecorderSettings Settings(Install("sine"));
  const auto Window = NewWindow(Settings);
  EXPECT_EQ(Window->lbDevice().text(), "Input: " + SineName);
  EXPECT_TRUE(Window->lbNote().isHidden());

  QElapsedTimer Clock;
  Clock.start();
  Window->btRecord().click();
  const QString File = Tracks() + "/VT 2026-12-10 14-03-22.flac";
  ASSERT_TRUE(Window->Recording().IsRecording()) << Window->lbStatus().text().toStdString();
  EXPECT_EQ(Window->lbFile().text(), "File: " + File);
  EXPECT_FALSE(Window->btRecord().isEnabled());
  // The sine source hands its sound over in blocks of two seconds, so the recording grows in
  // such steps: at least two seconds are there once the first block has arrived.
  int Level = 0;
  QTRY_VERIFY_WITH_TIMEOUT(
      (Level = std::max(Level, Window->pbLevel().value()),
       Window->Recording().RecordedFrames() >= 2 * Rate && Level > 0 && Window->lbTime().text() != "0:00.0"),
      15000);
  EXPECT_GT(Level, 20);
  const double StopSeconds = Clock.elapsed() / 1000.0;
  Window->btStop().click();

  EXPECT_FALSE(Window->Recording().IsRecording());
  const qint64 Frames = Window->Recording().RecordedFrames();
  EXPECT_EQ(Window->lbStatus().text(), QStringLiteral("Saved \"VT 2026-12-10 14-03-22.flac\", %1 long.")
                                           .arg(TRecorderWindow::FormatDuration(Frames * 1000 / Rate)));
  const test::TDecodedFlac Flac = test::DecodeFlac(File);
  ASSERT_TRUE(Flac.Ok);
  EXPECT_EQ(Flac.SampleRate, unsigned(Rate));
  EXPECT_EQ(Flac.BitsPerSample, 16U);
  EXPECT_EQ(Flac.TotalSamples, Flac.Samples[0].size());
  EXPECT_EQ(qint64(Flac.Samples[0].size()), Frames);
  EXPECT_GE(Flac.Seconds(), 2.0);
  EXPECT_LE(Flac.Seconds(), 4.1);
  // Stop waited for the sound up to its moment (less the time the device took to open).
  EXPECT_GE(Flac.Seconds(), StopSeconds - 0.3);
  EXPECT_NEAR(DominantFrequency(Flac.Samples[0], Rate), 440, 3);
}

// Wavenard's insert reads the file exclusively: while the recorder writes it the insert is
// refused, and after Stop the whole file goes into the upload.
TEST_F(SoundServerTest, TheInsertRefusesTheFileWhileItIsRecordedAndSendsItAfterStop) {
  const TRecorderSettings Settings(Install("sine"));
  QString Note;
  const QAudioDevice Device = AudioInputFor(ChooseInput(Settings.Microphone(), Devices), Note);
  TRecording Recording;
  Recording.Start(Device, Settings.VoiceTracksFolder(), QDateTime(QDate(2026, 12, 10), QTime(9, 0, 0)));
  const QString File = Recording.FileName();
  QTRY_VERIFY_WITH_TIMEOUT(Recording.RecordedFrames() >= Rate / 2, 10000);
  try {
    ReadVoiceTrackFile(File);
    FAIL() << "the insert took a file that is being recorded";
  } catch (const EFileFailure& E) {
    EXPECT_TRUE(E.Message().startsWith("Cannot open file \"" + File + "\".")) << E.what();
  }
  const TRecordingResult Result = Recording.Stop();
  EXPECT_EQ(Result.FileName, File);
  QByteArray Content;
  ASSERT_NO_THROW(Content = ReadVoiceTrackFile(File));
  QFile Stored(File);
  ASSERT_TRUE(Stored.open(QIODevice::ReadOnly));
  EXPECT_EQ(Content, Stored.readAll());
  const QByteArray Body = BuildUploadBody("anna", "secret", ExtractFileName(File), 3, Content);
  // vt, the last value, is the Base64 text of the whole file.
  const qsizetype Vt = Body.lastIndexOf("&vt=");
  ASSERT_GT(Vt, 0);
  EXPECT_EQ(QByteArray::fromBase64(QByteArray::fromPercentEncoding(Body.mid(Vt + 4))), Content);
}

TEST_F(SoundServerTest, AMissingMicrophoneFallsBackToTheDefaultAndClosingKeepsTheRecording) {
  const TRecorderSettings Settings(Install("{gone}"));
  auto Window = NewWindow(Settings);
  EXPECT_EQ(Window->lbNote().text(),
            "The microphone \"{gone}\" is not present: recording from the default input.");
  EXPECT_FALSE(Window->lbNote().isHidden());
  EXPECT_EQ(Window->lbDevice().text(), "Input: " + SineName);

  Window->btRecord().click();
  ASSERT_TRUE(Window->Recording().IsRecording());
  QTRY_VERIFY_WITH_TIMEOUT(Window->Recording().RecordedFrames() >= Rate / 2, 10000);
  const QString File = Window->Recording().FileName();
  EXPECT_TRUE(Window->close());
  EXPECT_FALSE(Window->Recording().IsRecording());
  Window.reset();
  const test::TDecodedFlac Flac = test::DecodeFlac(File);
  ASSERT_TRUE(Flac.Ok);
  EXPECT_GE(Flac.Seconds(), 0.5);
  EXPECT_NEAR(DominantFrequency(Flac.Samples[0], Rate), 440, 3);
}

TEST_F(SoundServerTest, AFolderThatCannotBeMadeSaysWhyAndRecordsNothing) {
  const TFolders Folders = Install("sine");
  App.Write("tracks", "a file where the folder should be");
  const TRecorderSettings Settings(Folders);
  const auto Window = NewWindow(Settings);
  Window->btRecord().click();
  EXPECT_FALSE(Window->Recording().IsRecording());
  EXPECT_TRUE(Window->lbStatus().text().startsWith("Cannot create folder \"" + Tracks() + "\"."))
      << Window->lbStatus().text().toStdString();
  EXPECT_TRUE(Window->btRecord().isEnabled());
  EXPECT_FALSE(Window->btStop().isEnabled());
}

}  // namespace
}  // namespace wavenard
