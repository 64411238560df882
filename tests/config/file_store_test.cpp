#include "config/file_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <new>
#include <stdexcept>

#include "config/failures.h"
#include "support/system_error.h"
#include "tests/config/qt_print.h"
#include "tests/testsupport/scripted_box_presenter.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

mode_t ModeOf(const QString& AFileName) {
  struct stat Info {};
  if (::stat(QFile::encodeName(AFileName).constData(), &Info) != 0) {
    return 0;
  }
  return Info.st_mode & 07777;
}

void SetMode(const QString& AFileName, mode_t AMode) {
  ASSERT_EQ(::chmod(QFile::encodeName(AFileName).constData(), AMode), 0);
}

mode_t CurrentUmask() {
  const mode_t Mask = ::umask(0);
  ::umask(Mask);
  return Mask;
}

class FileStore : public ::testing::Test {
 protected:
  // Every entry of the folder, so a test sees temporary files that were left behind.
  QStringList Entries() const {
    return QDir(Folder.Path())
        .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  }

  void Write(const QString& AFileName, const QByteArray& AContent,
             std::optional<QFileDevice::Permissions> APermissions = std::nullopt) {
    TWriteOptions Options;
    Options.NewFilePermissions = APermissions;
    WriteRecordFile(
        AFileName, [&] { return AContent; }, Options);
  }

  QByteArray Read(const QString& AFileName) {
    QByteArray Content;
    ReadRecordFile(AFileName, [&](const QByteArray& ABytes) { Content = ABytes; });
    return Content;
  }

  test::TTempFolder Folder;
  test::TScriptedBoxPresenter Boxes;
};

TEST_F(FileStore, WritesAndReadsBackEveryByteWithNothingLeftBeside) {
  const QString Name = Folder.File("system.ini");
  const QByteArray Text(
      "\xEF\xBB\xBF"
      "object Settings: TSettings\r\n  Port = 80\r\nend\r\n\0tail",
      52);
  Write(Name, Text);
  EXPECT_EQ(Read(Name), Text);
  Write(Name, "object X\r\nend\r\n");
  EXPECT_EQ(Read(Name), "object X\r\nend\r\n");
  EXPECT_EQ(Entries(), QStringList{"system.ini"});
}

TEST_F(FileStore, NewFilesGetTheAskedPermissionsAndReplacedFilesKeepTheirOwn) {
  const QString Private = Folder.File("settings.ini");
  Write(Private, "a", OwnerOnly);
  EXPECT_EQ(ModeOf(Private), 0600u);

  const QString Plain = Folder.File("system.ini");
  Write(Plain, "a");
  EXPECT_EQ(ModeOf(Plain), 0666u & ~CurrentUmask());

  SetMode(Private, 0640);
  Write(Private, "b", OwnerOnly);
  EXPECT_EQ(ModeOf(Private), 0640u);
  EXPECT_EQ(Folder.Read("settings.ini"), "b");
}

TEST_F(FileStore, AReplacedFileBelongsToTheAdministratorWhoWroteItAndKeepsOnlyTheGroupOfTheirOwnFile) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "only the administrator can set up files of other users";
  }
  struct TCase {
    uid_t Owner;
    gid_t Group;
    gid_t GroupAfter;
  };
  for (const TCase& C : {TCase{0, 4322, 4322}, TCase{4321, 4322, 0}}) {
    const QString Name = Folder.Write("settings.ini", "old");
    ASSERT_EQ(::chown(QFile::encodeName(Name).constData(), C.Owner, C.Group), 0);
    Write(Name, "new");
    struct stat Info {};
    ASSERT_EQ(::stat(QFile::encodeName(Name).constData(), &Info), 0);
    EXPECT_EQ(Info.st_uid, 0u) << "never handed to the owner of the file it replaced";
    EXPECT_EQ(Info.st_gid, C.GroupAfter) << C.Owner;
    EXPECT_EQ(Folder.Read("settings.ini"), "new");
  }
}

