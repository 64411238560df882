#include "config/connection_settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <future>

#include "config/connection_settings.h"
#include "config/failures.h"
#include "config/folders.h"
#include "tests/config/qt_print.h"
#include "tests/config/settings_lock_probe.h"
#include "tests/config/text_helpers.h"
#include "tests/testsupport/scripted_box_presenter.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

mode_t ModeOf(const QString& AFileName) {
  struct stat Info {};
  if (::stat(QFile::encodeName(AFileName).constData(), &Info) != 0) {
    return 0;
  }
  return Info.st_mode & 07777;
}

struct TValues {
  QString Server;
  qint32 Port = 0;
  QString User;
  QString Pass;
  bool operator==(const TValues&) const = default;
};

void PrintTo(const TValues& AValues, std::ostream* AStream) {
  *AStream << '{' << AValues.Server.toStdString() << ", " << AValues.Port << ", "
           << AValues.User.toStdString() << ", " << AValues.Pass.toStdString() << '}';
}

class SettingsFile : public ::testing::Test {
 protected:
  TValues Values() const { return {Settings.Server(), Settings.Port(), Settings.User(), Settings.Pass()}; }
  void Set(const TValues& AValues) {
    Settings.SetServer(AValues.Server);
    Settings.SetPort(AValues.Port);
    Settings.SetUser(AValues.User);
    Settings.SetPass(AValues.Pass);
  }
  QString Name() const { return Folder.File("settings.ini"); }

  test::TTempFolder Folder;
  TFolders Folders{Folder.Path(), Folder.Path()};
  test::TScriptedBoxPresenter Boxes;
  TSettings Settings;
  TSettingsFile File{Settings, Folders, Boxes};
};

