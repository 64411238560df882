#include "support/system_folders.h"

#include <QDir>
#include <QStandardPaths>

namespace wavenard {

QString GetSpecialFolderPath(int AFolderId) {
  QString Path;
  switch (AFolderId) {
    case CSIDL_APPDATA:
      Path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
      break;
    case CSIDL_COMMON_APPDATA:
      Path = QStringLiteral("/var/lib");
      break;
    default:
      return {};
  }
  if (Path.isEmpty()) {
    return {};
  }
  if (!Path.endsWith(QDir::separator())) {
    Path += QDir::separator();
  }
  return Path;
}

}  // namespace wavenard