TEST_F(FileStore, WritingThroughALinkReplacesTheLinkedFile) {
  const QString Real = Folder.Write("real.ini", "old");
  const QString Link = Folder.File("settings.ini");
  ASSERT_TRUE(QFile::link(Real, Link));
  Write(Link, "new");
  EXPECT_TRUE(QFileInfo(Link).isSymLink());
  EXPECT_EQ(Folder.Read("real.ini"), "new");
}

struct TRefusedTarget {
  const char* Case;
  const char* Name;  // below the test folder
  int Code;
};

class RefusedTargets : public FileStore, public ::testing::WithParamInterface<TRefusedTarget> {};

TEST_P(RefusedTargets, AreRefusedBeforeTheRecordIsRenderedAndLeaveTheOldFile) {
  Folder.Write("file", "old");
  ASSERT_TRUE(QDir(Folder.Path()).mkdir("folder"));
  Folder.Write("readonly.ini", "old");
  SetMode(Folder.File("readonly.ini"), 0444);

  const QString Name = Folder.File(GetParam().Name);
  bool Rendered = false;
  try {
    WriteRecordFile(Name, [&] {
      Rendered = true;
      return QByteArray("new");
    });
    FAIL() << "no failure";
  } catch (const EFileFailure& Failure) {
    EXPECT_EQ(
        Failure.Message(),
        QStringLiteral("Cannot create file \"%1\". %2").arg(Name, SysErrorDescription(GetParam().Code)));
  }
  EXPECT_FALSE(Rendered);
  EXPECT_EQ(Folder.Read("readonly.ini"), "old");
  EXPECT_EQ(Folder.Read("file"), "old");
  EXPECT_EQ(Entries(), (QStringList{"file", "folder", "readonly.ini"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedTargets,
                         ::testing::Values(TRefusedTarget{"read_only_file", "readonly.ini", EACCES},
                                           TRefusedTarget{"folder_in_its_place", "folder", EISDIR},
                                           TRefusedTarget{"path_below_a_file", "file/settings.ini", ENOTDIR}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Case); });

TEST_F(FileStore, AMissingFolderIsReportedAsCannotCreate) {
  const QString Name = Folder.File("missing/settings.ini");
  try {
    Write(Name, "x");
    FAIL() << "no failure";
  } catch (const EFileFailure& Failure) {
    EXPECT_EQ(Failure.Message(),
              QStringLiteral("Cannot create file \"%1\". No such file or directory").arg(Name));
  }
}

TEST_F(FileStore, AFailedRenderLeavesThePreviousFileExactlyAsItWas) {
  const QString Name = Folder.Write("settings.ini", "previous");
  SetMode(Name, 0600);
  EXPECT_THROW(WriteRecordFile(Name, []() -> QByteArray { throw std::runtime_error("render"); }),
               std::runtime_error);
  EXPECT_EQ(Folder.Read("settings.ini"), "previous");
  EXPECT_EQ(ModeOf(Name), 0600u);
  EXPECT_EQ(Entries(), QStringList{"settings.ini"});
}

TEST_F(FileStore, AWriteThatFailsHalfwayLeavesThePreviousFileExactlyAsItWas) {
  const QString Name = Folder.Write("system.ini", "previous");
  // A file-size limit makes the system refuse the rest of the write, as a full disk would.
  rlimit Saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &Saved), 0);
  const auto SavedHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit Small = Saved;
  Small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Small), 0);
  QString Message;
  try {
    Write(Name, QByteArray(100000, 'x'));
  } catch (const EFileFailure& Failure) {
    Message = Failure.Message();
  }
  ::setrlimit(RLIMIT_FSIZE, &Saved);
  std::signal(SIGXFSZ, SavedHandler);

  EXPECT_EQ(Message, QStringLiteral("Cannot write file \"%1\". %2").arg(Name, SysErrorDescription(EFBIG)));
  EXPECT_EQ(Folder.Read("system.ini"), "previous");
  EXPECT_EQ(Entries(), QStringList{"system.ini"});
}

