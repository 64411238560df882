// Settings files in folders shared with other users, behind links, and written by an ordinary
// user where the administrator would pass every permission check.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <optional>

#include "config/failures.h"
#include "config/file_store.h"
#include "tests/config/qt_print.h"
#include "tests/config/text_helpers.h"
#include "tests/testsupport/scripted_box_presenter.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

constexpr uid_t OtherUser = 4321;
constexpr uid_t Nobody = 65534;
constexpr gid_t NoGroup = 65534;
// A group the ordinary user of these tests belongs to besides their own.
constexpr gid_t SharedGroup = 100;

// A user a test acts as, by number: no entry in the user database is needed.
struct TUser {
  uid_t Uid;
  gid_t Gid;
  std::optional<gid_t> OtherGroup;
};

// The user whose settings are at stake, and another user of the same machine who wants them.
constexpr TUser Victim{Nobody, NoGroup, SharedGroup};
constexpr TUser Attacker{OtherUser, OtherUser, std::nullopt};
constexpr TUser Administrator{0, 0, std::nullopt};

QByteArray Native(const QString& AName) {
  return QFile::encodeName(AName);
}

struct stat StatOf(const QString& AName) {
  struct stat Info {};
  if (::lstat(Native(AName).constData(), &Info) != 0) {
    ADD_FAILURE() << "no " << AName.toStdString();
  }
  return Info;
}

void Own(const QString& AName, uid_t AUser, gid_t AGroup) {
  ASSERT_EQ(::lchown(Native(AName).constData(), AUser, AGroup), 0) << AName.toStdString();
}

void SetMode(const QString& AName, mode_t AMode) {
  ASSERT_EQ(::chmod(Native(AName).constData(), AMode), 0) << AName.toStdString();
}

// A link of the user's own, or of AOwner.
void Link(const QString& ATarget, const QString& ALink, std::optional<uid_t> AOwner = std::nullopt) {
  ASSERT_EQ(::symlink(Native(ATarget).constData(), Native(ALink).constData()), 0);
  if (AOwner) {
    Own(ALink, *AOwner, *AOwner);
  }
}

QString AnyFailureMessage(const std::function<void()>& AAction) {
  try {
    AAction();
  } catch (const ESettingsFailure& Failure) {
    return Failure.Message();
  }
  return {};
}

// Runs AProgram with AArguments as AUser; returns what it printed, and its exit code in AExitCode.
QString RunAs(const TUser& AUser, const QString& AProgram, const QStringList& AArguments,
              int* AExitCode = nullptr) {
  QStringList Switches{QStringLiteral("--reuid=%1").arg(AUser.Uid),
                       QStringLiteral("--regid=%1").arg(AUser.Gid)};
  Switches << (AUser.OtherGroup ? QStringLiteral("--groups=%1").arg(*AUser.OtherGroup)
                                : QStringLiteral("--clear-groups"));
  QProcess Process;
  Process.setProcessChannelMode(QProcess::MergedChannels);
  Process.start(QStandardPaths::findExecutable("setpriv"),
                Switches + QStringList{"--", AProgram} + AArguments);
  EXPECT_TRUE(Process.waitForFinished(60000));
  if (AExitCode != nullptr) {
    *AExitCode = Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
  }
  return QString::fromUtf8(Process.readAll());
}

// The store helper as AUser: the program's own reads and saves.
QString RunStore(const TUser& AUser, const QStringList& AArguments, int* AExitCode = nullptr) {
  return RunAs(AUser, QStringLiteral(STORE_HELPER), AArguments, AExitCode);
}

// A shell command as AUser, with AArguments as $1, $2 ...; true when it succeeded.
bool ShellAs(const TUser& AUser, const QString& ACommand, const QStringList& AArguments = {},
             QString* AOutput = nullptr) {
  int Exit = -1;
  const QString Output =
      RunAs(AUser, QStringLiteral("/bin/sh"), QStringList{"-c", ACommand, "sh"} + AArguments, &Exit);
  if (AOutput != nullptr) {
    *AOutput = Output;
  }
  return Exit == 0;
}

