#pragma once

#include <QString>

namespace wavenard {

constexpr int CSIDL_APPDATA = 26;
constexpr int CSIDL_COMMON_APPDATA = 35;

// The path of a system folder by its identifier, ending with the path delimiter;
// empty when the system has no such folder.
QString GetSpecialFolderPath(int AFolderId);

}  // namespace wavenard
