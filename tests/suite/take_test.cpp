#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <vector>

#include "config/failures.h"
#include "remote/upload_body.h"
#include "suite/recorder/flac_file_writer.h"
#include "suite/recorder/held_take.h"
#include "suite/recorder/level_meter.h"
#include "suite/recorder/recorder_options.h"
#include "suite/recorder/recording_failure.h"
#include "suite/recorder/single_instance.h"
#include "suite/recorder/take_audio.h"
#include "suite/recorder/take_folder.h"
#include "suite/recorder/take_keeper.h"
#include "suite/recorder/take_processing.h"
#include "tests/suite/flac_reader.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr uid_t Nobody = 65534;
const QDateTime StartTime(QDate(2026, 12, 10), QTime(14, 3, 22));

QByteArray Native(const QString& AName) {
  return QFile::encodeName(AName);
}

// ARecord's failure message, or empty when it went through.
template <typename TAction>
QString FailureOf(TAction AAction) {
  try {
    AAction();
  } catch (const ERecordingFailure& E) {
    return E.Message();
  }
  return {};
}

// Seconds of a stereo take: silence, then a 300 Hz tone at AAmplitude (of full scale) with a
// little noise, then silence.
TTakeAudio Take(double ASilenceBefore, double ASound, double ASilenceAfter, double AAmplitude) {
  TTakeAudio Audio;
  Audio.SampleRate = 48000;
  Audio.Channels = 2;
  const qint64 Before = qint64(ASilenceBefore * Audio.SampleRate);
  const qint64 Sound = qint64(ASound * Audio.SampleRate);
  const qint64 Frames = Before + Sound + qint64(ASilenceAfter * Audio.SampleRate);
  quint32 Noise = 1;
  for (qint64 Frame = 0; Frame < Frames; ++Frame) {
    const bool Loud = Frame >= Before && Frame < Before + Sound;
    for (int Channel = 0; Channel < 2; ++Channel) {
      Noise = Noise * 1664525 + 1013904223;
      const double Hiss = (double(Noise >> 16) / 65536.0 - 0.5) * 20;  // about −70 dBFS
      const double Tone = Loud ? AAmplitude * 32767 * std::sin(2 * Pi * 300 * double(Frame) / 48000) : 0;
      Audio.Samples.push_back(static_cast<qint16>(std::lround(Tone + Hiss)));
    }
  }
  return Audio;
}

void WriteFlac(const QString& AName, const TTakeAudio& AAudio) {
  TFlacFileWriter Writer;
  Writer.Open(AName, AAudio.SampleRate, AAudio.Channels);
  Writer.Write(AAudio.Samples.data(), AAudio.Frames());
  Writer.Finish();
}

// Whether Wavenard would take the file as finished now.
bool Offered(const QString& AName) {
  try {
    ReadVoiceTrackFile(AName);
    return true;
  } catch (const EFileFailure&) {
    return false;
  }
}

// A settings folder that everybody may write, as some installations leave it: the takes folder
// in it can be planted by another user.
class TakeFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Shared = Root.Path() + "settings";
    ASSERT_TRUE(QDir().mkpath(Shared));
    ::chmod(Native(Shared).constData(), 0777);
    Elsewhere = Root.Path() + "elsewhere";
    ASSERT_TRUE(QDir().mkpath(Elsewhere));
  }

  test::TTempFolder Root;
  QString Shared;
  QString Elsewhere;
};