// The other user leaves a file for everybody to read and write, before the victim's program
// ever saves there.
void Plant(const QString& AName, const QByteArray& AContent) {
  ASSERT_TRUE(
      ShellAs(Attacker, "umask 0 && printf '%s' \"$2\" > \"$1\"", {AName, QString::fromUtf8(AContent)}))
      << AName.toStdString();
}

// What the other user can read of a file; empty when they cannot read it at all.
QByteArray WhatTheAttackerReads(const QString& AName) {
  QString Output;
  return ShellAs(Attacker, "cat \"$1\"", {AName}, &Output) ? Output.toUtf8() : QByteArray();
}

class AsAdministrator : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) {
      GTEST_SKIP() << "skipped: only the administrator can set up files and links of other users";
    }
  }

  QStringList Entries() const {
    return QDir(Folder.Path())
        .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  }

  test::TTempFolder Folder;
  test::TScriptedBoxPresenter Boxes;
};

// Cases where the program runs as an ordinary user, and another user may have been there first.
class SharedFolder : public AsAdministrator {
 protected:
  void SetUp() override {
    AsAdministrator::SetUp();
    if (IsSkipped()) {
      return;
    }
    if (QStandardPaths::findExecutable("setpriv").isEmpty()) {
      GTEST_SKIP() << "skipped: setpriv is missing, the ordinary user's cases cannot run";
    }
    // The ordinary users must reach the folder; each test sets the folder's own mode.
    SetMode(Folder.Path(), 0755);
  }

  // The store helper as the victim, who also belongs to SharedGroup.
  QString RunAsNobody(const QStringList& AArguments, int* AExitCode = nullptr) {
    return RunStore(Victim, AArguments, AExitCode);
  }
};

TEST_F(SharedFolder, ASavedFileKeepsItsGroupAndModeWhenTheSaverMayNotKeepItsOwner) {
  SetMode(Folder.Path(), 0777);
  const QString Name =
      Folder.Write("system.ini", test::Crlf("object TSystemIni\n  MixerFreq = 44100\nend\n"));
  Own(Name, 0, SharedGroup);
  SetMode(Name, 0664);

  EXPECT_EQ(RunAsNobody({"system", Folder.Path()}), "");
  for (const char* File : {"system.ini", "system.ini.bak"}) {
    const struct stat Info = StatOf(Folder.File(File));
    EXPECT_EQ(Info.st_uid, Nobody) << File;
    EXPECT_EQ(Info.st_gid, SharedGroup) << File << ": the others of the group keep their access";
    EXPECT_EQ(Info.st_mode & 07777, 0664u) << File;
  }
  EXPECT_TRUE(Folder.Read("system.ini").contains("MixerFreq = 44100\r\n  ProduceSilence"));
}

TEST_F(SharedFolder, AWritableFileInAFolderTheUserMayNotWriteIsWrittenInPlaceAfterItsBackup) {
  const QByteArray Old = test::Crlf("object TSystemIni\n  MixerFreq = 44100\nend\n");
  const QString Name = Folder.Write("system.ini", Old);
  Own(Name, Nobody, NoGroup);
  SetMode(Name, 0666);
  const ino_t Inode = StatOf(Name).st_ino;

  // Without a backup copy that could take the file's content first, nothing is written.
  int Exit = 0;
  EXPECT_EQ(
      RunAsNobody({"system", Folder.Path()}, &Exit),
      QStringLiteral("box: Error saving file (system.ini): Cannot create file \"%1\". Permission denied.\n")
          .arg(Name));
  EXPECT_EQ(Folder.Read("system.ini"), Old);

  const QString Backup = Folder.Write("system.ini.bak", "older backup");
  Own(Backup, Nobody, NoGroup);
  EXPECT_EQ(RunAsNobody({"system", Folder.Path()}), "");
  const QByteArray Saved = Folder.Read("system.ini");
  EXPECT_TRUE(Saved.contains("MixerFreq = 44100\r\n  ProduceSilence"));
  EXPECT_EQ(Folder.Read("system.ini.bak"), Saved);
  EXPECT_EQ(StatOf(Name).st_ino, Inode) << "the same file, written where it is";
  EXPECT_EQ(Entries(), (QStringList{"system.ini", "system.ini.bak"}));

  // The user's own private file there: written in place, and closed to others again.
  const QString Settings = Folder.Write("settings.ini", "object TSettings\r\nend\r\n");
  Own(Settings, Nobody, NoGroup);
  SetMode(Settings, 0644);
  EXPECT_EQ(RunAsNobody({"settings", Folder.Path()}), "");
  EXPECT_EQ(Folder.Read("settings.ini"),
            test::Crlf("object TSettings\n  Server = 'saved'\n  Port = 0\n  Pass = 'station-secret'\nend\n"));
  EXPECT_EQ(StatOf(Settings).st_mode & 07777, 0600u);
}

