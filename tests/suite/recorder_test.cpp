#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <csignal>
#include <vector>

#include "config/player_ini.h"
#include "config/system_ini.h"
#include "remote/upload_body.h"
#include "suite/recorder/flac_file_writer.h"
#include "suite/recorder/input_choice.h"
#include "suite/recorder/recorder_settings.h"
#include "suite/recorder/recorder_window.h"
#include "suite/recorder/recording.h"
#include "suite/recorder/recording_failure.h"
#include "tests/suite/flac_reader.h"
#include "tests/testsupport/scripted_box_presenter.h"
#include "tests/testsupport/table_device_source.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

constexpr double Pi = 3.14159265358979323846;

// AFrames frames of a tone per channel (440 Hz left, 660 Hz right), starting at frame AFrom.
std::vector<qint16> Tone(int AChannels, int ARate, qint64 AFrom, qint64 AFrames) {
  std::vector<qint16> Samples;
  for (qint64 Frame = AFrom; Frame < AFrom + AFrames; ++Frame) {
    for (int Channel = 0; Channel < AChannels; ++Channel) {
      const double Frequency = Channel == 0 ? 440 : 660;
      Samples.push_back(static_cast<qint16>(12000 * std::sin(2 * Pi * Frequency * Frame / ARate)));
    }
  }
  return Samples;
}

// Writes AFrames frames in uneven pieces, as a device delivers them.
void WriteTone(TFlacFileWriter& AWriter, qint64 AFrames) {
  qint64 Done = 0;
  for (qint64 Piece = 301; Done < AFrames; Piece = Piece * 7 % 5003 + 17) {
    const qint64 Count = std::min(Piece, AFrames - Done);
    const std::vector<qint16> Samples = Tone(AWriter.Channels(), AWriter.SampleRate(), Done, Count);
    AWriter.Write(Samples.data(), Count);
    Done += Count;
  }
}

TEST(FlacFileWriter, EncodesLosslesslyAtTheDevicesRateAndChannels) {
  test::TTempFolder Folder;
  for (const auto& [Rate, Channels] : {std::pair{48000, 2}, {44100, 1}, {16000, 2}}) {
    SCOPED_TRACE(Rate);
    const QString Name = Folder.File(QStringLiteral("track %1.flac").arg(Rate));
    const qint64 Frames = Rate * 3 / 2;
    {
      TFlacFileWriter Writer;
      Writer.Open(Name, Rate, Channels);
      WriteTone(Writer, Frames);
      Writer.Finish();
      EXPECT_TRUE(Writer.FileKept());
    }
    const test::TDecodedFlac Flac = test::DecodeFlac(Name);
    ASSERT_TRUE(Flac.Ok);
    EXPECT_EQ(Flac.SampleRate, unsigned(Rate));
    EXPECT_EQ(Flac.Channels, unsigned(Channels));
    EXPECT_EQ(Flac.BitsPerSample, 16U);
    EXPECT_EQ(Flac.TotalSamples, quint64(Frames));
    const std::vector<qint16> Expected = Tone(Channels, Rate, 0, Frames);
    ASSERT_EQ(Flac.Samples.size(), size_t(Channels));
    ASSERT_EQ(Flac.Samples[0].size(), size_t(Frames));
    bool Same = true;
    for (qint64 Frame = 0; Frame < Frames && Same; ++Frame) {
      for (int Channel = 0; Channel < Channels; ++Channel) {
        Same = Same && Flac.Samples[Channel][Frame] == Expected[Frame * Channels + Channel];
      }
    }
    EXPECT_TRUE(Same);
  }
}

TEST(FlacFileWriter, IsRefusedToTheInsertWhileOpenAndNeverReplacesAFile) {
  test::TTempFolder Folder;
  const QString Name = Folder.Write(QStringLiteral("taken.flac"), "someone else's");
  TFlacFileWriter Writer;
  try {
    Writer.Open(Name, 48000, 1);
    FAIL() << "an existing file was opened";
  } catch (const ERecordingFailure& E) {
    EXPECT_TRUE(E.Message().startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(Name))) << E.what();
  }
  EXPECT_EQ(Folder.Read(QStringLiteral("taken.flac")), "someone else's");

  const QString Track = Folder.File(QStringLiteral("VT.flac"));
  Writer.Open(Track, 48000, 1);
  WriteTone(Writer, 48000);
  EXPECT_THROW(ReadVoiceTrackFile(Track), EFileFailure);
  Writer.Finish();
  EXPECT_EQ(ReadVoiceTrackFile(Track), Folder.Read(QStringLiteral("VT.flac")));
}