TEST_F(TakeFolderTest, RefusesWhatAnotherUserMayHavePlantedAndSaysWhy) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "giving files to another user needs root";
  }
  const QString Tracks = Shared + "/VoiceTracks";
  struct TCase {
    const char* Name;
    std::function<void()> Plant;
    QString Refusal;  // empty: accepted
  };
  const TCase Cases[] = {
      {"a link of another user",
       [&] {
         ::symlink(Native(Elsewhere).constData(), Native(Tracks).constData());
         ::lchown(Native(Tracks).constData(), Nobody, Nobody);
       },
       "Record is refused: the voice-tracks folder \"" + Tracks + "\" is reached through the link \"" +
           Tracks + "\", which another user may have planted."},
      {"a folder of another user",
       [&] {
         QDir().mkpath(Tracks);
         ::chown(Native(Tracks).constData(), Nobody, Nobody);
       },
       "Record is refused: the voice-tracks folder \"" + Tracks + "\" belongs to another user."},
      {"a folder everybody may change",
       [&] {
         QDir().mkpath(Tracks);
         ::chmod(Native(Tracks).constData(), 0777);
       },
       "Record is refused: other users may change the voice-tracks folder \"" + Tracks + "\"."},
      {"the user's own link",
       [&] { ::symlink(Native(Elsewhere).constData(), Native(Tracks).constData()); },
       {}},
      {"a sticky folder everybody may write",
       [&] {
         QDir().mkpath(Tracks);
         ::chmod(Native(Tracks).constData(), 01777);
       },
       {}},
      {"no folder yet", [] {}, {}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Case.Plant();
    TTakeFolder Folder(Tracks);
    EXPECT_EQ(FailureOf([&] { Folder.Open(); }), Case.Refusal);
    if (Case.Refusal.isEmpty()) {
      const TNewTakeFile File = Folder.CreateTake(StartTime);
      EXPECT_GE(File.Fd, 0);
      ::close(File.Fd);
      EXPECT_TRUE(QFileInfo::exists(Tracks + "/VT 2026-12-10 14-03-22.flac"));
    }
    if (!Case.Refusal.isEmpty()) {
      EXPECT_TRUE(QDir(Elsewhere).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
          << "a take went through the link";
    }
    QFile::remove(Tracks);
    QDir(Tracks).removeRecursively();
    QDir(Elsewhere).removeRecursively();
    QDir().mkpath(Elsewhere);
  }
}

TEST_F(TakeFolderTest, ALinkFurtherUpTheWayIsJudgedWhereItLies) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "giving files to another user needs root";
  }
  // settings/station -> elsewhere, planted; the takes folder lies below it.
  const QString Station = Shared + "/station";
  ASSERT_EQ(::symlink(Native(Elsewhere).constData(), Native(Station).constData()), 0);
  ASSERT_EQ(::lchown(Native(Station).constData(), Nobody, Nobody), 0);
  TTakeFolder Folder(Station + "/VoiceTracks");
  EXPECT_TRUE(FailureOf([&] { Folder.Open(); }).contains("through the link \"" + Station + "\""));
  EXPECT_FALSE(QFileInfo::exists(Elsewhere + "/VoiceTracks"));
}

TEST(TakeNames, ANameThatAnythingHasIsTakenAndTheNextFreeOneIsUsed) {
  test::TTempFolder Tracks;
  // A dangling link and a file hold the first two names.
  ASSERT_EQ(
      ::symlink("/nonexistent/take.flac", Native(Tracks.File("VT 2026-12-10 14-03-22.flac")).constData()), 0);
  Tracks.Write("VT 2026-12-10 14-03-22 (2).flac", "another take");
  TTakeFolder Folder(Tracks.Path().chopped(1));
  Folder.Open();
  const TNewTakeFile File = Folder.CreateTake(StartTime);
  ::close(File.Fd);
  EXPECT_EQ(File.FileName, Tracks.File("VT 2026-12-10 14-03-22 (3).flac"));
  EXPECT_FALSE(QFileInfo::exists("/nonexistent/take.flac"));
  EXPECT_EQ(Tracks.Read("VT 2026-12-10 14-03-22 (2).flac"), "another take");
}

// Recorders started in the same second, as real processes let loose at once: each gets a take
// of its own.
TEST(TakeNames, RecordersStartedInTheSameSecondEachGetTheirOwnFile) {
  test::TTempFolder Tracks;
  constexpr int Count = 6;
  int Go[2];
  ASSERT_EQ(::pipe(Go), 0);
  std::vector<pid_t> Children;
  for (int I = 0; I < Count; ++I) {
    const pid_t Child = ::fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
      ::close(Go[1]);
      char Byte;
      (void)::read(Go[0], &Byte, 1);  // the end of the pipe lets all of them go
      int Status = 1;
      try {
        TTakeFolder Folder(Tracks.Path().chopped(1));
        Folder.Open();
        const TNewTakeFile File = Folder.CreateTake(StartTime);
        Status = File.Fd >= 0 && ::write(File.Fd, "x", 1) == 1 ? 0 : 2;
      } catch (const ERecordingFailure&) {
        Status = 3;
      }
      ::_exit(Status);
    }
    Children.push_back(Child);
  }
  ::close(Go[0]);
  ::close(Go[1]);
  for (const pid_t Child : Children) {
    int Status = 0;
    ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Status;
  }
  const QStringList Files = QDir(Tracks.Path()).entryList(QDir::Files);
  EXPECT_EQ(Files.size(), Count) << Files.join(", ").toStdString();
  for (const QString& Name : Files) {
    EXPECT_EQ(Tracks.Read(Name), "x") << Name.toStdString();
  }
}

