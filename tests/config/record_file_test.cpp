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
enum class TKept { Damaged, Damaged1, Nothing };
enum class TBackupAfter { Kept, Refreshed, Missing };

struct TDamagedSave {
  const char* Case;
  QByteArray Content;
  bool WithBackup;
  // Older kept copies, read-only, take: none (0), ".damaged" (1), or every free name (100).
  int TakenNames;
  bool Saved;
  TKept Kept;
  TBackupAfter Backup;
  int Boxes;
};

class DamagedSave : public ::testing::TestWithParam<TDamagedSave> {};

TEST_P(DamagedSave, NeverLosesTheUsersSettingsAndNeverBlocksASaveThatLosesNothing) {
  const TDamagedSave& C = GetParam();
  test::TTempFolder Folder;
  test::TScriptedBoxPresenter Boxes;
  const QByteArray GoodBackup = "object TSystemRecord\r\n  UserAgent = 'good'\r\nend\r\n";
  const QString Name = Folder.Write("system.ini", C.Content);
  if (C.WithBackup) {
    Folder.Write("system.ini.bak", GoodBackup);
  }
  for (int I = 0; I < C.TakenNames; ++I) {
    const QString Taken = I == 0 ? "system.ini.damaged" : QStringLiteral("system.ini.damaged.%1").arg(I);
    SetMode(Folder.Write(Taken, "older"), 0444);
  }

  TRecordFile File(Name, WithBackup());
  test::TSystemRecord Record;
  EXPECT_THROW(File.Read(Record), ESettingsFailure);
  Record.UserAgent = "studio";
  try {
    File.Write(Record, Boxes);
    EXPECT_TRUE(C.Saved);
  } catch (const EFileFailure& Failure) {
    EXPECT_FALSE(C.Saved) << Failure.Message().toStdString();
    EXPECT_EQ(Failure.Message(), QStringLiteral("Cannot create file \"%1.damaged\". File exists").arg(Name));
  }

  EXPECT_EQ(Folder.Read("system.ini"), C.Saved ? WriteObjectText(Record) : C.Content);
  switch (C.Kept) {
    case TKept::Damaged:
      EXPECT_EQ(Folder.Read("system.ini.damaged"), C.Content);
      break;
    case TKept::Damaged1:
      EXPECT_EQ(Folder.Read("system.ini.damaged"), "older");
      EXPECT_EQ(Folder.Read("system.ini.damaged.1"), C.Content);
      break;
    case TKept::Nothing:
      EXPECT_EQ(QDir(Folder.Path()).entryList({"*.damaged*"}).size(), C.TakenNames);
      break;
  }
  switch (C.Backup) {
    case TBackupAfter::Kept:
      EXPECT_EQ(Folder.Read("system.ini.bak"), GoodBackup) << "the last good settings stay";
      break;
    case TBackupAfter::Refreshed:
      EXPECT_EQ(Folder.Read("system.ini.bak"), Folder.Read("system.ini"));
      break;
    case TBackupAfter::Missing:
      EXPECT_FALSE(QFile::exists(Name + ".bak"));
      break;
  }
  ASSERT_EQ(Boxes.Shown().size(), C.Boxes);
  if (C.Boxes == 1) {
    EXPECT_EQ(
        Boxes.Shown()[0].Text,
        QStringLiteral("The damaged file could not be kept aside: Cannot create file \"%1.damaged\". File "
                       "exists. It is replaced now; its backup copy %1.bak still holds the last good "
                       "settings.")
            .arg(Name));
    EXPECT_EQ(Boxes.Shown()[0].Caption, "Warning");
    EXPECT_EQ(Boxes.Shown()[0].Flags, 0x30);
  }

  if (C.Saved) {
    File.Write(Record, Boxes);
    EXPECT_EQ(Folder.Read("system.ini.bak"), Folder.Read("system.ini")) << "later saves refresh the backup";
    EXPECT_EQ(Boxes.Shown().size(), C.Boxes) << "said once";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedSave,
    ::testing::Values(TDamagedSave{"broken_with_backup", "not object text", true, 0, true, TKept::Damaged,
                                   TBackupAfter::Kept, 0},
                      TDamagedSave{"broken_without_backup", "not object text", false, 0, true, TKept::Damaged,
                                   TBackupAfter::Refreshed, 0},
                      // An empty file holds nothing to keep; the first save leaves the backup it lacked.
                      TDamagedSave{"empty_without_backup", "", false, 0, true, TKept::Nothing,
                                   TBackupAfter::Refreshed, 0},
                      TDamagedSave{"older_read_only_kept_copy", "not object text", true, 1, true,
                                   TKept::Damaged1, TBackupAfter::Kept, 0},
                      TDamagedSave{"no_free_name_with_backup", "not object text", true, 100, true,
                                   TKept::Nothing, TBackupAfter::Kept, 1},
                      // The damaged file is all that is left: the save is refused and says why.
                      TDamagedSave{"no_free_name_without_backup", "not object text", false, 100, false,
                                   TKept::Nothing, TBackupAfter::Missing, 0}),
    [](const auto& AInfo) { return std::string(AInfo.param.Case); });

}  // namespace
}  // namespace wavenard