TEST(FlacFileWriter, NothingRecordedLeavesNoFile) {
  test::TTempFolder Folder;
  const QString Name = Folder.File(QStringLiteral("empty.flac"));
  TFlacFileWriter Writer;
  Writer.Open(Name, 48000, 2);
  EXPECT_TRUE(QFileInfo::exists(Name));
  Writer.Finish();
  EXPECT_FALSE(Writer.FileKept());
  EXPECT_FALSE(QFileInfo::exists(Name));
}

// The file-size limit makes the disk "full" at a known size: the write fails with EFBIG.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t ABytes) {
    FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &FOld);
    rlimit Limit = FOld;
    Limit.rlim_cur = ABytes;
    setrlimit(RLIMIT_FSIZE, &Limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FOld);
    std::signal(SIGXFSZ, FOldHandler);
  }

 private:
  rlimit FOld{};
  void (*FOldHandler)(int) = nullptr;
};

TEST(FlacFileWriter, AFullDiskKeepsWhatWasRecordedAsAClosedValidFile) {
  test::TTempFolder Folder;
  const QString Name = Folder.File(QStringLiteral("full.flac"));
  TFlacFileWriter Writer;
  QString Failure;
  {
    const FileSizeLimit Limit(100 * 1024);
    Writer.Open(Name, 48000, 2);
    try {
      WriteTone(Writer, 48000 * 60);
      Writer.Finish();
    } catch (const ERecordingFailure& E) {
      Failure = E.Message();
    }
  }
  EXPECT_EQ(Failure, QStringLiteral("Cannot write file \"%1\". File too large").arg(Name));
  EXPECT_FALSE(Writer.IsOpen());
  ASSERT_TRUE(Writer.FileKept());
  EXPECT_LE(QFileInfo(Name).size(), 100 * 1024);
  // Closed: the insert takes it.
  EXPECT_NO_THROW(ReadVoiceTrackFile(Name));
  const test::TDecodedFlac Flac = test::DecodeFlac(Name);
  ASSERT_TRUE(Flac.Ok);
  ASSERT_EQ(Flac.Samples.size(), 2U);
  EXPECT_GT(Flac.Samples[0].size(), 4096U);
  EXPECT_LT(Flac.Samples[0].size(), size_t(Writer.FramesWritten()));
  EXPECT_EQ(Flac.TotalSamples, Flac.Samples[0].size());
  const std::vector<qint16> Expected = Tone(2, 48000, 0, 4096);
  EXPECT_EQ(Flac.Samples[1][4095], Expected[4095 * 2 + 1]);
}

TEST(FlacFileWriter, ADiskFullBeforeTheFirstFrameLeavesNoFile) {
  test::TTempFolder Folder;
  const QString Name = Folder.File(QStringLiteral("none.flac"));
  TFlacFileWriter Writer;
  const FileSizeLimit Limit(20);
  EXPECT_THROW(Writer.Open(Name, 48000, 2), ERecordingFailure);
  EXPECT_FALSE(QFileInfo::exists(Name));
}