// A recorder killed while it records leaves a file whose header tells its length, up to the last
// couple of seconds, and that nobody holds any more.
TEST(KilledRecorder, LeavesAFileWhoseHeaderKnowsItsLength) {
  test::TTempFolder Tracks;
  const QString Name = Tracks.File("VT killed.flac");
  constexpr int Rate = 48000;
  constexpr int Seconds = 7;
  int Ready[2];
  ASSERT_EQ(::pipe(Ready), 0);
  const pid_t Child = ::fork();
  ASSERT_GE(Child, 0);
  if (Child == 0) {
    ::close(Ready[0]);
    const TTakeAudio Audio = Take(0, Seconds, 0, 0.3);
    TFlacFileWriter Writer;
    Writer.Open(Name, Rate, 2);
    for (qint64 Frame = 0; Frame < Audio.Frames(); Frame += Rate / 50) {
      Writer.Write(Audio.Samples.data() + Frame * 2, std::min<qint64>(Rate / 50, Audio.Frames() - Frame));
    }
    (void)::write(Ready[1], "r", 1);
    for (;;) {
      ::pause();
    }
  }
  ::close(Ready[1]);
  char Byte = 0;
  ASSERT_EQ(::read(Ready[0], &Byte, 1), 1);
  ::close(Ready[0]);
  EXPECT_FALSE(Offered(Name)) << "taken while it was recorded";
  ::kill(Child, SIGKILL);
  int Status = 0;
  ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
  ASSERT_TRUE(WIFSIGNALED(Status));

  const test::TDecodedFlac Flac = test::DecodeFlac(Name);
  ASSERT_TRUE(Flac.Ok);
  EXPECT_GE(Flac.TotalSamples, quint64(Rate * (Seconds - 3)));
  EXPECT_LE(Flac.TotalSamples, Flac.Samples[0].size());
  EXPECT_TRUE(Offered(Name));
}

TEST(HeldTake, IsNotOfferedUntilKeptAndKeepingTouchesIt) {
  test::TTempFolder Tracks;
  const QString Name = Tracks.File("VT.flac");
  TFlacFileWriter Writer;
  Writer.Open(Name, 48000, 2);
  const TTakeAudio Audio = Take(0, 1, 0, 0.3);
  Writer.Write(Audio.Samples.data(), Audio.Frames());
  std::unique_ptr<THeldTake> Held = Writer.FinishHeld();
  ASSERT_NE(Held, nullptr);
  EXPECT_FALSE(Offered(Name));
  const struct timespec Old[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, Native(Name).constData(), Old, 0), 0);
  Held->Keep();
  EXPECT_TRUE(Offered(Name));
  EXPECT_GT(QFileInfo(Name).lastModified().toSecsSinceEpoch(), 1000000000);
  EXPECT_EQ(test::DecodeFlac(Name).Samples[0].size(), size_t(Audio.Frames()));
}

TEST(HeldTake, DiscardRemovesIt) {
  test::TTempFolder Tracks;
  const QString Name = Tracks.File("VT.flac");
  WriteFlac(Tracks.File("source.flac"), Take(0, 1, 0, 0.3));
  QFile::copy(Tracks.File("source.flac"), Name);
  const int Fd = ::open(Native(Name).constData(), O_RDWR);
  ASSERT_EQ(::flock(Fd, LOCK_EX), 0);
  THeldTake Held(Fd, Name);
  Held.Discard();
  EXPECT_FALSE(QFileInfo::exists(Name));
  EXPECT_FALSE(Held.IsHeld());
}

