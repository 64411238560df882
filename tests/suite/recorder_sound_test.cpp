#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <cmath>
#include <memory>
#include <optional>

#include "app/settings_form.h"
#include "audio/multimedia/media_device_source.h"
#include "config/connection_settings.h"
#include "config/failures.h"
#include "config/system_ini.h"
#include "remote/upload_body.h"
#include "suite/recorder/input_choice.h"
#include "suite/recorder/level_meter.h"
#include "suite/recorder/recorder_settings.h"
#include "suite/recorder/recorder_window.h"
#include "suite/recorder/recording.h"
#include "suite/recorder/recording_failure.h"
#include "suite/recorder/take_waveform.h"
#include "support/message_box.h"
#include "tests/suite/flac_reader.h"
#include "tests/testsupport/scripted_box_presenter.h"
#include "tests/testsupport/sound_server.h"
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

// Whether Wavenard would take the file as a finished take now.
bool Offered(const QString& AName) {
  try {
    ReadVoiceTrackFile(AName);
    return true;
  } catch (const EFileFailure&) {
    return false;
  }
}

// The last number that APattern's first group catches in AText; NaN when none.
double LastNumber(const QString& AText, const QString& APattern) {
  double Result = std::nan("");
  QRegularExpressionMatchIterator Matches = QRegularExpression(APattern).globalMatch(AText);
  while (Matches.hasNext()) {
    Result = Matches.next().captured(1).toDouble();
  }
  return Result;
}

// A PulseAudio server of the test's own, with no hardware: a null sink and a sine source at
// 440 Hz, which is also the default input, and a microphone "mic" that hears what is played into
// the null sink "feed". It runs for all tests of the program.
class SoundServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    FServer = std::make_unique<test::TSoundServer>(
        PULSEAUDIO_PROGRAM, QStringList{"module-null-sink sink_name=out",
                                        "module-sine-source rate=48000 frequency=440 source_name=sine",
                                        "module-null-sink sink_name=feed rate=48000",
                                        "module-remap-source master=feed.monitor source_name=mic "
                                        "source_properties=device.description=Studio_Microphone"});
    ASSERT_TRUE(FServer->WaitUntilUp()) << FServer->Failure().toStdString();
    ASSERT_TRUE(Pactl({"set-default-source", "sine"}).has_value() &&
                Pactl({"set-default-sink", "out"}).has_value())
        << "the sound server did not take its default input and output";
  }

  static void TearDownTestSuite() { FServer.reset(); }

  void SetUp() override {
    if (FServer == nullptr || !FServer->IsRunning()) {
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
        ASettings.VoiceTracksFolder(), App.File("pellorin.ini"), Boxes,
        [] { return QDateTime(QDate(2026, 12, 10), QTime(14, 3, 22)); });
    Window->show();
    Window->activateWindow();
    return Window;
  }

  static std::optional<QString> Pactl(const QStringList& AArguments) { return FServer->Pactl(AArguments); }

  static inline std::unique_ptr<test::TSoundServer> FServer;
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
  TRecorderOptions AsRecorded;
  AsRecorded.Trim = false;
  AsRecorded.Normalise = false;
  AsRecorded.Save(App.File("pellorin.ini"));
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
  double Level = TLevelMeter::Floor;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return (Level = std::max(Level, Window->Meter().Level()),
                Window->Recording().RecordedFrames() >= 2 * Rate && Level > -30 &&
                    Window->lbTime().text() != "0:00.0");
      },
      15000));
  // The sine source gives half of full scale.
  EXPECT_NEAR(Level, -6, 1.5);
  const double StopSeconds = Clock.elapsed() / 1000.0;
  Window->btStop().click();

  EXPECT_FALSE(Window->Recording().IsRecording());
  const qint64 Frames = Window->Recording().RecordedFrames();
  EXPECT_EQ(Window->lbStatus().text(), "Stopped, " + TRecorderWindow::FormatLength(Frames * 1000 / Rate));
  Window->btKeep().click();
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
  ASSERT_TRUE(QTest::qWaitFor([&] { return Recording.RecordedFrames() >= Rate / 2; }, 10000));
  try {
    ReadVoiceTrackFile(File);
    FAIL() << "the insert took a file that is being recorded";
  } catch (const EFileFailure& E) {
    EXPECT_TRUE(E.Message().startsWith("Cannot open file \"" + File + "\".")) << E.what();
  }
  const TRecordingResult Result = Recording.Stop();
  EXPECT_EQ(Result.FileName, File);
  // Complete, but still held while the presenter listens to it.
  EXPECT_THROW(ReadVoiceTrackFile(File), EFileFailure);
  Result.Take->Keep();
  // The sound reviewed and kept is the sound in the file.
  const test::TDecodedFlac Decoded = test::DecodeFlac(File);
  ASSERT_TRUE(Decoded.Ok);
  ASSERT_EQ(int(Decoded.Channels), Result.Audio.Channels);
  EXPECT_EQ(int(Decoded.SampleRate), Result.Audio.SampleRate);
  ASSERT_EQ(qint64(Decoded.Samples[0].size()), Result.Audio.Frames());
  for (qint64 Frame = 0; Frame < Result.Audio.Frames(); ++Frame) {
    for (int Channel = 0; Channel < Result.Audio.Channels; ++Channel) {
      ASSERT_EQ(Decoded.Samples[size_t(Channel)][size_t(Frame)],
                Result.Audio.Samples[size_t(Frame * Result.Audio.Channels + Channel)])
          << "frame " << Frame << ", channel " << Channel;
    }
  }
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
  ASSERT_TRUE(QTest::qWaitFor([&] { return Window->Recording().RecordedFrames() >= Rate / 2; }, 10000));
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

