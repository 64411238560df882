#include "config/record_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>

#include "config/connection_settings.h"
#include "config/failures.h"
#include "config/object_text.h"
#include "tests/config/qt_print.h"
#include "tests/config/test_records.h"
#include "tests/testsupport/scripted_box_presenter.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

void SetMode(const QString& AFileName, mode_t AMode) {
  ASSERT_EQ(::chmod(QFile::encodeName(AFileName).constData(), AMode), 0);
}

TRecordFile::TOptions WithBackup() {
  TRecordFile::TOptions Options;
  Options.KeepsBackup = true;
  return Options;
}

TEST(TRecordFile, ADamagedFileIsKeptAsideOnceBeforeTheFirstSaveReplacesIt) {
  struct Case {
    const char* Name;
    QByteArray Content;
  } Cases[] = {
      {"syntax failure", "not object text"},
      {"bad string list entry", "object TSystemIni\n  VSTFolder.Strings = (\n    1)\nend\n"},
  };
  for (const Case& C : Cases) {
    test::TTempFolder Folder;
    test::TScriptedBoxPresenter Boxes;
    const QString Name = Folder.Write("settings.ini", C.Content);
    TRecordFile File(Name);
    test::TSystemRecord Record;
    EXPECT_THROW(File.Read(Record), ESettingsFailure) << C.Name;
    EXPECT_TRUE(File.Damaged()) << C.Name;

    Record.UserAgent = "studio";
    File.Write(Record, Boxes);
    EXPECT_EQ(Folder.Read("settings.ini.damaged"), C.Content) << C.Name;
    EXPECT_FALSE(File.Damaged());

    Record.UserAgent = "second";
    File.Write(Record, Boxes);
    EXPECT_EQ(Folder.Read("settings.ini.damaged"), C.Content)
        << "a later save keeps the kept file: " << C.Name;
    EXPECT_FALSE(QFile::exists(Name + ".damaged.1")) << C.Name;
    EXPECT_FALSE(QFile::exists(Name + ".bak")) << "no backup for this file: " << C.Name;
    EXPECT_TRUE(Boxes.Shown().isEmpty()) << C.Name;
  }
}

TEST(TRecordFile, AGoodFileIsReadAndReplacedWithoutAKeptCopy) {
  test::TTempFolder Folder;
  test::TScriptedBoxPresenter Boxes;
  const QString Name = Folder.Write("settings.ini", "object TSettings\n  Server = 'a'\nend\n");
  TRecordFile File(Name);
  TSettings Record;
  File.Read(Record);
  EXPECT_EQ(Record.Server(), "a");
  File.Write(Record, Boxes);
  EXPECT_FALSE(QFile::exists(Name + ".damaged"));
}

// What the first save after a damaged read leaves of the damaged file and of the backup copy.
enum class TBackupBefore { None, Good, Empty };
enum class TKept { Damaged, Damaged1, RandomName, Nothing };
enum class TBackupAfter { Kept, Refreshed };

struct TDamagedSave {
  const char* Case;
  QByteArray Content;
  TBackupBefore Backup;
  // Older kept copies, read-only, take: none (0), ".damaged" (1), or every numbered name (100).
  int TakenNames;
  TKept Kept;
  TBackupAfter BackupAfter;
};

class DamagedSave : public ::testing::TestWithParam<TDamagedSave> {};

TEST_P(DamagedSave, NeverLosesTheUsersSettingsAndNeverBlocksTheSave) {
  const TDamagedSave& C = GetParam();
  test::TTempFolder Folder;
  test::TScriptedBoxPresenter Boxes;
  const QByteArray GoodBackup = "object TSystemRecord\r\n  UserAgent = 'good'\r\nend\r\n";
  const QString Name = Folder.Write("system.ini", C.Content);
  if (C.Backup != TBackupBefore::None) {
    Folder.Write("system.ini.bak", C.Backup == TBackupBefore::Good ? GoodBackup : QByteArray());
  }
  for (int I = 0; I < C.TakenNames; ++I) {
    const QString Taken = I == 0 ? "system.ini.damaged" : QStringLiteral("system.ini.damaged.%1").arg(I);
    SetMode(Folder.Write(Taken, "older"), 0444);
  }

  TRecordFile File(Name, WithBackup());
  test::TSystemRecord Record;
  EXPECT_THROW(File.Read(Record), ESettingsFailure);
  Record.UserAgent = "studio";
  File.Write(Record, Boxes);

  EXPECT_EQ(Folder.Read("system.ini"), WriteObjectText(Record));
  switch (C.Kept) {
    case TKept::Damaged:
      EXPECT_EQ(Folder.Read("system.ini.damaged"), C.Content);
      break;
    case TKept::Damaged1:
      EXPECT_EQ(Folder.Read("system.ini.damaged"), "older");
      EXPECT_EQ(Folder.Read("system.ini.damaged.1"), C.Content);
      break;
    case TKept::RandomName: {
      // Past the numbered names, under a name nobody could have taken in advance.
      const QStringList Kept = QDir(Folder.Path()).entryList({"system.ini.damaged.????????"});
      ASSERT_EQ(Kept.size(), 1) << Kept.join(' ').toStdString();
      EXPECT_EQ(Folder.Read(Kept[0]), C.Content);
      EXPECT_EQ(QDir(Folder.Path()).entryList({"*.damaged*"}).size(), C.TakenNames + 1);
      break;
    }
    case TKept::Nothing:
      EXPECT_EQ(QDir(Folder.Path()).entryList({"*.damaged*"}).size(), C.TakenNames);
      break;
  }
  switch (C.BackupAfter) {
    case TBackupAfter::Kept:
      EXPECT_EQ(Folder.Read("system.ini.bak"), GoodBackup) << "the last good settings stay";
      break;
    case TBackupAfter::Refreshed:
      EXPECT_EQ(Folder.Read("system.ini.bak"), Folder.Read("system.ini"));
      break;
  }
  EXPECT_TRUE(Boxes.Shown().isEmpty());

  File.Write(Record, Boxes);
  EXPECT_EQ(Folder.Read("system.ini.bak"), Folder.Read("system.ini")) << "later saves refresh the backup";
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedSave,
    ::testing::Values(TDamagedSave{"broken_with_backup", "not object text", TBackupBefore::Good, 0,
                                   TKept::Damaged, TBackupAfter::Kept},
                      TDamagedSave{"broken_without_backup", "not object text", TBackupBefore::None, 0,
                                   TKept::Damaged, TBackupAfter::Refreshed},
                      // An empty backup holds no settings to keep: the first save gives it the new ones.
                      TDamagedSave{"broken_with_empty_backup", "not object text", TBackupBefore::Empty, 0,
                                   TKept::Damaged, TBackupAfter::Refreshed},
                      // An empty file holds nothing to keep; the first save leaves the backup it lacked.
                      TDamagedSave{"empty_without_backup", "", TBackupBefore::None, 0, TKept::Nothing,
                                   TBackupAfter::Refreshed},
                      TDamagedSave{"older_read_only_kept_copy", "not object text", TBackupBefore::Good, 1,
                                   TKept::Damaged1, TBackupAfter::Kept},
                      TDamagedSave{"every_numbered_name_taken_with_backup", "not object text",
                                   TBackupBefore::Good, 100, TKept::RandomName, TBackupAfter::Kept},
                      TDamagedSave{"every_numbered_name_taken_without_backup", "not object text",
                                   TBackupBefore::None, 100, TKept::RandomName, TBackupAfter::Refreshed}),
    [](const auto& AInfo) { return std::string(AInfo.param.Case); });

}  // namespace
}  // namespace wavenard