// Keeping a processed take writes it beside the take under a hidden name and puts it in place
// at once: nothing half-written ever bears the take's name. A part a killed recorder left is
// replaced; one that is still being written by someone is not touched.
TEST(HeldTake, AProcessedTakeReplacesTheTakeWhole) {
  test::TTempFolder Tracks;
  const QString Name = Tracks.File("VT.flac");
  const TTakeAudio Audio = Take(1, 2, 1, 0.05);
  TFlacFileWriter Writer;
  Writer.Open(Name, 48000, 2);
  Writer.Write(Audio.Samples.data(), Audio.Frames());
  std::unique_ptr<THeldTake> Held = Writer.FinishHeld();
  Tracks.Write(".VT.flac.part", "left by a killed recorder");
  const TTakePlan Plan = PlanTake(Audio, TRecorderOptions{});
  ASSERT_TRUE(Plan.ChangesTake(Audio.Frames()));
  KeepTake(*Held, Audio, Plan);
  EXPECT_FALSE(Held->IsHeld());
  EXPECT_FALSE(QFileInfo::exists(Tracks.File(".VT.flac.part")));
  EXPECT_TRUE(Offered(Name));
  // The header's checksum, worked out beside the encoder, is there and matches what decodes.
  QFile Kept(Name);
  ASSERT_TRUE(Kept.open(QIODevice::ReadOnly));
  ASSERT_TRUE(Kept.seek(26));
  EXPECT_NE(Kept.read(16), QByteArray(16, '\0'));
  const test::TDecodedFlac Flac = test::DecodeFlac(Name);
  ASSERT_TRUE(Flac.Ok);
  EXPECT_EQ(qint64(Flac.Samples[0].size()), Plan.EndFrame - Plan.FirstFrame);
  // Every sample in its place: the kept sound reaches the encoder a piece at a time.
  const std::vector<qint16> Expected = ApplyPlan(Audio, Plan);
  qint64 Misplaced = 0;
  for (size_t Frame = 0; Frame < Flac.Samples[0].size(); ++Frame) {
    for (size_t Channel = 0; Channel < 2; ++Channel) {
      Misplaced += Flac.Samples[Channel][Frame] != Expected[Frame * 2 + Channel];
    }
  }
  EXPECT_EQ(Misplaced, 0);

  // Someone holds the part: the take stays as it was, and held.
  const QString Other = Tracks.File("VT other.flac");
  Writer.Open(Other, 48000, 2);
  Writer.Write(Audio.Samples.data(), Audio.Frames());
  Held = Writer.FinishHeld();
  const QString Part = Tracks.File(".VT other.flac.part");
  const int Busy = ::open(Native(Part).constData(), O_RDWR | O_CREAT, 0644);
  ASSERT_EQ(::flock(Busy, LOCK_EX), 0);
  EXPECT_TRUE(
      FailureOf([&] { KeepTake(*Held, Audio, Plan); }).startsWith("Cannot create file \"" + Part + "\""));
  EXPECT_TRUE(Held->IsHeld());
  EXPECT_EQ(test::DecodeFlac(Other).Samples[0].size(), size_t(Audio.Frames()));
  ::close(Busy);
  Held->Discard();
}

TEST(TakeProcessing, TrimsSilenceToPadsAndBringsTheLoudnessToTheTarget) {
  struct TCase {
    const char* Name;
    double Amplitude;
    TRecorderOptions Options;
    bool Limited;
  };
  TRecorderOptions Quiet;
  Quiet.TargetLoudness = -30;
  const TCase Cases[] = {
      {"a quiet take is raised", 0.02, {}, false},
      {"a loud take is lowered", 0.7, {}, false},
      {"another target", 0.1, Quiet, false},
      // A sine's true peak lies about its loudness: 0 LUFS cannot be had below the ceiling.
      {"the ceiling limits the gain", 0.1, {true, true, 0}, true},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const TTakeAudio Audio = Take(1.5, 3, 2, Case.Amplitude);
    const TTakePlan Plan = PlanTake(Audio, Case.Options);
    EXPECT_NEAR(Plan.FirstFrame, qint64(1.25 * 48000), 48);
    EXPECT_NEAR(Plan.EndFrame, qint64(4.75 * 48000), 48);
    EXPECT_EQ(Plan.CeilingLimited, Case.Limited);
    EXPECT_LE(Plan.ResultTruePeak(), TruePeakCeiling);
    if (!Case.Limited) {
      EXPECT_NEAR(Plan.ResultLoudness(), Case.Options.TargetLoudness, 0.05);
    }
    // Measured again on what is kept.
    TTakeAudio Kept;
    Kept.SampleRate = Audio.SampleRate;
    Kept.Channels = Audio.Channels;
    Kept.Samples = ApplyPlan(Audio, Plan);
    TRecorderOptions Off;
    Off.Trim = false;
    Off.Normalise = false;
    const TTakePlan Again = PlanTake(Kept, Off);
    EXPECT_NEAR(Again.MeasuredLoudness, Plan.ResultLoudness(), 0.1);
    EXPECT_LE(Again.MeasuredTruePeak, TruePeakCeiling);
    EXPECT_FALSE(Again.ChangesTake(Kept.Frames()));
  }
}