TEST_F(FileStore, FilesThatCannotBeOpenedAreFileFailures) {
  Folder.Write("file", "x");
  ASSERT_TRUE(QDir(Folder.Path()).mkdir("folder"));
  const struct {
    const char* Name;
    int Code;
  } Cases[] = {{"missing.ini", ENOENT}, {"folder", EISDIR}, {"file/settings.ini", ENOTDIR}};
  for (const auto& Case : Cases) {
    const QString Name = Folder.File(Case.Name);
    bool Applied = false;
    try {
      ReadRecordFile(Name, [&](const QByteArray&) { Applied = true; });
      ADD_FAILURE() << Case.Name << ": no failure";
    } catch (const EFileFailure& Failure) {
      EXPECT_EQ(Failure.Message(),
                QStringLiteral("Cannot open file \"%1\". %2").arg(Name, SysErrorDescription(Case.Code)));
    }
    EXPECT_FALSE(Applied) << Case.Name;
  }
}

TEST_F(FileStore, FailuresOfTheReaderPassThroughWithTheirKind) {
  const QString Name = Folder.Write("system.ini", "x");
  EXPECT_THROW(
      ReadRecordFile(Name, [](const QByteArray&) { throw ESyntaxFailure("OBJECT expected on line 1"); }),
      ESyntaxFailure);
  EXPECT_THROW(ReadRecordFile(Name, [](const QByteArray&) { throw EFileFailure("bad entry"); }),
               EFileFailure);
  // A text that needs more memory than there is fails like a file that cannot be read.
  try {
    ReadRecordFile(Name, [](const QByteArray&) { throw std::bad_alloc(); });
    ADD_FAILURE() << "no failure";
  } catch (const EFileFailure& Failure) {
    EXPECT_EQ(Failure.Message(),
              QStringLiteral("Cannot read file \"%1\". %2").arg(Name, SysErrorDescription(ENOMEM)));
  }
}

enum class TFileState { Missing, Empty, Broken, Unreadable, Folder };

struct TRestoreCase {
  const char* Case;
  TFileState State;
  bool WithBackup;
  bool Restored;
};

class Restore : public FileStore, public ::testing::WithParamInterface<TRestoreCase> {};

