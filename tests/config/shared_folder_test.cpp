// Settings files in folders shared with other users, behind links, and written by an ordinary
// user where the administrator would pass every permission check.
#include <gtest/gtest.h>
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

class SharedFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) {
      GTEST_SKIP() << "skipped: only the administrator can set up files and links of other users";
    }
  }

  // Runs the store helper as the ordinary user nobody, group nogroup, also a member of
  // SharedGroup; returns what it printed.
  QString RunAsNobody(const QStringList& AArguments, int* AExitCode = nullptr) {
    QProcess Process;
    Process.setProcessChannelMode(QProcess::MergedChannels);
    Process.start(QStandardPaths::findExecutable("setpriv"),
                  QStringList{"--reuid=nobody", "--regid=nogroup",
                              QStringLiteral("--groups=%1").arg(SharedGroup), "--", STORE_HELPER} +
                      AArguments);
    EXPECT_TRUE(Process.waitForFinished(60000));
    if (AExitCode != nullptr) {
      *AExitCode = Process.exitCode();
    }
    return QString::fromUtf8(Process.readAll());
  }

  void NeedOrdinaryUser() {
    if (QStandardPaths::findExecutable("setpriv").isEmpty()) {
      GTEST_SKIP() << "skipped: setpriv is missing, the ordinary user's cases cannot run";
    }
    // The ordinary user must reach the folder; each test sets the folder's own mode.
    SetMode(Folder.Path(), 0755);
  }

  QStringList Entries() const {
    return QDir(Folder.Path())
        .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  }

  test::TTempFolder Folder;
  test::TScriptedBoxPresenter Boxes;
};

TEST_F(SharedFolder, ASavedFileKeepsItsGroupAndModeWhenTheSaverMayNotKeepItsOwner) {
  NeedOrdinaryUser();
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
  NeedOrdinaryUser();
  const QByteArray Old = test::Crlf("object TSystemIni\n  MixerFreq = 44100\nend\n");
  const QString Name = Folder.Write("system.ini", Old);
  SetMode(Name, 0666);
  const ino_t Inode = StatOf(Name).st_ino;

  // Without a backup copy that could take the file's content first, nothing is written.
  int Exit = 0;
  EXPECT_EQ(
      RunAsNobody({"system", Folder.Path()}, &Exit),
      QStringLiteral("box: Error saving file (system.ini): Cannot create file \"%1\". Permission denied.\n")
          .arg(Name));
  EXPECT_EQ(Folder.Read("system.ini"), Old);

  SetMode(Folder.Write("system.ini.bak", "older backup"), 0666);
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
            test::Crlf("object TSettings\n  Server = 'saved'\n  Port = 0\nend\n"));
  EXPECT_EQ(StatOf(Settings).st_mode & 07777, 0600u);
}

TEST_F(SharedFolder, AFileWrittenInPlaceThatCannotBeWrittenWholeGetsItsOldContentBack) {
  NeedOrdinaryUser();
  const QByteArray Old = test::Crlf("object TSystemIni\n  MixerFreq = 44100\nend\n");
  SetMode(Folder.Write("system.ini", Old), 0666);
  SetMode(Folder.Write("system.ini.bak", "older backup"), 0666);
  // Room for the old content, not for the whole record: the disk is full halfway through.
  EXPECT_EQ(RunAsNobody({"system", Folder.Path(), "1000"}),
            QStringLiteral("box: Error saving file (system.ini): Cannot write file \"%1\". File too large.\n")
                .arg(Folder.File("system.ini")));
  EXPECT_EQ(Folder.Read("system.ini"), Old);
  EXPECT_EQ(Folder.Read("system.ini.bak"), Old) << "taken before the file was touched";
  EXPECT_EQ(Entries(), (QStringList{"system.ini", "system.ini.bak"}));
}

TEST_F(SharedFolder, ADamagedFileThatCannotBeKeptAsideIsReplacedWhenABackupHoldsTheLastGoodSettings) {
  NeedOrdinaryUser();
  const QString Name = Folder.Write("system.ini", "broken");
  SetMode(Name, 0666);
  const QByteArray Good = test::Crlf("object TSystemIni\n  MixerFreq = 44100\nend\n");
  SetMode(Folder.Write("system.ini.bak", Good), 0666);

  // The folder takes no kept copy; the save goes on, says so once, and the good backup stays.
  const QString Printed = RunAsNobody({"system", Folder.Path()});
  EXPECT_EQ(Printed, QStringLiteral(
                         "box: The damaged file could not be kept aside: Cannot create file \"%1.damaged\". "
                         "Permission denied. It is replaced now; its backup copy %1.bak still holds the last "
                         "good settings.\n")
                         .arg(Name));
  EXPECT_TRUE(Folder.Read("system.ini").startsWith("object TSystemIni\r\n"));
  EXPECT_EQ(Folder.Read("system.ini.bak"), Good);
}

TEST_F(SharedFolder, AKeptCopyInTheWayTakesTheNextFreeName) {
  NeedOrdinaryUser();
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

class SettingsLink : public SharedFolder, public ::testing::WithParamInterface<TLinkCase> {};

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
                      TLinkCase{"folder_owners_link", 0777, OtherUser, OtherUser, true},
                      TLinkCase{"others_link_in_a_private_folder", 0755, 0, OtherUser, true}),
    [](const auto& AInfo) { return std::string(AInfo.param.Case); });

TEST_F(SharedFolder, TheUsersOwnLinkIsFollowedInAFolderOthersMayWrite) {
  NeedOrdinaryUser();
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

}  // namespace
}  // namespace wavenard