TEST_F(SettingsFile, ReadsWhatTheFileHoldsAndSkipsWhatTheRecordLacks) {
  const struct Case {
    const char* Name;
    const char* Text;
    TValues Expected;
  } Cases[] = {
      {"all four",
       "object TSettings\n  Server = 'studio.example'\n  Port = 8080\n  User = 'anna'\n  Pass = "
       "'p''w'\nend\n",
       {"studio.example", 8080, "anna", "p'w"}},
      {"only the port", "object TSettings\n  Port = 0\nend\n", {}},
      {"a property of a newer version",
       "object TSettings\n  Server = 'a'\n  Timeout = 5\n  Port = 81\n  User = 'u'\n  Pass = 'p'\nend\n",
       {"a", 81, "u", "p"}},
      {"a value of the wrong kind",
       "object TSettings\n  Server = 5\n  Port = 'x'\n  User = 'u'\nend\n",
       {"", 0, "u", ""}},
      {"another class name", "object Settings: TOldSettings\n  Port = 1\nend\n", {"", 1, "", ""}},
  };
  for (const Case& C : Cases) {
    TSettings Fresh;
    TSettingsFile FreshFile(Fresh, Folders, Boxes);
    Folder.Write("settings.ini", test::Crlf(C.Text));
    FreshFile.Read();
    EXPECT_EQ((TValues{Fresh.Server(), Fresh.Port(), Fresh.User(), Fresh.Pass()}), C.Expected) << C.Name;
  }
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

TEST_F(SettingsFile, AMissingFileLeavesTheRecordEmptyWithoutABox) {
  File.Read();
  EXPECT_EQ(Values(), TValues{});
  EXPECT_TRUE(Boxes.Shown().isEmpty());
  EXPECT_FALSE(QFile::exists(Name()));
}

TEST_F(SettingsFile, SavesThePortAlwaysAndTextsOnlyWhenNotEmpty) {
  const struct Case {
    TValues Values;
    const char* Text;
  } Cases[] = {
      {{}, "object TSettings\n  Port = 0\nend\n"},
      {{"studio", 8000, "anna", ""},
       "object TSettings\n  Server = 'studio'\n  Port = 8000\n  User = 'anna'\nend\n"},
      {{"", -1, "", "secret"}, "object TSettings\n  Port = -1\n  Pass = 'secret'\nend\n"},
  };
  for (const Case& C : Cases) {
    Set(C.Values);
    File.Save();
    EXPECT_EQ(Folder.Read("settings.ini"), test::Crlf(C.Text));

    TSettings Again;
    Again.SetPass(QStringLiteral("stale"));
    TSettingsFile AgainFile(Again, Folders, Boxes);
    AgainFile.Read();
    EXPECT_EQ((TValues{Again.Server(), Again.Port(), Again.User(), Again.Pass()}),
              (TValues{C.Values.Server, C.Values.Port, C.Values.User,
                       C.Values.Pass.isEmpty() ? "stale" : C.Values.Pass}))
        << "a password left out of the file leaves the record's own";
  }
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

TEST_F(SettingsFile, TheFileIsPrivateToItsOwnerFromTheFirstSaveOnAndClosedAgainWhenOthersMayRead) {
  const mode_t Umask = ::umask(0);
  Set({"studio", 8000, "anna", "secret"});
  File.Save();
  EXPECT_EQ(ModeOf(Name()), 0600U) << "created owner-only whatever the umask";
  File.Save();
  EXPECT_EQ(ModeOf(Name()), 0600U) << "kept on the next save";
  ::umask(Umask);

  // The password must not stay readable by others: an opened-up file is closed again.
  for (const mode_t Open : {0640, 0644, 0666}) {
    ASSERT_EQ(::chmod(QFile::encodeName(Name()).constData(), Open), 0);
    File.Save();
    EXPECT_EQ(ModeOf(Name()), 0600U) << std::oct << Open;
  }
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

TEST_F(SettingsFile, AFileThatCannotBeReadIsReportedAndKeptFromTheNextSave) {
  // A folder in the file's place cannot be read, not even by the administrator.
  ASSERT_TRUE(QDir().mkdir(Name()));
  Set({"typed", 1, "u", "p"});
  File.Read();
  ASSERT_EQ(Boxes.Shown().size(), 1);
  EXPECT_TRUE(Boxes.Shown()[0].Text.startsWith("Error loading settings: Cannot open file \""))
      << Boxes.Shown()[0].Text.toStdString();
  EXPECT_TRUE(Boxes.Shown()[0].Text.endsWith("."));
  EXPECT_EQ(Boxes.Shown()[0].Caption, "Error");
  EXPECT_EQ(Boxes.Shown()[0].Flags, 16);
  EXPECT_EQ(Values(), (TValues{"typed", 1, "u", "p"}));

  Boxes.Clear();
  File.Save();
  ASSERT_EQ(Boxes.Shown().size(), 1);
  EXPECT_TRUE(Boxes.Shown()[0].Text.startsWith("Error saving settings: "))
      << Boxes.Shown()[0].Text.toStdString();
  EXPECT_TRUE(QFileInfo(Name()).isDir());
}

TEST_F(SettingsFile, SavingIntoAReadOnlyFileIsReportedAndLeavesItAsItWas) {
  const QByteArray Old = test::Crlf("object TSettings\n  Server = 'old'\n  Port = 1\nend\n");
  Folder.Write("settings.ini", Old);
  ASSERT_EQ(::chmod(QFile::encodeName(Name()).constData(), 0444), 0);
  Set({"new", 2, "", ""});
  File.Save();
  ASSERT_EQ(Boxes.Shown().size(), 1);
  EXPECT_TRUE(Boxes.Shown()[0].Text.startsWith(
      QStringLiteral("Error saving settings: Cannot create file \"%1\". ").arg(Name())))
      << Boxes.Shown()[0].Text.toStdString();
  EXPECT_TRUE(Boxes.Shown()[0].Text.endsWith("."));
  EXPECT_EQ(Boxes.Shown()[0].Caption, "Error");
  EXPECT_EQ(Boxes.Shown()[0].Flags, 16);
  EXPECT_EQ(Folder.Read("settings.ini"), Old);
}

TEST_F(SettingsFile, ASyntaxFailureGoesToTheCallerAndTheFileIsKeptBeforeTheFirstSave) {
  for (const QByteArray& Broken : {QByteArray("[Settings]\nServer=a\n"), QByteArray()}) {
    Folder.Write("settings.ini", Broken);
    ASSERT_EQ(::chmod(QFile::encodeName(Name()).constData(), 0600), 0);
    TSettings Record;
    Record.SetServer(QStringLiteral("before"));
    TSettingsFile RecordFile(Record, Folders, Boxes);
    EXPECT_THROW(RecordFile.Read(), ESyntaxFailure);
    EXPECT_EQ(Record.Server(), "before");
    EXPECT_TRUE(Boxes.Shown().isEmpty());

    RecordFile.Save();
    EXPECT_EQ(Folder.Read("settings.ini"),
              test::Crlf("object TSettings\n  Server = 'before'\n  Port = 0\nend\n"));
  }
  // The empty file held nothing to keep; the broken one is kept, as private as it was.
  EXPECT_EQ(Folder.Read("settings.ini.damaged"), "[Settings]\nServer=a\n");
  EXPECT_EQ(ModeOf(Name() + ".damaged"), 0600U);
  EXPECT_FALSE(QFile::exists(Name() + ".damaged.1"));
}

TEST_F(SettingsFile, ReadingAndWritingTheTextHoldTheRecordsLock) {
  const TValueAccess Access(Settings);
  auto Other = std::async(std::launch::async, [this] { return TSettingsLockProbe::CouldTake(Settings); });
  EXPECT_FALSE(Other.get());
}

}  // namespace
}  // namespace wavenard
