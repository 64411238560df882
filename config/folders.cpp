#include "config/folders.h"

#include <QDir>
#include <QFileInfo>

#include "config/ini_file.h"

namespace wavenard {

namespace {

constexpr QChar Delimiter = u'/';

QString WithDelimiter(QString AFolder) {
  if (!AFolder.endsWith(Delimiter)) {
    AFolder += Delimiter;
  }
  return AFolder;
}

QString WithoutDelimiter(QString AFolder) {
  if (AFolder.endsWith(Delimiter)) {
    AFolder.chop(1);
  }
  return AFolder;
}

// The executable itself, not a link to it.
QFileInfo ResolvedExecutable(const QString& AExecutablePath) {
  const QFileInfo Executable(AExecutablePath);
  const QString Resolved = Executable.canonicalFilePath();
  return QFileInfo(Resolved.isEmpty() ? Executable.absoluteFilePath() : Resolved);
}

}  // namespace

QString FindApplicationFolder(const QString& AExecutablePath) {
  // The root keeps its delimiter; any other folder gets one.
  return WithDelimiter(ResolvedExecutable(AExecutablePath).absolutePath());
}

TFolders::TFolders(QString AApplicationFolder, QString ASettingsFolder, QString AInstallationId,
                   bool AUsersOwnSettings)
    : FApplicationFolder(std::move(AApplicationFolder)),
      FSettingsFolder(std::move(ASettingsFolder)),
      FInstallationId(std::move(AInstallationId)),
      FUsersOwnSettings(AUsersOwnSettings) {}

TFolders TFolders::ForExecutable(const QString& AExecutablePath, const TSpecialFolderLookup& ALookup) {
  return ForApplicationFolder(FindApplicationFolder(AExecutablePath),
                              ResolvedExecutable(AExecutablePath).fileName(), ALookup);
}

TFolders TFolders::ForApplicationFolder(const QString& AApplicationFolder, const QString& AExecutableName,
                                        const TSpecialFolderLookup& ALookup) {
  const QString ApplicationFolder = WithDelimiter(AApplicationFolder);
  if (AExecutableName.compare(QStringView(SiblingProgramName), Qt::CaseInsensitive) == 0) {
    // The sibling program's settings files are named relative to its working folder.
    return TFolders(ApplicationFolder, QString());
  }
  const TIniFile Uid = TIniFile::Load(ApplicationFolder + QStringLiteral("uid.ini"));
  const QString InstallationId = Uid.ReadString(QStringLiteral("Settings"), QStringLiteral("UID"));
  if (InstallationId.isEmpty()) {
    return TFolders(ApplicationFolder, ApplicationFolder);
  }
  const bool AllUsers = Uid.ReadString(QStringLiteral("Settings"), QStringLiteral("Allusers")) == u"A";
  QString Base = ALookup(AllUsers ? CSIDL_COMMON_APPDATA : CSIDL_APPDATA);
  const bool UsersOwn = !AllUsers && !Base.isEmpty();
  // Without a system folder the installation's settings stay below its own folder rather than
  // below whatever the working folder happens to be.
  Base = Base.isEmpty() ? ApplicationFolder : WithDelimiter(Base);
  const QString SettingsFolder = Base + QStringLiteral("Merrowin") + Delimiter + QStringLiteral("Wavenard_") +
                                 InstallationId + Delimiter;
  QDir().mkpath(SettingsFolder);
  return TFolders(ApplicationFolder, SettingsFolder, InstallationId, UsersOwn);
}

QString TFolders::ExpandSettingsPath(const QString& APath) const {
  QString Result = APath;
  if (APath.size() >= 2 && APath[0] == u'\\' && APath[1] != u'\\') {
    Result = WithoutDelimiter(FSettingsFolder) + APath;
  }
  Result.replace(u'\\', Delimiter);
  return WithoutDelimiter(Result);
}

QString TFolders::LanguageFolder(const QString& ALangDir) const {
  return FApplicationFolder + QStringLiteral("Lang") + Delimiter + ALangDir;
}

QString TFolders::LanguageFile(const QString& ALangDir) const {
  return LanguageFolder(ALangDir) + Delimiter + QStringLiteral("lang.ini");
}

}  // namespace wavenard
