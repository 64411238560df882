#include "config/folders.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "config/failures.h"
#include "tests/config/qt_print.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

class Folders : public ::testing::Test {
 protected:
  Folders() {
    QDir(Root.Path()).mkpath("app");
    QDir(Root.Path()).mkpath("bin");
  }

  QString AppFolder() const { return Root.File("app/"); }
  QString UserData() const { return Root.File("user/"); }
  QString SharedData() const { return Root.File("shared/"); }

  TSpecialFolderLookup Lookup() const {
    return [this](int AFolderId) {
      return AFolderId == CSIDL_COMMON_APPDATA ? SharedData()
             : AFolderId == CSIDL_APPDATA      ? UserData()
                                               : QString();
    };
  }

  test::TTempFolder Root;
};

TEST_F(Folders, TheApplicationFolderIsWhereTheExecutableReallyLies) {
  const QString Program = Root.Write("app/wavenard", "");
  EXPECT_EQ(FindApplicationFolder(Program), AppFolder());
  ASSERT_TRUE(QFile::link(Program, Root.File("bin/wavenard")));
  EXPECT_EQ(FindApplicationFolder(Root.File("bin/wavenard")), AppFolder());
  EXPECT_EQ(FindApplicationFolder("/wavenard"), "/");
}

TEST_F(Folders, TheSettingsFolderFollowsUidIni) {
  const struct {
    const char* Case;
    const char* UidIni;  // nullptr: no file
    QString Expected;
    bool UsersOwn;
  } Cases[] = {
      {"no uid.ini", nullptr, AppFolder(), false},
      {"all users", "[Settings]\r\nUID=7\r\nAllusers=A\r\n", SharedData() + "Merrowin/Wavenard_7/", false},
      {"lower-case a", "[Settings]\r\nUID=7\r\nAllusers=a\r\n", UserData() + "Merrowin/Wavenard_7/", true},
      {"no Allusers", "[Settings]\r\nUID=7\r\n", UserData() + "Merrowin/Wavenard_7/", true},
      {"Allusers without UID", "[Settings]\r\nAllusers=A\r\n", AppFolder(), false},
      {"UID in another section", "[Setup]\r\nUID=7\r\n", AppFolder(), false},
  };
  for (const auto& Case : Cases) {
    QFile::remove(Root.File("app/uid.ini"));
    if (Case.UidIni != nullptr) {
      Root.Write("app/uid.ini", Case.UidIni);
    }
    const TFolders Found = TFolders::ForApplicationFolder(AppFolder(), "wavenard", Lookup());
    EXPECT_EQ(Found.ApplicationFolder(), AppFolder()) << Case.Case;
    EXPECT_EQ(Found.SettingsFolder(), Case.Expected) << Case.Case;
    EXPECT_TRUE(QFileInfo(Found.SettingsFolder()).isDir()) << Case.Case;
    EXPECT_EQ(Found.SettingsFile("system.ini"), Case.Expected + "system.ini") << Case.Case;
    EXPECT_EQ(Found.UsersOwnSettings(), Case.UsersOwn) << Case.Case;
  }
}

TEST_F(Folders, WithoutASystemFolderTheSettingsStayBelowTheInstallation) {
  Root.Write("app/uid.ini", "[Settings]\nUID=7\n");
  const TFolders Found =
      TFolders::ForApplicationFolder(AppFolder(), "wavenard", [](int) { return QString(); });
  EXPECT_EQ(Found.SettingsFolder(), AppFolder() + "Merrowin/Wavenard_7/");
  EXPECT_EQ(Found.InstallationId(), "7");
  EXPECT_FALSE(Found.UsersOwnSettings()) << "the installation's folder is everybody's";
}

TEST_F(Folders, TheSiblingProgramKeepsItsSettingsInTheWorkingFolder) {
  Root.Write("app/uid.ini", "[Settings]\nUID=7\n");
  for (const char* Name : {"ostrane", "OSTRANE", "OsTrAnE"}) {
    const QString Program = Root.Write(QStringLiteral("app/") + Name, "");
    const TFolders Found = TFolders::ForExecutable(Program, Lookup());
    EXPECT_EQ(Found.ApplicationFolder(), AppFolder()) << Name;
    EXPECT_EQ(Found.SettingsFolder(), "") << Name;
    EXPECT_EQ(Found.SettingsFile("system.ini"), "system.ini") << Name;
    QFile::remove(Program);
  }
  EXPECT_FALSE(QFileInfo::exists(UserData()));
  const TFolders Own = TFolders::ForExecutable(Root.Write("app/wavenard", ""), Lookup());
  EXPECT_EQ(Own.SettingsFolder(), UserData() + "Merrowin/Wavenard_7/");
}

TEST_F(Folders, AUidIniThatCannotBeReadStopsTheSearch) {
  ASSERT_TRUE(QDir(AppFolder()).mkdir("uid.ini"));
  EXPECT_THROW(TFolders::ForApplicationFolder(AppFolder(), "wavenard", Lookup()), EFileFailure);
}

TEST(ExpandSettingsPath, ResolvesNamesBelowTheSettingsFolder) {
  const TFolders Found("/opt/wavenard/", "/home/u/.config/Merrowin/Wavenard_7/");
  const struct {
    QString Path;
    QString Expected;
  } Cases[] = {
      {R"(\VoiceTracks\)", "/home/u/.config/Merrowin/Wavenard_7/VoiceTracks"},
      {R"(\VoiceTracks)", "/home/u/.config/Merrowin/Wavenard_7/VoiceTracks"},
      {R"(\Voice\Tracks\)", "/home/u/.config/Merrowin/Wavenard_7/Voice/Tracks"},
      {R"(\\server\share\)", "//server/share"},
      {R"(\)", ""},
      {"", ""},
      {R"(D:\Tracks\)", "D:/Tracks"},
      {"/srv/tracks/", "/srv/tracks"},
      {"/srv/tracks", "/srv/tracks"},
      {R"(Tracks\Sub\)", "Tracks/Sub"},
  };
  for (const auto& Case : Cases) {
    EXPECT_EQ(Found.ExpandSettingsPath(Case.Path), Case.Expected) << Case.Path.toStdString();
  }
}

TEST(LanguageFile, LiesBelowTheApplicationFolder) {
  const TFolders Found("/opt/wavenard/", "/home/u/");
  EXPECT_EQ(Found.LanguageFolder("De"), "/opt/wavenard/Lang/De");
  EXPECT_EQ(Found.LanguageFile("De"), "/opt/wavenard/Lang/De/lang.ini");
}

}  // namespace
}  // namespace wavenard