TEST_F(SharedFolder, AnotherUsersFileInAFolderTheUserMayNotWriteIsNeverWrittenInto) {
  // Files of the folder's owner that everybody may write, as an administrator may leave them.
  const QByteArray Old = test::Crlf("object TSystemIni\n  MixerFreq = 44100\nend\n");
  const QString Name = Folder.Write("system.ini", Old);
  SetMode(Name, 0666);
  SetMode(Folder.Write("system.ini.bak", Old), 0666);
  const QString Settings = Folder.Write("settings.ini", "object TSettings\r\nend\r\n");
  SetMode(Settings, 0666);

  EXPECT_EQ(RunAsNobody({"system", Folder.Path()}),
            QStringLiteral("box: Error saving file (system.ini): Cannot replace file \"%1\". It belongs to "
                           "another user, \"root\" (uid 0), and the folder does not let it be replaced.\n")
                .arg(Name));
  EXPECT_EQ(RunAsNobody({"settings", Folder.Path()}),
            QStringLiteral("box: Error saving settings: Cannot replace file \"%1\". It belongs to another "
                           "user, \"root\" (uid 0), and the folder does not let it be replaced.\n")
                .arg(Settings));
  EXPECT_EQ(Folder.Read("system.ini"), Old);
  EXPECT_EQ(Folder.Read("system.ini.bak"), Old);
  EXPECT_EQ(Folder.Read("settings.ini"), "object TSettings\r\nend\r\n");
  EXPECT_EQ(Entries(), (QStringList{"settings.ini", "system.ini", "system.ini.bak"}));
}

TEST_F(SharedFolder, AFileWrittenInPlaceThatCannotBeWrittenWholeGetsItsOldContentBack) {
  const QByteArray Old = test::Crlf("object TSystemIni\n  MixerFreq = 44100\nend\n");
  Own(Folder.Write("system.ini", Old), Nobody, NoGroup);
  Own(Folder.Write("system.ini.bak", "older backup"), Nobody, NoGroup);
  // Room for the old content, not for the whole record: the disk is full halfway through.
  EXPECT_EQ(RunAsNobody({"system", Folder.Path(), "1000"}),
            QStringLiteral("box: Error saving file (system.ini): Cannot write file \"%1\". File too large.\n")
                .arg(Folder.File("system.ini")));
  EXPECT_EQ(Folder.Read("system.ini"), Old);
  EXPECT_EQ(Folder.Read("system.ini.bak"), Old) << "taken before the file was touched";
  EXPECT_EQ(Entries(), (QStringList{"system.ini", "system.ini.bak"}));
}

// A damaged file the folder takes no kept copy of, beside a backup copy of some kind.
struct TNotKeptCase {
  const char* Case;
  QByteArray Backup;
  uid_t BackupOwner;
  mode_t BackupMode;
  bool Replaced;
};

class DamagedFileNotKept : public SharedFolder, public ::testing::WithParamInterface<TNotKeptCase> {};