// Capture entry 0 against the device lists, as the suite's audio engine looks it up.
TEST(ChooseInput, FollowsTheDeviceIdxRulesAndFallsBackToTheDefaultWithANote) {
  constexpr quint32 Capture = DEVICE_INPUT | DEVICE_ENABLED;
  test::TTableDeviceSource Devices;
  Devices.List(TDeviceList::Wasapi) = {
      {"Speakers", "out-1", DEVICE_ENABLED},
      {"Desk microphone", "desk", Capture},
      {"Monitor of Speakers", "mon-1", Capture | DEVICE_LOOPBACK},
      {"Headset", "headset", Capture},
      {"Old microphone", "old", DEVICE_INPUT},
  };
  Devices.List(TDeviceList::Recording) = {{"Desk microphone", "desk", Capture},
                                          {"Headset", "headset", Capture}};
  struct TCase {
    qint32 Method;
    TOutputDevType DevType;
    QString DeviceID;
    QString DeviceName2;
    QString Id;  // empty: the default input
    QString Note;
  };
  const QString Default;
  const QString NoneChosen =
      "No microphone is chosen in Wavenard's settings: recording from the default input.";
  const auto Missing = [](const QString& AName) {
    return QStringLiteral("The microphone \"%1\" is not present: recording from the default input.")
        .arg(AName);
  };
  const TCase Cases[] = {
      {1, TOutputDevType::odMixer, ":default", "", Default, ""},
      {0, TOutputDevType::odMixer, ":default", "", Default, ""},
      {1, TOutputDevType::odMixer, "headset", "", "headset", ""},
      {1, TOutputDevType::odMixer, "HEADSET", "", "headset", ""},
      {1, TOutputDevType::odMixer, "desk", "Headset", "headset", ""},
      {0, TOutputDevType::odMixer, "headset", "", "headset", ""},
      {1, TOutputDevType::odRegular, "desk", "", "desk", ""},
      {1, TOutputDevType::odMixer, "gone", "", Default, Missing("gone")},
      {1, TOutputDevType::odMixer, "mon-1", "Monitor of Speakers", Default, Missing("Monitor of Speakers")},
      {1, TOutputDevType::odMixer, "old", "", Default, Missing("old")},
      {1, TOutputDevType::odMixer, "out-1", "", Default, Missing("out-1")},
      {2, TOutputDevType::odMixer, "desk", "", Default, Missing("desk")},
      {1, TOutputDevType::odMixer, "", "", Default, NoneChosen},
      {-2, TOutputDevType::odMixer, "", "", Default, NoneChosen},
      {-1, TOutputDevType::odMixer, "desk", "", Default, NoneChosen},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE((QString::number(Case.Method) + " " + Case.DeviceID + " " + Case.DeviceName2).toStdString());
    TInputDevice Entry;
    Entry.Method = Case.Method;
    Entry.DevType = Case.DevType;
    Entry.DeviceID = Case.DeviceID;
    Entry.DeviceName2 = Case.DeviceName2;
    const TInputChoice Choice = ChooseInput(Entry, Devices);
    EXPECT_EQ(Choice.Id, Case.Id);
    EXPECT_EQ(Choice.Note, Case.Note);
    EXPECT_EQ(Choice.Name.isEmpty(), Case.Id.isEmpty());
  }
}

class RecorderSettingsTest : public ::testing::Test {
 protected:
  // Saves a system.ini whose microphone is ADeviceID, as Wavenard's settings dialog does.
  void SaveSystemIni(const TFolders& AFolders, const QString& ADeviceID) {
    TSystemIni SystemIni(AFolders, Boxes);
    SystemIni.Inputs.Items(0).Method = 1;
    SystemIni.Inputs.Items(0).DeviceID = ADeviceID;
    SystemIni.Save();
    ASSERT_TRUE(Boxes.Shown().isEmpty());
  }

  test::TTempFolder App;
  test::TTempFolder Home;
  test::TScriptedBoxPresenter Boxes;
};

TEST_F(RecorderSettingsTest, ReadsTheMicrophoneAndTheFolderWithoutWritingAnything) {
  App.Write("uid.ini", "[Settings]\r\nUID=7\r\n");
  const TSpecialFolderLookup Lookup = [this](int) { return Home.Path(); };
  const TFolders Folders = TFolders::ForApplicationFolder(App.Path(), "pellorin", Lookup);
  const QString Settings = Home.Path() + "Merrowin/Wavenard_7/";
  ASSERT_EQ(Folders.SettingsFolder(), Settings);
  SaveSystemIni(Folders, "{Desk}");
  QFile::remove(Settings + "system.ini.bak");
  const QString Tracks = App.Path() + "my tracks";
  QFile Player(Settings + "player.ini");
  ASSERT_TRUE(Player.open(QIODevice::WriteOnly));
  Player.write(("object TPlayerIni\r\n  VoiceTracksFolder = '" + Tracks + "\\'\r\nend\r\n").toUtf8());
  Player.close();
  const QByteArray SystemText = Home.Read("Merrowin/Wavenard_7/system.ini");
  const QDateTime Modified = QFileInfo(Settings + "system.ini").lastModified();

  const TRecorderSettings Recorder(Folders);
  EXPECT_EQ(Recorder.Microphone().DeviceID, "{Desk}");
  EXPECT_EQ(Recorder.Microphone().Method, 1);
  EXPECT_EQ(Recorder.VoiceTracksFolder(), Tracks);
  EXPECT_EQ(Home.Read("Merrowin/Wavenard_7/system.ini"), SystemText);
  EXPECT_EQ(QFileInfo(Settings + "system.ini").lastModified(), Modified);
  EXPECT_EQ(QDir(Settings).entryList(QDir::Files), (QStringList{"player.ini", "system.ini"}));
}