TEST_P(Restore, CopiesTheBackupOnlyOverAMissingOrEmptyFile) {
  const TRestoreCase& Case = GetParam();
  const QString Name = Folder.File("system.ini");
  QByteArray Before;
  switch (Case.State) {
    case TFileState::Missing:
      break;
    case TFileState::Empty:
      Folder.Write("system.ini", "");
      break;
    case TFileState::Broken:
      Before = "not object text";
      Folder.Write("system.ini", Before);
      break;
    case TFileState::Unreadable:
      // Newer than its backup, perhaps, and only locked for the moment: never replaced.
      Before = "object X\r\nend\r\n";
      Folder.Write("system.ini", Before);
      SetMode(Name, 0);
      break;
    case TFileState::Folder:
      ASSERT_TRUE(QDir(Folder.Path()).mkdir("system.ini"));
      break;
  }
  if (Case.WithBackup) {
    Folder.Write("system.ini.bak", "backup");
  }

  RestoreFromBackup(Name, false, Boxes);

  EXPECT_TRUE(Boxes.Shown().isEmpty());
  if (Case.Restored) {
    EXPECT_EQ(Folder.Read("system.ini"), "backup");
  } else if (Case.State == TFileState::Missing) {
    EXPECT_FALSE(QFileInfo::exists(Name));
  } else if (Case.State == TFileState::Folder) {
    EXPECT_TRUE(QFileInfo(Name).isDir());
  } else {
    SetMode(Name, 0644);
    EXPECT_EQ(Folder.Read("system.ini"), Before);
  }
  if (Case.WithBackup) {
    EXPECT_EQ(Folder.Read("system.ini.bak"), "backup");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Restore,
    ::testing::Values(TRestoreCase{"missing_with_backup", TFileState::Missing, true, true},
                      TRestoreCase{"empty_with_backup", TFileState::Empty, true, true},
                      TRestoreCase{"broken_with_backup", TFileState::Broken, true, false},
                      TRestoreCase{"unreadable_with_backup", TFileState::Unreadable, true, false},
                      TRestoreCase{"folder_with_backup", TFileState::Folder, true, false},
                      TRestoreCase{"missing_without_backup", TFileState::Missing, false, false},
                      TRestoreCase{"empty_without_backup", TFileState::Empty, false, false},
                      TRestoreCase{"broken_without_backup", TFileState::Broken, false, false}),
    [](const auto& AInfo) { return std::string(AInfo.param.Case); });

TEST_F(FileStore, ARestoreTheFileSystemRefusesIsIgnoredWithoutAWord) {
  const QString Name = Folder.Write("system.ini", "");
  SetMode(Name, 0444);
  Folder.Write("system.ini.bak", "backup");
  RestoreFromBackup(Name, false, Boxes);
  RestoreFromBackup(Name, true, Boxes);
  EXPECT_TRUE(Boxes.Shown().isEmpty());
  EXPECT_EQ(Folder.Read("system.ini"), "");
}

TEST_F(FileStore, ARestoredFileIsAsPrivateAsItsBackup) {
  const QString Backup = Folder.Write("settings.ini.bak", "backup");
  SetMode(Backup, 0600);
  RestoreFromBackup(Folder.File("settings.ini"), false, Boxes);
  EXPECT_EQ(ModeOf(Folder.File("settings.ini")), 0600u);
}

TEST_F(FileStore, ARestoreThatCannotEvenTryIsShownOrRaisedWhenSilent) {
  // An empty name with a backup beside the working folder: not a file-system failure.
  const QString Saved = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(Folder.Path()));
  Folder.Write(".bak", "backup");
  RestoreFromBackup(QString(), false, Boxes);
  EXPECT_THROW(RestoreFromBackup(QString(), true, Boxes), ESettingsFailure);
  QDir::setCurrent(Saved);

  ASSERT_EQ(Boxes.Shown().size(), 1);
  EXPECT_EQ(Boxes.Shown()[0].Text,
            "Unable to load file  (The path is empty). Failed to restore file from backup. Loading default "
            "settings.");
  EXPECT_EQ(Boxes.Shown()[0].Caption, "Error");
  EXPECT_EQ(Boxes.Shown()[0].Flags, 16);
}

TEST_F(FileStore, TheBackupIsTheSavedFileByteForByteAndAsPrivate) {
  const QString Name = Folder.File("settings.ini");
  Folder.Write("settings.ini.bak", "older backup");
  Write(Name, QByteArray("object A\r\n  Pass = 'x'\r\nend\r\n\xE9", 30), OwnerOnly);
  BackupFile(Name, Boxes);
  EXPECT_TRUE(Boxes.Shown().isEmpty());
  EXPECT_EQ(Folder.Read("settings.ini.bak"), Folder.Read("settings.ini"));
  EXPECT_EQ(ModeOf(BackupFileName(Name)), 0600u);
  EXPECT_EQ(Entries(), (QStringList{"settings.ini", "settings.ini.bak"}));
}

TEST_F(FileStore, AFailedBackupIsShownAndTheCallerGoesOn) {
  const QString Name = Folder.File("system.ini");
  const QString Backup = Folder.Write("system.ini.bak", "previous backup");
  SetMode(Backup, 0444);
  Write(Name, "saved");
  EXPECT_NO_THROW(BackupFile(Name, Boxes));
  EXPECT_NO_THROW(BackupFile(Folder.File("missing.ini"), Boxes));

  ASSERT_EQ(Boxes.Shown().size(), 2);
  EXPECT_EQ(Boxes.Shown()[0].Text,
            QStringLiteral("Copy failed: %1 (System Error.  Code: 13.\r\nPermission denied)").arg(Backup));
  EXPECT_EQ(Boxes.Shown()[0].Caption, "");
  EXPECT_EQ(Boxes.Shown()[0].Flags, 16);
  EXPECT_EQ(Boxes.Shown()[1].Text,
            QStringLiteral("Copy failed: %1.bak (System Error.  Code: 2.\r\nNo such file or directory)")
                .arg(Folder.File("missing.ini")));
  EXPECT_EQ(Folder.Read("system.ini"), "saved");
  EXPECT_EQ(Folder.Read("system.ini.bak"), "previous backup");
}

