#include <gtest/gtest.h>

#include <QFile>

#include "config/failures.h"
#include "config/record_file.h"
#include "tests/config/test_records.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

TEST(TRecordFile, ADamagedFileIsKeptAsideOnceBeforeTheFirstSaveReplacesIt) {
  struct Case {
    const char* Name;
    QByteArray Content;
  } Cases[] = {
      {"syntax failure", "not object text"},
      {"empty file", ""},
      {"bad string list entry", "object TSystemIni\n  VSTFolder.Strings = (\n    1)\nend\n"},
  };
  for (const Case& C : Cases) {
    test::TTempFolder Folder;
    const QString Name = Folder.Write("settings.ini", C.Content);
    TRecordFile File(Name);
    test::TSystemRecord Record;
    EXPECT_THROW(File.Read(Record), ESettingsFailure) << C.Name;
    EXPECT_TRUE(File.Damaged()) << C.Name;

    Record.UserAgent = "studio";
    File.Write(Record);
    EXPECT_EQ(Folder.Read("settings.ini.damaged"), C.Content) << C.Name;
    EXPECT_FALSE(File.Damaged());

    Record.UserAgent = "second";
    File.Write(Record);
    EXPECT_EQ(Folder.Read("settings.ini.damaged"), C.Content)
        << "a later save keeps the kept file: " << C.Name;
  }
}

TEST(TRecordFile, AGoodFileIsReadAndReplacedWithoutAKeptCopy) {
  test::TTempFolder Folder;
  const QString Name = Folder.Write("settings.ini", "object TConnectionRecord\n  Server = 'a'\nend\n");
  TRecordFile File(Name);
  test::TConnectionRecord Record;
  File.Read(Record);
  EXPECT_EQ(Record.Server(), "a");
  File.Write(Record);
  EXPECT_FALSE(QFile::exists(Name + ".damaged"));
}

}  // namespace
}  // namespace wavenard
