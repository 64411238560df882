// Settings files far larger than any settings are, as a stray or planted file may be. The files
// are sparse, so they cost no disk space however large they claim to be.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include "config/connection_settings.h"
#include "config/connection_settings_file.h"
#include "config/failures.h"
#include "config/file_store.h"
#include "config/player_ini.h"
#include "config/system_ini.h"
#include "tests/config/qt_print.h"
#include "tests/testsupport/scripted_box_presenter.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

constexpr qint64 MiB = 1024 * 1024;

QString NoSpecialFolder(int) {
  return {};
}

class LargeFile : public ::testing::TestWithParam<qint64> {
 protected:
  // A file of the parameter's size that holds nothing but a hole.
  QString Sparse(const QString& AName) {
    QFile File(Folder.File(AName));
    if (!File.open(QIODevice::WriteOnly) || !File.resize(GetParam())) {
      return {};
    }
    return File.fileName();
  }

  QString TooLarge(const QString& AName) const {
    return QStringLiteral("Cannot read file \"%1\". The file is larger than 16 MiB").arg(Folder.File(AName));
  }

  QStringList Entries() const {
    return QDir(Folder.Path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
  }

  test::TTempFolder Folder;
  TFolders Folders{Folder.Path(), Folder.Path()};
  test::TScriptedBoxPresenter Boxes;
};

TEST_P(LargeFile, IsNotReadAndTheFirstSaveReplacesItWithoutAKeptCopy) {
  if (Sparse("system.ini").isEmpty() || Sparse("player.ini").isEmpty() || Sparse("settings.ini").isEmpty()) {
    GTEST_SKIP() << "skipped: this file system holds no sparse file of " << GetParam() << " bytes";
  }

  TSystemIni System(Folders, Boxes, NoSpecialFolder);
  qint32 Tag = 0;
  System.Read(Tag);
  EXPECT_FALSE(System.ReadSuccessful());
  EXPECT_EQ(System.ReadErrorText(), TooLarge("system.ini"));
  EXPECT_EQ(System.MixerFreq, 48000) << "the record keeps its construction values";

  QRandomGenerator Random(7);
  TPlayerIni Player(Folders, Boxes, Random);
  Player.Read();
  EXPECT_FALSE(Player.ReadSuccessful());
  EXPECT_EQ(Player.ReadErrorText(), TooLarge("player.ini"));

  TSettings Settings;
  TSettingsFile SettingsFile(Settings, Folders, Boxes);
  SettingsFile.Read();
  ASSERT_EQ(Boxes.Shown().size(), 1);
  EXPECT_EQ(Boxes.Shown()[0].Text,
            QStringLiteral("Error loading settings: %1.").arg(TooLarge("settings.ini")));

  System.Save();
  SettingsFile.Save();
  EXPECT_EQ(Boxes.Shown().size(), 1) << "both saved";
  EXPECT_TRUE(Folder.Read("system.ini").startsWith("object TSystemIni\r\n"));
  EXPECT_EQ(Folder.Read("system.ini.bak"), Folder.Read("system.ini"));
  EXPECT_TRUE(Folder.Read("settings.ini").startsWith("object TSettings\r\n"));
  EXPECT_EQ(Entries(), (QStringList{"player.ini", "settings.ini", "system.ini", "system.ini.bak"}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, LargeFile, ::testing::Values(16 * MiB + 1, 1024 * MiB, 1024 * 1024 * MiB),
                         [](const auto& AInfo) { return std::to_string(AInfo.param) + "_bytes"; });

TEST(LargeFileLimit, AFileOfExactly16MiBIsStillRead) {
  test::TTempFolder Folder;
  QFile File(Folder.File("system.ini"));
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  ASSERT_TRUE(File.resize(MaxSettingsFileSize));
  File.close();
  qsizetype Size = -1;
  ReadRecordFile(File.fileName(), [&](const QByteArray& AContent) { Size = AContent.size(); });
  EXPECT_EQ(Size, 16 * MiB);
}

}  // namespace
}  // namespace wavenard