// The meter shows the input as soon as the window is open; then the presenter's loop is Space,
// Space, Space: Record, Stop, Keep, with the focus always on the next step. Enter keeps too, and
// so does the next Record.
TEST_F(SoundServerTest, TheMeterRunsBeforeRecordAndTheKeyboardLoopIsRecordStopKeep) {
  const TRecorderSettings Settings(Install("sine"));
  const auto Window = NewWindow(Settings);
  ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return Window->Meter().accessibleName() == QStringLiteral("Level \u22126 dB"); }, 10000))
      << Window->Meter().accessibleName().toStdString();
  EXPECT_FALSE(Window->Recording().IsRecording());
  const auto Press = [](int AKey) { QTest::keyClick(QApplication::focusWidget(), Qt::Key(AKey)); };

  EXPECT_EQ(QApplication::focusWidget(), &Window->btRecord());
  Press(Qt::Key_Space);
  ASSERT_TRUE(Window->Recording().IsRecording()) << Window->lbStatus().text().toStdString();
  EXPECT_EQ(Window->lbStatus().text(), "Recording");
  EXPECT_EQ(QApplication::focusWidget(), &Window->btStop());
  ASSERT_TRUE(QTest::qWaitFor([&] { return Window->Recording().RecordedFrames() >= Rate; }, 10000));
  Press(Qt::Key_Space);
  const QString First = Window->ReviewedFile();
  ASSERT_EQ(First, Tracks() + "/VT 2026-12-10 14-03-22.flac") << Window->lbStatus().text().toStdString();
  EXPECT_TRUE(QRegularExpression("^Stopped, 0:0\\d$").match(Window->lbStatus().text()).hasMatch())
      << Window->lbStatus().text().toStdString();
  EXPECT_EQ(QApplication::focusWidget(), &Window->btKeep());
  EXPECT_TRUE(Window->btKeep().isDefault());
  // The window grows for the review: the figures stand below the whole waveform.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return Window->lbLoudness().geometry().top() > Window->Waveform().geometry().bottom(); }, 2000))
      << Window->lbLoudness().geometry().top() << " " << Window->Waveform().geometry().bottom();
  EXPECT_TRUE(Window->btPlay().isEnabled() && Window->btDiscard().isEnabled() &&
              Window->btRecord().isEnabled());
  EXPECT_FALSE(Window->btStop().isEnabled());
  EXPECT_FALSE(Offered(First)) << "a take under review was offered";
  Press(Qt::Key_Space);
  EXPECT_TRUE(Window->lbStatus().text().startsWith("Saved \"VT 2026-12-10 14-03-22.flac\", "));
  EXPECT_TRUE(Offered(First));
  EXPECT_EQ(QApplication::focusWidget(), &Window->btRecord());

  // The next take, under the next name; Record keeps it while it is reviewed.
  Press(Qt::Key_Space);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Window->Recording().RecordedFrames() >= Rate / 2; }, 10000));
  Press(Qt::Key_Space);
  const QString Second = Window->ReviewedFile();
  EXPECT_EQ(Second, Tracks() + "/VT 2026-12-10 14-03-22 (2).flac");
  Window->btRecord().click();
  ASSERT_TRUE(Window->Recording().IsRecording());
  EXPECT_TRUE(Offered(Second));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Window->Recording().RecordedFrames() >= Rate / 2; }, 10000));
  Window->btStop().click();
  const QString Third = Window->ReviewedFile();
  ASSERT_FALSE(Third.isEmpty());
  // Cut short behind the recorder's back: the file is not played, and Keep writes the take whole.
  ASSERT_EQ(::truncate(QFile::encodeName(Third).constData(), 2000), 0);
  Window->btPlay().click();
  EXPECT_TRUE(Window->lbStatus().text().startsWith("Cannot read file \"" + Third + "\". "))
      << Window->lbStatus().text().toStdString();
  EXPECT_EQ(Window->btPlay().text(), "Play");
  QTest::keyClick(Window.get(), Qt::Key_Return);
  EXPECT_TRUE(Window->ReviewedFile().isEmpty());
  EXPECT_TRUE(Offered(Third));
  EXPECT_GT(test::DecodeFlac(Third).Seconds(), 0.3);
}

