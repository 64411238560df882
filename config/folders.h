#pragma once

#include <QString>
#include <functional>

#include "support/system_folders.h"

namespace wavenard {

// The path of a system folder by its identifier, ending with the delimiter (GetSpecialFolderPath).
using TSpecialFolderLookup = std::function<QString(int AFolderId)>;

// The file name of the suite's sibling program that shares this start-up and keeps its settings
// in the working folder.
#ifdef Q_OS_WIN
inline constexpr char16_t SiblingProgramName[] = u"ostrane.exe";
#else
inline constexpr char16_t SiblingProgramName[] = u"ostrane";
#endif

// The folder of the executable at AExecutablePath after links are resolved, ending with the
// delimiter.
QString FindApplicationFolder(const QString& AExecutablePath);

// The application folder, where the executable and the installer's files lie, and the settings
// folder, where the settings files lie. Both end with the delimiter; the settings folder is empty
// for the sibling program. Found once at start-up and read-only afterwards.
class TFolders {
 public:
  TFolders() = default;
  TFolders(QString AApplicationFolder, QString ASettingsFolder, QString AInstallationId = {},
           bool AUsersOwnSettings = false);

  // The folders of the program whose executable lies at AExecutablePath.
  static TFolders ForExecutable(const QString& AExecutablePath,
                                const TSpecialFolderLookup& ALookup = GetSpecialFolderPath);
  // The folders of an installation in AApplicationFolder: the settings folder follows "uid.ini"
  // there and is created with its parents when it is derived from an installation identifier
  // (a failure to create it shows later, when its files are written). AExecutableName is the
  // executable's file name without folder. Raises EFileFailure when "uid.ini" exists but cannot
  // be read, as then the settings folder cannot be known.
  static TFolders ForApplicationFolder(const QString& AApplicationFolder, const QString& AExecutableName = {},
                                       const TSpecialFolderLookup& ALookup = GetSpecialFolderPath);

  const QString& ApplicationFolder() const { return FApplicationFolder; }
  const QString& SettingsFolder() const { return FSettingsFolder; }
  // The installation identifier from "uid.ini"; empty when there is none.
  const QString& InstallationId() const { return FInstallationId; }
  // The settings folder lies below the user's own application-data folder. Every other one (the
  // all-users folder, the application folder, the working folder) is shared by the users of the
  // installation, whose programs of the suite read the same files.
  bool UsersOwnSettings() const { return FUsersOwnSettings; }

  QString ApplicationFile(const QString& AName) const { return FApplicationFolder + AName; }
  QString SettingsFile(const QString& AName) const { return FSettingsFolder + AName; }

  // Resolves a folder name stored by the suite. A name that begins with a single "\" lies below
  // the settings folder; one that begins with "\\" is a network name and one that begins with "/"
  // or a drive is absolute, and they stay. Every "\" becomes the delimiter and one trailing
  // delimiter is removed.
  QString ExpandSettingsPath(const QString& APath) const;

  // The folder of a language below the application folder's "Lang", and its "lang.ini".
  QString LanguageFolder(const QString& ALangDir) const;
  QString LanguageFile(const QString& ALangDir) const;

 private:
  QString FApplicationFolder;
  QString FSettingsFolder;
  QString FInstallationId;
  bool FUsersOwnSettings = false;
};

}  // namespace wavenard