TEST_P(DamagedFileNotKept, IsReplacedOnlyWhenTheBackupReallyHoldsTheLastGoodSettings) {
  const TNotKeptCase& C = GetParam();
  const QString Name = Folder.Write("system.ini", "broken");
  Own(Name, Nobody, NoGroup);
  const QString Backup = Folder.Write("system.ini.bak", C.Backup);
  Own(Backup, C.BackupOwner, C.BackupOwner);
  SetMode(Backup, C.BackupMode);

  const QString Printed = RunAsNobody({"system", Folder.Path()});
  if (C.Replaced) {
    // The save goes on, says so once, and the good backup stays.
    EXPECT_EQ(
        Printed,
        QStringLiteral("box: The damaged file could not be kept aside: Cannot create file \"%1.damaged\". "
                       "Permission denied. It is replaced now; its backup copy %1.bak still holds the last "
                       "good settings.\n")
            .arg(Name));
    EXPECT_TRUE(Folder.Read("system.ini").startsWith("object TSystemIni\r\n"));
  } else {
    // The damaged file is all that is left of the user's settings.
    EXPECT_EQ(
        Printed,
        QStringLiteral("box: Error saving file (system.ini): Cannot create file \"%1.damaged\". Permission "
                       "denied.\n")
            .arg(Name));
    EXPECT_EQ(Folder.Read("system.ini"), "broken");
  }
  EXPECT_EQ(Folder.Read("system.ini.bak"), C.Backup);
}

const QByteArray GoodSystemIni = test::Crlf("object TSystemIni\n  MixerFreq = 44100\nend\n");

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedFileNotKept,
    ::testing::Values(TNotKeptCase{"good_backup", GoodSystemIni, Nobody, 0600, true},
                      TNotKeptCase{"empty_backup", "", Nobody, 0600, false},
                      TNotKeptCase{"unreadable_backup", GoodSystemIni, Nobody, 0200, false},
                      TNotKeptCase{"backup_of_another_user", GoodSystemIni, OtherUser, 0666, false}),
    [](const auto& AInfo) { return std::string(AInfo.param.Case); });

TEST_F(SharedFolder, AKeptCopyInTheWayTakesTheNextFreeName) {
  SetMode(Folder.Path(), 0777);
  SetMode(Folder.Write("system.ini", "broken"), 0666);
  SetMode(Folder.Write("system.ini.damaged", "older"), 0444);
  SetMode(Folder.Write("system.ini.bak", "good"), 0666);
  EXPECT_EQ(RunAsNobody({"system", Folder.Path()}), "");
  EXPECT_EQ(Folder.Read("system.ini.damaged"), "older");
  EXPECT_EQ(Folder.Read("system.ini.damaged.1"), "broken");
  EXPECT_TRUE(Folder.Read("system.ini").startsWith("object TSystemIni\r\n"));
}

class Links : public ::testing::Test {
 protected:
  test::TTempFolder Folder;
  test::TScriptedBoxPresenter Boxes;
};