// Every 16-bit value through the gain, from an odd frame on and with a length that is no
// multiple of any vector width, against the same sums in double precision.
TEST(TakeProcessing, TheGainRoundsHalfAwayFromZeroAndHoldsTo16Bits) {
  TTakeAudio Audio;
  Audio.SampleRate = 48000;
  Audio.Channels = 1;
  for (int Value = -32768; Value <= 32767; ++Value) {
    Audio.Samples.push_back(static_cast<qint16>(Value));
  }
  for (const double Gain : {-13.7, -0.4, 3.1, 18.0}) {
    TTakePlan Plan;
    Plan.FirstFrame = 3;
    Plan.EndFrame = Audio.Frames() - 2;
    Plan.Gain = Gain;
    const std::vector<qint16> Scaled = ApplyPlan(Audio, Plan);
    ASSERT_EQ(qint64(Scaled.size()), Plan.EndFrame - Plan.FirstFrame);
    const double Factor = std::pow(10.0, Gain / 20);
    int Wrong = 0;
    for (size_t I = 0; I < Scaled.size(); ++I) {
      const double Exact = Audio.Samples[I + 3] * Factor;
      // Single precision is good to a few thousandths here: next to a half, both answers are right.
      if (std::abs(std::abs(Exact - std::trunc(Exact)) - 0.5) < 0.01) {
        continue;
      }
      const double Expected = std::clamp(std::round(Exact), -32768.0, 32767.0);
      Wrong += Scaled[I] != Expected;
    }
    EXPECT_EQ(Wrong, 0) << "gain " << Gain;
  }
}

TEST(TakeProcessing, SilenceAndSwitchedOffOptionsLeaveTheTakeAsItIs) {
  // Only the hiss of the room: it is not raised to the target.
  const TTakeAudio Silent = Take(3, 0, 0, 0);
  const TTakePlan Plan = PlanTake(Silent, TRecorderOptions{});
  EXPECT_FALSE(Plan.ChangesTake(Silent.Frames()));
  EXPECT_TRUE(Plan.Silent);

  const TTakeAudio Audio = Take(1, 1, 1, 0.1);
  TRecorderOptions Off;
  Off.Trim = false;
  Off.Normalise = false;
  EXPECT_FALSE(PlanTake(Audio, Off).ChangesTake(Audio.Frames()));
  // Sound up to the very edges leaves nothing to trim.
  const TTakeAudio Full = Take(0, 2, 0, 0.1);
  const TTakePlan Edges = PlanTake(Full, TRecorderOptions{});
  EXPECT_EQ(Edges.FirstFrame, 0);
  EXPECT_EQ(Edges.EndFrame, Full.Frames());
}

TEST(TakeAudio, DecodesTheHeldFileThroughItsDescriptor) {
  test::TTempFolder Tracks;
  const TTakeAudio Audio = Take(0.5, 1, 0.5, 0.2);
  WriteFlac(Tracks.File("VT.flac"), Audio);
  const int Fd = ::open(Native(Tracks.File("VT.flac")).constData(), O_RDONLY);
  const TTakeAudio Decoded = DecodeTake(Fd, Tracks.File("VT.flac"));
  EXPECT_EQ(Decoded.SampleRate, 48000);
  EXPECT_EQ(Decoded.Channels, 2);
  EXPECT_EQ(Decoded.Samples, Audio.Samples);
  ::close(Fd);
  const int Text = ::open(Native(Tracks.Write("not.flac", "no sound here")).constData(), O_RDONLY);
  EXPECT_TRUE(FailureOf([&] { DecodeTake(Text, Tracks.File("not.flac")); }).startsWith("Cannot read file"));
  ::close(Text);
}