TEST_F(SoundServerTest, AnInputThatGoesAwayStopsTheRecordingAndKeepsWhatItHeard) {
  const std::optional<QString> Module =
      Pactl({"load-module", "module-remap-source", "master=feed.monitor", "source_name=desk",
             "source_properties=device.description=Desk_Microphone"});
  ASSERT_TRUE(Module.has_value());
  TRecorderOptions AsRecorded;
  AsRecorded.Trim = false;
  AsRecorded.Normalise = false;
  AsRecorded.Save(App.File("pellorin.ini"));
  const TRecorderSettings Settings(Install("desk"));
  const auto Window = NewWindow(Settings);
  EXPECT_EQ(Window->lbDevice().text(), "Input: Desk_Microphone");
  Window->btRecord().click();
  ASSERT_TRUE(Window->Recording().IsRecording()) << Window->lbStatus().text().toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Window->Recording().RecordedFrames() >= Rate; }, 10000));
  const QString File = Window->Recording().FileName();
  const qint64 Before = Window->Recording().RecordedFrames();
  ASSERT_TRUE(Pactl({"unload-module", Module->trimmed()}).has_value());
  // The server goes on from the default input, the sine source, unless the recorder stops.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Window->Recording().IsRecording(); }, 10000));
  EXPECT_EQ(Window->lbStatus().text(),
            "The input device \"Desk_Microphone\" is gone; the recording was stopped and kept");
  EXPECT_TRUE(Window->ReviewedFile().isEmpty());
  EXPECT_TRUE(Offered(File));
  const test::TDecodedFlac Flac = test::DecodeFlac(File);
  ASSERT_TRUE(Flac.Ok);
  EXPECT_GE(qint64(Flac.Samples[0].size()), Before);
  EXPECT_LE(qint64(Flac.Samples[0].size()), Before + Rate);
  EXPECT_TRUE(Window->btRecord().isEnabled());
}

// Speech between silences, into the microphone: the kept take is measured by ffmpeg, not by the
// library that processed it.
TEST_F(SoundServerTest, SpeechIsTrimmedAndNormalisedAsAnotherMeterMeasuresIt) {
  const QString Speech = App.File("speech.wav");
  QProcess Speak;
  Speak.start("espeak-ng", {"-w", Speech,
                            "Good evening. It is six o'clock, and here is the news, "
                            "the weather and the traffic."});
  ASSERT_TRUE(Speak.waitForFinished(30000) && Speak.exitCode() == 0);
  const TRecorderSettings Settings(Install("mic"));
  const auto Window = NewWindow(Settings);
  EXPECT_EQ(Window->lbDevice().text(), "Input: Studio_Microphone");
  Window->btRecord().click();
  ASSERT_TRUE(Window->Recording().IsRecording()) << Window->lbStatus().text().toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Window->Recording().RecordedFrames() >= Rate * 3 / 2; }, 10000));
  QProcess Play;
  Play.start("paplay", {"--device=feed", Speech});
  ASSERT_TRUE(Play.waitForStarted(5000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Play.state() == QProcess::NotRunning; }, 30000));
  ASSERT_EQ(Play.exitCode(), 0);
  const qint64 Played = Window->Recording().RecordedFrames();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return Window->Recording().RecordedFrames() >= Played + Rate * 3 / 2; }, 10000));
  Window->btStop().click();
  const QString File = Window->ReviewedFile();
  ASSERT_FALSE(File.isEmpty()) << Window->lbStatus().text().toStdString();
  EXPECT_GT(Window->Waveform().KeptFirst(), Rate);
  EXPECT_LT(Window->Waveform().KeptEnd(), Window->Recording().RecordedFrames() - Rate);
  EXPECT_TRUE(Window->lbLoudness().text().contains("kept at \u221223.0 LUFS"))
      << Window->lbLoudness().text().toStdString();
  Window->btKeep().click();
  ASSERT_TRUE(Offered(File)) << Window->lbStatus().text().toStdString();

  QProcess Measure;
  Measure.start("ffmpeg", {"-nostats", "-hide_banner", "-i", File, "-af",
                           "silencedetect=noise=-50dB:d=0.05,ebur128=peak=true", "-f", "null", "-"});
  ASSERT_TRUE(Measure.waitForFinished(60000) && Measure.exitCode() == 0);
  const QString Output = QString::fromUtf8(Measure.readAllStandardError());
  const QString Summary = Output.mid(Output.lastIndexOf("Summary:"));
  ASSERT_FALSE(Summary.isEmpty()) << Output.toStdString();
  EXPECT_NEAR(LastNumber(Summary, "I:\\s+(-?[0-9.]+) LUFS"), -23.0, 1.0) << Summary.toStdString();
  EXPECT_LE(LastNumber(Summary, "Peak:\\s+(-?[0-9.]+) dBFS"), -1.0) << Summary.toStdString();
  // A silence that starts the file ends where the speech begins.
  double Leading = 0;
  const QRegularExpressionMatch Start = QRegularExpression("silence_start: (-?[0-9.e-]+)").match(Output);
  if (Start.hasMatch() && Start.captured(1).toDouble() < 0.01) {
    Leading = QRegularExpression("silence_end: ([0-9.]+)").match(Output).captured(1).toDouble();
  }
  EXPECT_LE(Leading, 0.35) << Output.toStdString();
}

