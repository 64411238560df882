#include "config/player_ini.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <set>

#include "config/object_text.h"
#include "tests/config/every_value.h"
#include "tests/config/qt_print.h"
#include "tests/config/text_helpers.h"
#include "tests/testsupport/scripted_box_presenter.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

class PlayerIni : public ::testing::Test {
 protected:
  // A record read from a "player.ini" holding AText (none when null).
  std::unique_ptr<TPlayerIni> ReadFrom(const char* AText) {
    if (AText != nullptr) {
      Folder.Write("player.ini", test::Crlf(AText));
    }
    auto Record = Create();
    Record->Read();
    return Record;
  }
  std::unique_ptr<TPlayerIni> Create() { return std::make_unique<TPlayerIni>(Folders, Boxes, Random); }

  test::TTempFolder Folder;
  TFolders Folders{Folder.Path(), Folder.Path()};
  test::TScriptedBoxPresenter Boxes;
  QRandomGenerator Random{7};
};

TEST_F(PlayerIni, AFreshRecordHoldsItsConstructionValues) {
  const auto Record = Create();
  const QByteArray Text = WriteObjectText(*Record);
  // Base classes first; Tag 0, ArtworkSize 350 and UseEdgeBrowser True are at their defaults.
  EXPECT_TRUE(Text.startsWith("object TPlayerIni\r\n  bEnableBroadcast = False\r\n")) << Text.left(80).data();
  EXPECT_LT(Text.indexOf("  CrossfadeCurve = csLine\r\n"), Text.indexOf("  PauseFadeOut = 0\r\n"));
  for (const char* Absent :
       {"Tag =", "ArtworkSize", "UseEdgeBrowser", "Threshold =", "TimeZoneS", "UID = 0"}) {
    EXPECT_EQ(Text.indexOf(Absent), -1) << Absent;
  }
  for (const char* Present :
       {"  TrackListSelectTimeout = 3000\r\n", "  VoiceTracksFolder = '\\VoiceTracks\\'\r\n",
        "  StrNowPlayingEmpty = ''\r\n", "  BOutputs = <>\r\n", "  MicDSPList = <>\r\n",
        "  NowPlayingVis = visNone\r\n"}) {
    EXPECT_NE(Text.indexOf(Present), -1) << Present;
  }
  EXPECT_EQ(Record->ArtistSeparator(),
            QStringList({"ft", "ft.", "feat", "feat.", "vs", "vs.", "&", "and", "with", ","}));
  EXPECT_TRUE(Record->AutostartCommands().isEmpty());
  ASSERT_EQ(Record->DSPList().Count(), 2);
  EXPECT_EQ(Record->DSPList().Items(0).DispName, "Equalizer");
  EXPECT_EQ(Record->DSPList().Items(0).IntDSPKind, TIntDSPKind::dspEqualizer);
  EXPECT_EQ(Record->DSPList().Items(1).DispName, "Compressor");
  EXPECT_EQ(Record->DSPList().Items(1).IntDSPKind, TIntDSPKind::dspCompressor);
  EXPECT_EQ(Record->DSPList().Items(1).T, TDSPType::dspIntegrated);
  EXPECT_NE(Text.indexOf("      T = dspIntegrated\r\n      DispName = 'Equalizer'\r\n"), -1);

  // Read back into a fresh record, the text comes out unchanged.
  const auto Again = Create();
  ReadObjectText(Text, *Again);
  Again->SetUID(Record->UID());
  EXPECT_EQ(WriteObjectText(*Again), Text);
}

TEST_F(PlayerIni, EveryPropertyIsReadBackExactly) {
  const auto Record = Create();
  int Counter = 0;
  test::SetEveryValue(*Record, Counter);
  const QByteArray Text = WriteObjectText(*Record);
  for (const TPropertyInfo& Info : Record->PropertyTable().Properties()) {
    if (Info.Stored) {
      const QByteArray Entry =
          Info.Kind == TPropertyKind::StringList ? Info.Utf8Name + ".Strings" : Info.Utf8Name;
      EXPECT_NE(Text.indexOf("\r\n  " + Entry + " = "), -1) << Entry.data();
    }
  }
  const auto Again = Create();
  ReadObjectText(Text, *Again);
  EXPECT_EQ(WriteObjectText(*Again), Text);
}

TEST_F(PlayerIni, NamesOfANewerSuiteAreSkipped) {
  const auto Record = ReadFrom(R"(object PlayerIni: TPlayerIni
  FutureVolume = 12
  FutureLines.Strings = (
    'a')
  FutureItems = <
    item
      Knob = 'x'
    end>
  FutureMode = fmFast
  VoiceTracksFolder = 'D:\Voice\'
  DSPList = <
    item
      T = dspPlugin
      FutureKnob = [a, b]
      DispName = 'Limiter'
    end>
  NowPlayingVis = visHologram
  TrackListSelectTimeout = 500
end
)");
  EXPECT_TRUE(Record->ReadSuccessful());
  EXPECT_EQ(Record->VoiceTracksFolder(), "D:\\Voice\\");
  EXPECT_EQ(Record->TrackListSelectTimeout(), 500);
  ASSERT_EQ(Record->DSPList().Count(), 1);
  EXPECT_EQ(Record->DSPList().Items(0).DispName, "Limiter");
  EXPECT_NE(WriteObjectText(*Record).indexOf("  NowPlayingVis = visNone\r\n"), -1)
      << "a value name the record does not know leaves the value as it was";
}