TEST(LevelMeter, ReadsInDecibelsAndTheClipLightStaysLitUntilTheNextTake) {
  TLevelMeter Meter;
  EXPECT_EQ(Meter.accessibleName(), QStringLiteral("Level below \u221260 dB"));
  Meter.ShowPeak(std::pow(10.0, -12.0 / 20));
  EXPECT_NEAR(Meter.Level(), -12, 0.01);
  EXPECT_EQ(Meter.accessibleName(), QStringLiteral("Level \u221212 dB"));
  EXPECT_FALSE(Meter.Clipped());
  Meter.ShowPeak(1.0);
  EXPECT_TRUE(Meter.Clipped());
  EXPECT_EQ(Meter.HeldPeak(), 0);
  // The peak is held while quieter sound follows; the bar falls, the light stays.
  Meter.ShowPeak(0.01);
  EXPECT_EQ(Meter.HeldPeak(), 0);
  EXPECT_TRUE(Meter.Clipped());
  Meter.Reset(false);
  EXPECT_TRUE(Meter.Clipped());
  Meter.Reset(true);
  EXPECT_FALSE(Meter.Clipped());
  EXPECT_EQ(Meter.Level(), TLevelMeter::Floor);
}

TEST(RecorderOptions, AreRememberedPrivatelyAndBadValuesKeepTheDefaults) {
  test::TTempFolder Settings;
  const QString Name = Settings.File("pellorin.ini");
  EXPECT_EQ(TRecorderOptions::Load(Name), TRecorderOptions{});
  TRecorderOptions Options;
  Options.Trim = false;
  Options.TargetLoudness = -16;
  Options.Save(Name);
  EXPECT_EQ(TRecorderOptions::Load(Name), Options);
  EXPECT_EQ(QFileInfo(Name).permissions() & 0x0077, 0);
  Settings.Write("pellorin.ini", "[Recorder]\nTrim=maybe\nNormalise=0\nTargetLoudness=-400\n");
  const TRecorderOptions Read = TRecorderOptions::Load(Name);
  EXPECT_TRUE(Read.Trim);
  EXPECT_FALSE(Read.Normalise);
  EXPECT_EQ(Read.TargetLoudness, TRecorderOptions::MinTarget);
  Settings.Write("pellorin.ini", "[Recorder]\nTargetLoudness=nan\n");
  EXPECT_EQ(TRecorderOptions::Load(Name).TargetLoudness, TRecorderOptions::DefaultTarget);
}

TEST(SingleInstance, ALaterStartRaisesTheFirstOfTheSameSettingsFolder) {
  QTemporaryDir Runtime;
  TSingleInstance First("/settings/a/", Runtime.path());
  ASSERT_TRUE(First.Claim());
  QSignalSpy Raised(&First, &TSingleInstance::RaiseRequested);
  TSingleInstance Second("/settings/a", Runtime.path());
  EXPECT_FALSE(Second.Claim());
  EXPECT_TRUE(Raised.wait(10000));
  TSingleInstance Other("/settings/b/", Runtime.path());
  EXPECT_TRUE(Other.Claim());
}

// The real program, twice, and once more after the first was killed.
TEST(SingleInstance, TheProgramRunsOncePerSettingsFolderAndAKilledOneBlocksNothing) {
  test::TTempFolder App;
  QTemporaryDir Runtime;
  const QString Program = App.File("pellorin");
  ASSERT_TRUE(QFile::copy(PELLORIN_PROGRAM, Program));
  QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
  Environment.insert("XDG_RUNTIME_DIR", Runtime.path());
  Environment.insert("QT_QPA_PLATFORM", "offscreen");
  // No sound server: the recorder opens with no input.
  Environment.insert("PULSE_SERVER", "unix:" + Runtime.path() + "/no-server");
  const auto Start = [&](QProcess& AProcess) {
    AProcess.setProcessEnvironment(Environment);
    AProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    AProcess.start(Program, {"-wavenard"});
    return AProcess.waitForStarted(10000);
  };
  const auto Listening = [&] {
    return !QDir(Runtime.path()).entryList({"pellorin-*.socket"}, QDir::System).isEmpty();
  };
  QProcess First;
  ASSERT_TRUE(Start(First));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Listening(); }, 20000));
  QProcess Second;
  ASSERT_TRUE(Start(Second));
  ASSERT_TRUE(Second.waitForFinished(20000)) << "a second recorder runs";
  EXPECT_EQ(Second.exitCode(), 0);
  EXPECT_EQ(First.state(), QProcess::Running);

  First.kill();
  First.waitForFinished(10000);
  QProcess Third;
  ASSERT_TRUE(Start(Third));
  EXPECT_FALSE(Third.waitForFinished(3000)) << "the killed recorder's lock was left behind";
  EXPECT_EQ(Third.state(), QProcess::Running);
  Third.terminate();
  EXPECT_TRUE(Third.waitForFinished(10000));
}

}  // namespace
}  // namespace wavenard