TEST_F(SoundServerTest, ATakeIsHeardThroughTheOutputAndDiscardAsksThenDeletes) {
  const TRecorderSettings Settings(Install("sine"));
  const auto Window = NewWindow(Settings);
  Window->btRecord().click();
  ASSERT_TRUE(Window->Recording().IsRecording()) << Window->lbStatus().text().toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Window->Recording().RecordedFrames() >= 2 * Rate; }, 15000));
  Window->btStop().click();
  const QString File = Window->ReviewedFile();
  ASSERT_FALSE(File.isEmpty());

  // The output's number, then a stream of ours playing into it.
  const std::optional<QString> Sinks = Pactl({"list", "short", "sinks"});
  ASSERT_TRUE(Sinks.has_value());
  const QString Out =
      QRegularExpression("^(\\d+)\\s+out\\s", QRegularExpression::MultilineOption).match(*Sinks).captured(1);
  ASSERT_FALSE(Out.isEmpty()) << Sinks->toStdString();
  const auto PlayingIntoOut = [&] {
    const std::optional<QString> Inputs = Pactl({"list", "short", "sink-inputs"});
    return Inputs && QRegularExpression("^\\d+\\s+" + Out + "\\s", QRegularExpression::MultilineOption)
                         .match(*Inputs)
                         .hasMatch();
  };
  EXPECT_FALSE(PlayingIntoOut());
  Window->btPlay().click();
  ASSERT_TRUE(Window->Player().IsPlaying()) << Window->lbStatus().text().toStdString();
  EXPECT_EQ(Window->btPlay().text(), "Stop playing");
  ASSERT_TRUE(QTest::qWaitFor([&] { return PlayingIntoOut(); }, 10000));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return Window->Waveform().Cursor() > Window->Waveform().KeptFirst() + Rate / 10; }, 10000));

  Boxes.AnswerNext(IDNO);
  Window->btDiscard().click();
  ASSERT_EQ(Boxes.Shown().size(), 1);
  EXPECT_EQ(Boxes.Shown()[0].Text, "Discard the take \"VT 2026-12-10 14-03-22.flac\"? Its file is deleted.");
  EXPECT_EQ(Window->ReviewedFile(), File);
  EXPECT_TRUE(QFileInfo::exists(File));

  Boxes.AnswerNext(IDYES);
  Window->btDiscard().click();
  EXPECT_FALSE(QFileInfo::exists(File));
  EXPECT_TRUE(Window->ReviewedFile().isEmpty());
  EXPECT_EQ(Window->lbStatus().text(), "Discarded \"VT 2026-12-10 14-03-22.flac\".");
  EXPECT_FALSE(Window->Player().IsPlaying());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !PlayingIntoOut(); }, 10000));
  EXPECT_TRUE(QDir(Tracks()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

}  // namespace
}  // namespace wavenard