TEST_F(PlayerIni, TheTrackListTimeoutIsKeptWithinItsRange) {
  const struct {
    const char* Stored;
    qint32 Expected;
  } Cases[] = {{"-5", 750}, {"40000", 30000}, {"30000", 30000}, {"0", 0}, {"-2147483648", 750}};
  for (const auto& C : Cases) {
    const QByteArray Text =
        "object TPlayerIni\n  TrackListSelectTimeout = " + QByteArray(C.Stored) + "\nend\n";
    EXPECT_EQ(ReadFrom(Text.constData())->TrackListSelectTimeout(), C.Expected) << C.Stored;
  }
}

TEST_F(PlayerIni, TheUIDIsDrawnAtRandomUnlessTheFileHoldsOne) {
  std::set<qint32> Drawn;
  for (quint32 Seed = 1; Seed <= 5; ++Seed) {
    QRandomGenerator Generator(Seed);
    const qint32 UID = TPlayerIni(Folders, Boxes, Generator).UID();
    EXPECT_GE(UID, 0);
    EXPECT_LE(UID, 99999);
    Drawn.insert(UID);
  }
  EXPECT_GT(Drawn.size(), 1U);
  EXPECT_EQ(ReadFrom("object TPlayerIni\n  UID = 4242\nend\n")->UID(), 4242);
  EXPECT_EQ(ReadFrom("object TPlayerIni\n  UID = 0\nend\n")->UID(), 0);
}

TEST_F(PlayerIni, TheVoiceTracksFolderIsResolvedAgainstTheSettingsFolder) {
  const struct {
    const char* Stored;  // null: no file
    QString Expected;
  } Cases[] = {
      {nullptr, Folder.Path() + "VoiceTracks"},
      {"'\\VoiceTracks\\'", Folder.Path() + "VoiceTracks"},
      {"'C:\\Audio\\Voice\\'", "C:/Audio/Voice"},
      {"'\\\\studio\\share\\voice\\'", "//studio/share/voice"},
      {"'/srv/voice/'", "/srv/voice"},
      {"'\\'", ""},
      {"''", ""},
  };
  for (const auto& C : Cases) {
    QFile::remove(Folder.File("player.ini"));
    const QByteArray Text =
        "object TPlayerIni\n  VoiceTracksFolder = " + QByteArray(C.Stored ? C.Stored : "") + "\nend\n";
    EXPECT_EQ(ReadFrom(C.Stored ? Text.constData() : nullptr)->GetVoiceTracksFolder(), C.Expected)
        << (C.Stored ? C.Stored : "no file");
  }
}

TEST_F(PlayerIni, AFileThatCannotBeUsedLeavesTheConstructionValuesOrWhatWasRead) {
  {
    SCOPED_TRACE("not object text: as if there were no file");
    const auto Record = ReadFrom("[Player]\nVoiceTracksFolder=D:\\\n");
    EXPECT_TRUE(Record->ReadSuccessful());
    EXPECT_EQ(Record->VoiceTracksFolder(), "\\VoiceTracks\\");
  }
  {
    SCOPED_TRACE("a string list entry that is not a string: what came before stays");
    const auto Record = ReadFrom(
        "object TPlayerIni\n  VoiceTracksFolder = 'D:\\'\n  AutostartCommands.Strings = (\n    1)\nend\n");
    EXPECT_FALSE(Record->ReadSuccessful());
    EXPECT_EQ(Record->ReadErrorText(), "Error reading AutostartCommands.Strings: Invalid property value");
    EXPECT_EQ(Record->VoiceTracksFolder(), "D:\\");
  }
  {
    SCOPED_TRACE("a file that cannot be opened");
    ASSERT_TRUE(QFile::remove(Folder.File("player.ini")));
    ASSERT_TRUE(QDir().mkdir(Folder.File("player.ini")));
    const auto Record = ReadFrom(nullptr);
    EXPECT_FALSE(Record->ReadSuccessful());
    EXPECT_TRUE(
        Record->ReadErrorText().startsWith("Cannot open file \"" + Folder.File("player.ini") + "\". "))
        << Record->ReadErrorText().toStdString();
  }
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

TEST_F(PlayerIni, AMissingOrEmptyFileIsRestoredFromItsBackupCopy) {
  for (const bool Empty : {false, true}) {
    QFile::remove(Folder.File("player.ini"));
    if (Empty) {
      Folder.Write("player.ini", {});
    }
    Folder.Write("player.ini.bak", test::Crlf("object TPlayerIni\n  UID = 77\nend\n"));
    const auto Record = ReadFrom(nullptr);
    EXPECT_EQ(Record->UID(), 77) << Empty;
    EXPECT_EQ(Folder.Read("player.ini"), Folder.Read("player.ini.bak"));
  }
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

}  // namespace
}  // namespace wavenard
