#include <gtest/gtest.h>

#include <QDir>
#include <cerrno>

#include "support/special_folders.h"
#include "support/system_error.h"
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