TEST_F(Links, ALinkToAFileNotYetThereIsWrittenThroughInSaveAndRestore) {
  ASSERT_TRUE(QDir(Folder.Path()).mkdir("elsewhere"));
  const QString Settings = Folder.File("settings.ini");
  Link(Folder.File("elsewhere/settings.ini"), Settings);
  WriteRecordFile(Settings, [] { return QByteArray("saved"); });
  EXPECT_TRUE(QFileInfo(Settings).isSymLink());
  EXPECT_EQ(Folder.Read("elsewhere/settings.ini"), "saved");

  const QString System = Folder.File("system.ini");
  Link("elsewhere/system.ini", System);  // relative to the link's folder
  Folder.Write("system.ini.bak", "backup");
  RestoreFromBackup(System, false, Boxes);
  EXPECT_TRUE(QFileInfo(System).isSymLink());
  EXPECT_EQ(Folder.Read("elsewhere/system.ini"), "backup");
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

TEST_F(Links, CopiesAreNeverWrittenOrReadThroughALink) {
  const QString Secret = Folder.Write("secret", "secret");
  const QString Name = Folder.File("system.ini");
  Link(Secret, Folder.File("system.ini.bak"));

  // Restoring would copy the linked file into the settings.
  RestoreFromBackup(Name, false, Boxes);
  EXPECT_FALSE(QFileInfo::exists(Name));

  // The backup takes the link's place; the linked file stays.
  WriteRecordFile(Name, [] { return QByteArray("saved"); });
  BackupFile(Name, Boxes);
  EXPECT_FALSE(QFileInfo(Folder.File("system.ini.bak")).isSymLink());
  EXPECT_EQ(Folder.Read("system.ini.bak"), "saved");
  EXPECT_EQ(Folder.Read("secret"), "secret");

  // A link in the kept copy's place is passed over like any taken name.
  Link(Secret, Folder.File("system.ini.damaged"));
  EXPECT_EQ(KeepAside(Name, ".damaged"), Folder.File("system.ini.damaged.1"));
  EXPECT_EQ(Folder.Read("system.ini.damaged.1"), "saved");
  EXPECT_EQ(Folder.Read("secret"), "secret");
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

struct TLinkCase {
  const char* Case;
  mode_t FolderMode;
  uid_t FolderOwner;
  uid_t LinkOwner;
  bool Followed;
};

class SettingsLink : public AsAdministrator, public ::testing::WithParamInterface<TLinkCase> {};

TEST_P(SettingsLink, IsFollowedOnlyWhenNobodyElseCouldHavePlantedIt) {
  const TLinkCase& C = GetParam();
  test::TTempFolder Elsewhere;
  const QString Target = Elsewhere.Write("system.ini", "theirs");
  const QString Name = Folder.File("system.ini");
  Link(Target, Name, C.LinkOwner);
  SetMode(Folder.Path(), C.FolderMode);
  Own(Folder.Path(), C.FolderOwner, C.FolderOwner);

  QByteArray Read;
  const QString ReadFailure =
      AnyFailureMessage([&] { ReadRecordFile(Name, [&](const QByteArray& AContent) { Read = AContent; }); });
  const QString WriteFailure =
      AnyFailureMessage([&] { WriteRecordFile(Name, [] { return QByteArray("ours"); }); });
  if (C.Followed) {
    EXPECT_EQ(Read, "theirs");
    EXPECT_EQ(WriteFailure, "");
    EXPECT_EQ(Elsewhere.Read("system.ini"), "ours");
  } else {
    EXPECT_EQ(ReadFailure, QStringLiteral("Cannot open file \"%1\". Permission denied").arg(Name));
    EXPECT_EQ(WriteFailure, QStringLiteral("Cannot create file \"%1\". Permission denied").arg(Name));
    EXPECT_EQ(Elsewhere.Read("system.ini"), "theirs");
  }
  EXPECT_TRUE(QFileInfo(Name).isSymLink());
  Own(Folder.Path(), 0, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsLink,
    ::testing::Values(TLinkCase{"others_link_in_a_shared_folder", 0777, 0, OtherUser, false},
                      TLinkCase{"others_link_in_a_group_folder", 0775, 0, OtherUser, false},
                      TLinkCase{"roots_link_in_a_shared_folder", 0777, 0, 0, true},
                      // Whoever owns a folder of the user's settings does not choose where they go.
                      TLinkCase{"folder_owners_link", 0777, OtherUser, OtherUser, false},
                      TLinkCase{"folder_owners_link_in_a_folder_only_they_may_write", 0755, OtherUser,
                                OtherUser, false},
                      TLinkCase{"others_link_in_a_private_folder", 0755, 0, OtherUser, true}),
    [](const auto& AInfo) { return std::string(AInfo.param.Case); });

TEST_F(SharedFolder, TheUsersOwnLinkIsFollowedInAFolderOthersMayWrite) {
  SetMode(Folder.Path(), 0777);
  ASSERT_TRUE(QDir(Folder.Path()).mkdir("mine"));
  const QString Target = Folder.Write("mine/system.ini", "mine");
  SetMode(Target, 0644);
  Link(Target, Folder.File("system.ini"), Nobody);
  EXPECT_EQ(RunAsNobody({"read", Folder.File("system.ini")}), "mine");
  Own(Folder.File("system.ini"), OtherUser, OtherUser);
  EXPECT_EQ(
      RunAsNobody({"read", Folder.File("system.ini")}),
      QStringLiteral("failure: Cannot open file \"%1\". Permission denied\n").arg(Folder.File("system.ini")));
}

// How the store names another user in its refusals.
QString OwnerText(uid_t AOwner) {
  const struct passwd* Entry = ::getpwuid(AOwner);
  return Entry != nullptr
             ? QStringLiteral("\"%1\" (uid %2)").arg(QString::fromLocal8Bit(Entry->pw_name)).arg(AOwner)
             : QStringLiteral("uid %1").arg(AOwner);
}

QString NotReplaced(const QString& AName, uid_t AOwner) {
  return QStringLiteral(
             "Cannot replace file \"%1\". It belongs to another user, %2, and the folder does not let "
             "it be replaced")
      .arg(AName, OwnerText(AOwner));
}

// A "settings.ini" the other user left, empty or valid and open to everybody, before the
// victim's first save.
struct TPlantedSettings {
  const char* Case;
  QByteArray Planted;
  mode_t FolderMode;
  uid_t FolderOwner;
  TUser Saver;
  bool Replaced;
};

class PlantedSettingsFile : public SharedFolder, public ::testing::WithParamInterface<TPlantedSettings> {};

TEST_P(PlantedSettingsFile, NeverReceivesThePasswordAndIsNeverHandedOver) {
  const TPlantedSettings& C = GetParam();
  SetMode(Folder.Path(), C.FolderMode);
  Own(Folder.Path(), C.FolderOwner, C.FolderOwner);
  const QString Name = Folder.File("settings.ini");
  Plant(Name, C.Planted);
  // The other user may hold the planted file open to read whatever is ever written into it.
  QFile Planted(Name);
  ASSERT_TRUE(Planted.open(QIODevice::ReadOnly));

  const QString Printed = RunStore(C.Saver, {"settings", Folder.Path()});
  EXPECT_FALSE(Planted.readAll().contains("station-secret"));
  EXPECT_FALSE(WhatTheAttackerReads(Name).contains("station-secret"));
  const struct stat Info = StatOf(Name);
  if (C.Replaced) {
    EXPECT_FALSE(Printed.contains("box:")) << Printed.toStdString();
    EXPECT_EQ(Info.st_uid, C.Saver.Uid);
    EXPECT_EQ(Info.st_mode & 07777, 0600u);
    EXPECT_TRUE(Folder.Read("settings.ini").contains("station-secret"));
  } else {
    EXPECT_TRUE(Printed.endsWith(
        QStringLiteral("box: Error saving settings: %1.\n").arg(NotReplaced(Name, OtherUser))))
        << Printed.toStdString();
    EXPECT_EQ(Info.st_uid, OtherUser);
    EXPECT_EQ(Folder.Read("settings.ini"), C.Planted);
  }
  EXPECT_EQ(Entries(), QStringList{"settings.ini"}) << "nothing written beside it";
  Own(Folder.Path(), 0, 0);
}

const QByteArray ValidSettings =
    test::Crlf("object TSettings\n  Server = 'station.example'\n  Port = 80\nend\n");

INSTANTIATE_TEST_SUITE_P(
    Cases, PlantedSettingsFile,
    ::testing::Values(
        // The rename over it is refused there: the save is refused, naming the owner.
        TPlantedSettings{"empty_in_a_sticky_folder", "", 01777, 0, Victim, false},
        TPlantedSettings{"valid_in_a_sticky_folder", ValidSettings, 01777, 0, Victim, false},
        TPlantedSettings{"in_the_users_own_sticky_folder", "", 01777, Nobody, Victim, true},
        TPlantedSettings{"in_a_folder_everybody_may_write", ValidSettings, 0777, 0, Victim, true},
        TPlantedSettings{"saved_by_the_administrator", ValidSettings, 01777, 0, Administrator, true}),
    [](const auto& AInfo) { return std::string(AInfo.param.Case); });

class PlantedBackup : public SharedFolder, public ::testing::WithParamInterface<TUser> {};

TEST_P(PlantedBackup, NeverReceivesTheDatabasePassword) {
  const TUser& Saver = GetParam();
  SetMode(Folder.Path(), 01777);
  const QString Name =
      Folder.Write("system.ini",
                   test::Crlf("object TSystemIni\n  MySqlUser = 'studio'\n  MySqlPass = 'db-secret'\nend\n"));
  Own(Name, Saver.Uid, Saver.Gid);
  SetMode(Name, 0600);
  const QString Backup = Folder.File("system.ini.bak");
  Plant(Backup, "");
  QFile Planted(Backup);
  ASSERT_TRUE(Planted.open(QIODevice::ReadOnly));

  const QString Printed = RunStore(Saver, {"system", Folder.Path()});
  EXPECT_FALSE(Planted.readAll().contains("db-secret"));
  EXPECT_FALSE(WhatTheAttackerReads(Backup).contains("db-secret"));
  EXPECT_TRUE(Folder.Read("system.ini").contains("MySqlPass = 'db-secret'"));
  const struct stat Info = StatOf(Backup);
  if (Saver.Uid == 0) {
    // The administrator may replace it: the copy is theirs and as private as the file.
    EXPECT_EQ(Printed, "");
    EXPECT_EQ(Info.st_uid, 0u);
    EXPECT_EQ(Info.st_mode & 07777, 0600u);
    EXPECT_EQ(Folder.Read("system.ini.bak"), Folder.Read("system.ini"));
  } else {
    EXPECT_EQ(Printed,
              QStringLiteral("box: Copy failed: %1 (It belongs to another user, %2, and the folder does "
                             "not let it be replaced)\n")
                  .arg(Backup, OwnerText(OtherUser)));
    EXPECT_EQ(Info.st_uid, OtherUser);
    EXPECT_EQ(Folder.Read("system.ini.bak"), "");
  }
  EXPECT_EQ(Entries(), (QStringList{"system.ini", "system.ini.bak"}));
}

INSTANTIATE_TEST_SUITE_P(Savers, PlantedBackup, ::testing::Values(Victim, Administrator),
                         [](const auto& AInfo) { return AInfo.param.Uid == 0 ? "administrator" : "user"; });

struct TRestoreCase {
  const char* Case;
  TUser Reader;
  bool Planted;
};

class BackupToRestoreFrom : public SharedFolder, public ::testing::WithParamInterface<TRestoreCase> {};

TEST_P(BackupToRestoreFrom, IsUsedOnlyWhenItIsTheUsersOwn) {
  const TRestoreCase& C = GetParam();
  SetMode(Folder.Path(), 01777);
  const QString Backup = Folder.File("system.ini.bak");
  const QByteArray Text = test::Crlf("object TSystemIni\n  MySqlHost = 'db.example'\nend\n");
  if (C.Planted) {
    Plant(Backup, Text);
  } else {
    Folder.Write("system.ini.bak", Text);
    Own(Backup, C.Reader.Uid, C.Reader.Gid);
    SetMode(Backup, 0600);
  }

  const QString Printed = RunStore(C.Reader, {"system-read", Folder.Path()});
  if (C.Planted) {
    EXPECT_EQ(Printed, "MySqlHost: \n") << "the other user's values are never loaded";
    EXPECT_FALSE(QFileInfo::exists(Folder.File("system.ini")));
  } else {
    EXPECT_EQ(Printed, "MySqlHost: db.example\n");
    EXPECT_EQ(Folder.Read("system.ini"), Text);
    EXPECT_EQ(StatOf(Folder.File("system.ini")).st_uid, C.Reader.Uid);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BackupToRestoreFrom,
                         ::testing::Values(TRestoreCase{"planted_read_by_the_user", Victim, true},
                                           TRestoreCase{"planted_read_by_the_administrator", Administrator,
                                                        true},
                                           TRestoreCase{"the_users_own", Victim, false}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Case); });

// The settings folder belongs to the other user, who lays out names there that lead to the
// victim's own files, beside an empty backup copy.
class FolderOfAnotherUser : public SharedFolder, public ::testing::WithParamInterface<bool> {};

TEST_P(FolderOfAnotherUser, NeverLeadsTheSaveToTheUsersOtherFiles) {
  const bool HardLinks = GetParam();
  test::TTempFolder Home;
  SetMode(Home.Path(), 0755);
  Own(Home.Path(), Nobody, NoGroup);
  const QByteArray Shell = "export PATH=$HOME/bin:$PATH\n";
  const QString Bashrc = Home.Write(".bashrc", Shell);
  const QString Profile = Home.Write(".profile", Shell);
  for (const QString& File : {Bashrc, Profile}) {
    Own(File, Nobody, NoGroup);
    SetMode(File, 0644);
  }
  Own(Folder.Path(), OtherUser, OtherUser);
  const QString Name = Folder.File("system.ini");
  QString Expected;
  if (HardLinks) {
    // As a system without protected hard links lets the folder's owner lay them out.
    ASSERT_EQ(::link(Native(Bashrc).constData(), Native(Name).constData()), 0);
    ASSERT_EQ(::link(Native(Profile).constData(), Native(Name + ".bak").constData()), 0);
    Expected =
        QStringLiteral("box: Error saving file (system.ini): Cannot create file \"%1\". Permission denied.\n")
            .arg(Name);
  } else {
    ASSERT_TRUE(ShellAs(Attacker, "ln -s \"$1\" \"$2\" && : > \"$2.bak\"", {Bashrc, Name}));
    Expected =
        QStringLiteral(
            "box: Error saving file (system.ini): Cannot create file \"%1.damaged\". Permission denied.\n")
            .arg(Name);
  }

  EXPECT_EQ(RunStore(Victim, {"system", Folder.Path()}), Expected);
  EXPECT_EQ(Home.Read(".bashrc"), Shell);
  EXPECT_EQ(Home.Read(".profile"), Shell);
  Own(Folder.Path(), 0, 0);
}

INSTANTIATE_TEST_SUITE_P(Names, FolderOfAnotherUser, ::testing::Bool(), [](const auto& AInfo) {
  return AInfo.param ? "hard_links" : "link_and_empty_backup";
});

TEST_F(SharedFolder, KeptNamesTakenInAdvanceNeverBlockTheSaveOfADamagedFile) {
  SetMode(Folder.Path(), 01777);
  const QByteArray Damaged = "[Settings]\nServer=a\n";
  const QString Name = Folder.Write("settings.ini", Damaged);
  Own(Name, Nobody, NoGroup);
  SetMode(Name, 0600);
  ASSERT_TRUE(ShellAs(
      Attacker, "umask 0 && : > \"$1\" && i=1 && while [ $i -lt 100 ]; do : > \"$1.$i\"; i=$((i+1)); done",
      {Name + ".damaged"}));

  const QString Printed = RunStore(Victim, {"settings", Folder.Path()});
  EXPECT_FALSE(Printed.contains("box:")) << Printed.toStdString();
  EXPECT_TRUE(Folder.Read("settings.ini").contains("station-secret"));
  const QStringList Kept = QDir(Folder.Path()).entryList({"settings.ini.damaged.????????"});
  ASSERT_EQ(Kept.size(), 1) << Kept.join(' ').toStdString();
  EXPECT_EQ(Folder.Read(Kept[0]), Damaged);
  const struct stat Info = StatOf(Folder.File(Kept[0]));
  EXPECT_EQ(Info.st_uid, Nobody);
  EXPECT_EQ(Info.st_mode & 07777, 0600u);
  EXPECT_EQ(Entries().size(), 102);
}

}  // namespace
}  // namespace wavenard