TEST_F(FileStore, KeepAsideKeepsTheFileUnderTheFirstFreeNameThroughTheSaveThatReplacesIt) {
  const QString Name = Folder.Write("settings.ini", "damaged");
  SetMode(Name, 0600);
  EXPECT_EQ(KeepAside(Name, ".damaged"), Folder.File("settings.ini.damaged"));
  EXPECT_EQ(Folder.Read("settings.ini.damaged"), "damaged");
  EXPECT_EQ(ModeOf(Folder.File("settings.ini.damaged")), 0600u);
  Write(Name, "defaults");
  EXPECT_EQ(Folder.Read("settings.ini"), "defaults");
  EXPECT_EQ(Folder.Read("settings.ini.damaged"), "damaged");

  // An older kept file is never replaced, even one that may not be written.
  SetMode(Folder.File("settings.ini.damaged"), 0444);
  Folder.Write("settings.ini.damaged.1", "older too");
  Write(Name, "damaged again");
  EXPECT_EQ(KeepAside(Name, ".damaged"), Folder.File("settings.ini.damaged.2"));
  EXPECT_EQ(Folder.Read("settings.ini.damaged"), "damaged");
  EXPECT_EQ(Folder.Read("settings.ini.damaged.1"), "older too");
  EXPECT_EQ(Folder.Read("settings.ini.damaged.2"), "damaged again");
  EXPECT_EQ(Entries(), (QStringList{"settings.ini", "settings.ini.damaged", "settings.ini.damaged.1",
                                    "settings.ini.damaged.2"}));
}

TEST_F(FileStore, KeepAsideKeepsAFileThatCannotBeOpened) {
  // Writable but not readable: its owner may replace it, yet nobody but the administrator can
  // copy it.
  const QString Name = Folder.Write("system.ini", "locked");
  SetMode(Name, 0200);
  EXPECT_TRUE(KeepAside(Name, ".damaged"));
  Write(Name, "defaults");
  EXPECT_EQ(ModeOf(Name), 0200u);
  SetMode(Name, 0600);
  SetMode(Folder.File("system.ini.damaged"), 0600);
  EXPECT_EQ(Folder.Read("system.ini.damaged"), "locked");
  EXPECT_EQ(Folder.Read("system.ini"), "defaults");

  // Nothing can be read from a pipe in the file's place, for the administrator neither: it is kept
  // under a second name all the same, beside the older one.
  const QString Pipe = Folder.File("player.ini");
  ASSERT_EQ(::mkfifo(QFile::encodeName(Pipe).constData(), 0600), 0);
  Folder.Write("player.ini.damaged", "older");
  EXPECT_EQ(KeepAside(Pipe, ".damaged"), Folder.File("player.ini.damaged.1"));
  EXPECT_EQ(Folder.Read("player.ini.damaged"), "older");
  EXPECT_EQ(QFileInfo(Folder.File("player.ini.damaged.1")).isFile(), false);
  EXPECT_TRUE(QFileInfo::exists(Pipe));
  EXPECT_EQ(Entries(), (QStringList{"player.ini", "player.ini.damaged", "player.ini.damaged.1", "system.ini",
                                    "system.ini.damaged"}));
}

TEST_F(FileStore, KeepAsideWithoutAFileDoesNothingAndRefusesAFolder) {
  EXPECT_FALSE(KeepAside(Folder.File("system.ini"), ".damaged"));
  EXPECT_TRUE(Entries().isEmpty());
  ASSERT_TRUE(QDir(Folder.Path()).mkdir("system.ini"));
  try {
    KeepAside(Folder.File("system.ini"), ".damaged");
    FAIL() << "no failure";
  } catch (const EFileFailure& Failure) {
    EXPECT_EQ(
        Failure.Message(),
        QStringLiteral("Cannot create file \"%1.damaged\". Is a directory").arg(Folder.File("system.ini")));
  }
}

}  // namespace
}  // namespace wavenard
