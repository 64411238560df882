#include <gtest/gtest.h>

#include <QDir>
#include <cerrno>

#include "support/system_error.h"
#include "support/system_folders.h"
#include "support/tick_count.h"

namespace wavenard {
namespace {

TEST(SysErrorMessage, HasTheSuiteForm) {
  EXPECT_EQ(SysErrorMessage(EACCES), "System Error.  Code: 13.\r\nPermission denied");
  EXPECT_EQ(SysErrorDescription(ENOENT), "No such file or directory");
  EXPECT_EQ(SysErrorMessage(0), "A call to an OS function failed");
}

TEST(GetSpecialFolderPath, MapsTheTwoFoldersTheProgramUsesAndEndsWithTheDelimiter) {
  qputenv("XDG_CONFIG_HOME", "/tmp/wavenard-config-home");
  EXPECT_EQ(GetSpecialFolderPath(CSIDL_APPDATA), "/tmp/wavenard-config-home/");
  EXPECT_EQ(GetSpecialFolderPath(CSIDL_COMMON_APPDATA), "/var/lib/");
  EXPECT_EQ(GetSpecialFolderPath(5), "");
  qunsetenv("XDG_CONFIG_HOME");
}

TEST(TickCount, NeverGoesBack) {
  const auto First = TickCount();
  EXPECT_GE(TickCount(), First);
}

}  // namespace
}  // namespace wavenard

#include "support/windows1252.h"

namespace wavenard {
namespace {

TEST(Windows1252, DecodesTheHighHalfAndEncodesBack) {
  EXPECT_EQ(DecodeWindows1252("a\x80\xE9\x81\x9F"), QString::fromUtf8("a\u20AC\u00E9\u0081\u0178"));
  for (int Byte = 0; Byte < 256; ++Byte) {
    EXPECT_EQ(UnicodeToWindows1252(Windows1252ToUnicode(static_cast<unsigned char>(Byte))), Byte);
  }
  EXPECT_EQ(UnicodeToWindows1252(u'\u0100'), -1);
  // A character the code page lacks becomes "?", one byte for each UTF-16 unit.
  EXPECT_EQ(EncodeWindows1252(QString::fromUtf8("a\u20AC\u00E9\u0081\u0178")),
            QByteArray("a\x80\xE9\x81\x9F"));
  EXPECT_EQ(EncodeWindows1252(QString::fromUtf8("\u0100x\U0001F600")), QByteArray("?x??"));
}

}  // namespace
}  // namespace wavenard
