#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "config/failures.h"
#include "config/pinned_keys.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

const QByteArray PinA = "sha256//" + QByteArray(32, 'a').toBase64();
const QByteArray PinB = "sha256//" + QByteArray(32, 'b').toBase64();

TEST(PinnedKeys, FindsByHostAndPortAndKeepsLinesItDoesNotKnow) {
  test::TTempFolder Folder;
  const QByteArray Text =
      "# kept\r\n"
      "Station.Example:443 " +
      PinA +
      "\n"
      "short:1 sha256//" +
      QByteArray(16, 'x').toBase64() +
      "\n"
      "noport " +
      PinB +
      "\n"
      "[::1]:8443 " +
      PinB + "\n";
  const QString File = Folder.Write(u"pins"_qs, Text);
  TPinnedKeys Pins(File);
  Pins.Load();
  EXPECT_EQ(Pins.Find(u"station.example"_qs, 443), PinA);
  EXPECT_EQ(Pins.Find(u"station.example"_qs, 8443), QByteArray());
  EXPECT_EQ(Pins.Find(u"short"_qs, 1), QByteArray());
  EXPECT_EQ(Pins.Find(u"[::1]"_qs, 8443), PinB);

  Pins.Pin(u"other.example"_qs, 443, PinB);
  Pins.Pin(u"STATION.example"_qs, 443, PinB);
  EXPECT_EQ(Pins.Find(u"station.example"_qs, 443), PinB);
  const QByteArray Written = Folder.Read(u"pins"_qs);
  EXPECT_EQ(Written,
            "# kept\n"
            "station.example:443 " +
                PinB +
                "\n"
                "short:1 sha256//" +
                QByteArray(16, 'x').toBase64() +
                "\n"
                "noport " +
                PinB +
                "\n"
                "[::1]:8443 " +
                PinB +
                "\n"
                "other.example:443 " +
                PinB + "\n");
  EXPECT_THROW(Pins.Pin(u"x"_qs, 1, "md5//abc"), EFileFailure);
}

// A name that cannot be read as a file (here a folder, which even root cannot read as one).
TEST(PinnedKeys, AFileThatCannotBeReadIsNeverReplaced) {
  test::TTempFolder Folder;
  ASSERT_TRUE(QDir(Folder.Path()).mkdir(u"pins"_qs));
  TPinnedKeys Pins(Folder.File(u"pins"_qs));
  EXPECT_THROW(Pins.Load(), EFileFailure);
  EXPECT_THROW(Pins.Pin(u"b"_qs, 2, PinB), EFileFailure);
  EXPECT_TRUE(QFileInfo(Folder.File(u"pins"_qs)).isDir());
}

TEST(PinnedKeys, ANewFileIsPrivate) {
  test::TTempFolder Folder;
  TPinnedKeys Pins(Folder.File(u"pins"_qs));
  Pins.Load();
  EXPECT_EQ(Pins.Find(u"a"_qs, 1), QByteArray());
  Pins.Pin(u"a"_qs, 1, PinA);
  const QFileDevice::Permissions Others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                          QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                          QFileDevice::WriteOther | QFileDevice::ExeOther;
  EXPECT_EQ(QFile::permissions(Pins.FilePath()) & Others, QFileDevice::Permissions());
}

}  // namespace
}  // namespace wavenard