TEST_F(RecorderSettingsTest, AMissingFileIsReadFromItsBackupCopyWhichStaysWhereItIs) {
  const TFolders Folders(App.Path(), App.Path());
  SaveSystemIni(Folders, "{Headset}");
  SaveSystemIni(Folders, "{Headset}");  // the second save keeps a backup copy
  ASSERT_TRUE(QFile::remove(App.File("system.ini")));
  ASSERT_TRUE(QFileInfo::exists(App.File("system.ini.bak")));
  const TRecorderSettings Recorder(Folders);
  EXPECT_EQ(Recorder.Microphone().DeviceID, "{Headset}");
  EXPECT_FALSE(QFileInfo::exists(App.File("system.ini")));
}

TEST_F(RecorderSettingsTest, WithoutFilesOrWithAnEmptyFolderNameTheDefaultFolderIsUsed) {
  const TFolders Folders(App.Path(), App.Path());
  {
    const TRecorderSettings Recorder(Folders);
    EXPECT_EQ(Recorder.VoiceTracksFolder(), App.Path() + "VoiceTracks");
    EXPECT_EQ(Recorder.Microphone().Method, -2);
    EXPECT_TRUE(Recorder.Microphone().DeviceID.isEmpty());
  }
  App.Write("player.ini", "object TPlayerIni\r\n  VoiceTracksFolder = '\\'\r\nend\r\n");
  App.Write("system.ini", "this is not object text");
  const TRecorderSettings Recorder(Folders);
  EXPECT_EQ(Recorder.VoiceTracksFolder(), App.Path() + "VoiceTracks");
  EXPECT_EQ(Recorder.Microphone().Method, -2);
  EXPECT_EQ(App.Read("system.ini"), "this is not object text");
}

TEST_F(RecorderSettingsTest, FilesTooLargeOrBackupsOfAnotherUserLeaveTheDefaults) {
  const TFolders Folders(App.Path(), App.Path());
  for (const char* Name : {"system.ini", "player.ini"}) {
    QFile File(App.File(Name));
    ASSERT_TRUE(File.open(QIODevice::WriteOnly));
    if (!File.resize(qint64(1) << 40)) {
      GTEST_SKIP() << "skipped: this file system holds no sparse file of 1 TiB";
    }
  }
  {
    const TRecorderSettings Recorder(Folders);
    EXPECT_EQ(Recorder.VoiceTracksFolder(), App.Path() + "VoiceTracks");
    EXPECT_EQ(Recorder.Microphone().Method, -2);
  }

  if (::geteuid() != 0) {
    return;  // only the administrator can give a backup copy to another user
  }
  // Backup copies of empty files: read while they are the user's own, never once another user's,
  // who would then choose the microphone and where the takes go.
  App.Write("system.ini", "");
  App.Write("player.ini", "");
  App.Write("system.ini.bak",
            "object TSystemIni\r\n  Inputs = <\r\n    item\r\n      Method = 1\r\n    end>\r\nend\r\n");
  App.Write("player.ini.bak", "object TPlayerIni\r\n  VoiceTracksFolder = '/srv/theirs\\'\r\nend\r\n");
  {
    const TRecorderSettings Recorder(Folders);
    EXPECT_EQ(Recorder.VoiceTracksFolder(), "/srv/theirs");
    EXPECT_EQ(Recorder.Microphone().Method, 1);
  }
  for (const char* Name : {"system.ini.bak", "player.ini.bak"}) {
    ASSERT_EQ(::chown(QFile::encodeName(App.File(Name)).constData(), 4321, 4321), 0);
  }
  const TRecorderSettings Recorder(Folders);
  EXPECT_EQ(Recorder.VoiceTracksFolder(), App.Path() + "VoiceTracks");
  EXPECT_EQ(Recorder.Microphone().Method, -2);
}

TEST(RecorderNames, FileNamesAndDurations) {
  EXPECT_EQ(VoiceTrackFileName(QDateTime(QDate(2026, 12, 10), QTime(14, 3, 22))),
            "VT 2026-12-10 14-03-22.flac");
  const std::pair<qint64, QString> Durations[] = {{0, "0:00.0"},          {2049, "0:02.0"},
                                                  {59999, "0:59.9"},      {61500, "1:01.5"},
                                                  {3600000, "1:00:00.0"}, {3725100, "1:02:05.1"}};
  for (const auto& [Ms, Text] : Durations) {
    EXPECT_EQ(TRecorderWindow::FormatDuration(Ms), Text);
  }
}

}  // namespace
}  // namespace wavenard
