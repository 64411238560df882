#include "config/file_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <new>
#include <utility>
#include <vector>

#include "config/failures.h"
#include "support/failure.h"
#include "support/message_box.h"
#include "support/posix_file.h"
#include "support/system_error.h"

namespace wavenard {

namespace {

// The step of a save or a read that failed; each has its own words for the user. Size: the file
// is too large to be read; Owner: the file belongs to another user and cannot be replaced.
enum class TStep { Create, Write, Flush, Replace, Open, Read, Size, Owner };

// A system call failed with this error code, or a file was refused for a reason the system does
// not name (ADescription). The message is the system error text, or that description. Only
// travels inside this file; the operations turn it into their own failure texts.
class EOsError final : public EFailure {
 public:
  EOsError(int ACode, TStep AStep)
      : EFailure(SysErrorMessage(ACode)),
        FCode(ACode),
        FStep(AStep),
        FDescription(SysErrorDescription(ACode)) {}
  EOsError(int ACode, TStep AStep, const QString& ADescription)
      : EFailure(ADescription), FCode(ACode), FStep(AStep), FDescription(ADescription) {}

  int Code() const { return FCode; }
  TStep Step() const { return FStep; }
  const QString& Description() const { return FDescription; }

 private:
  int FCode;
  TStep FStep;
  QString FDescription;
};

[[noreturn]] void RaiseOsError(int ACode, TStep AStep = TStep::Create) {
  throw EOsError(ACode, AStep);
}

[[noreturn]] void RaiseErrno(TStep AStep = TStep::Create) {
  RaiseOsError(errno != 0 ? errno : EIO, AStep);
}

QString StepFailure(const EOsError& AError, const QString& AFileName) {
  const char* Words = "Cannot create file";
  switch (AError.Step()) {
    case TStep::Create:
      break;
    case TStep::Write:
      Words = "Cannot write file";
      break;
    case TStep::Flush:
      Words = "Cannot flush file";
      break;
    case TStep::Replace:
      Words = "Cannot replace file";
      break;
    case TStep::Open:
      Words = "Cannot open file";
      break;
    case TStep::Read:
    case TStep::Size:
      Words = "Cannot read file";
      break;
    case TStep::Owner:
      Words = "Cannot replace file";
      break;
  }
  return QStringLiteral("%1 \"%2\". %3")
      .arg(QLatin1String(Words), QFileInfo(AFileName).absoluteFilePath(), AError.Description());
}

[[noreturn]] void RaiseTooLarge() {
  throw EOsError(EFBIG, TStep::Size, QStringLiteral("The file is larger than 16 MiB"));
}

// Who a file belongs to, for a message: the user's name where the system knows it.
QString OwnerName(uid_t AOwner) {
  std::vector<char> Buffer(16384);
  struct passwd Entry {};
  struct passwd* Found = nullptr;
  if (::getpwuid_r(AOwner, &Entry, Buffer.data(), Buffer.size(), &Found) == 0 && Found != nullptr &&
      Found->pw_name != nullptr && *Found->pw_name != '\0') {
    return QStringLiteral("\"%1\" (uid %2)").arg(QString::fromLocal8Bit(Found->pw_name)).arg(AOwner);
  }
  return QStringLiteral("uid %1").arg(AOwner);
}

// A file that is not the user's own is never written into: it would hand what it holds to its
// owner, who also decides who else may read it.
[[noreturn]] void RaiseNotOwn(uid_t AOwner) {
  throw EOsError(EPERM, TStep::Owner,
                 QStringLiteral("It belongs to another user, %1, and the folder does not let it be replaced")
                     .arg(OwnerName(AOwner)));
}

int OpenFile(TPosixFile& AFile, const QByteArray& APath, int AFlags, mode_t AMode = 0) {
  return AFile.Open(APath.constData(), AFlags | O_CLOEXEC | O_NOCTTY, AMode);
}

// Closes AFile now, so that a failure of the close itself is seen.
void CloseWritten(TPosixFile& AFile) {
  if (const int Error = AFile.Close()) {
    RaiseOsError(Error, TStep::Flush);
  }
}

// A file name as the system takes it. An embedded NUL would silently cut the name short.
QByteArray NativeName(const QString& AFileName) {
  if (AFileName.isEmpty()) {
    RaiseOsError(ENOENT);
  }
  if (AFileName.contains(QChar(u'\0'))) {
    RaiseOsError(EINVAL);
  }
  return QFile::encodeName(AFileName);
}

QByteArray FolderOf(const QByteArray& APath) {
  const qsizetype Slash = APath.lastIndexOf('/');
  if (Slash < 0) {
    return QByteArrayLiteral(".");
  }
  return Slash == 0 ? QByteArrayLiteral("/") : APath.left(Slash);
}

// The whole rest of the file, at most MaxSettingsFileSize bytes: a file that grows beyond that
// while it is read is refused like one that was too large from the start.
QByteArray ReadAll(int AHandle, qsizetype ASizeHint) {
  try {
    QByteArray Content;
    Content.reserve(std::min<qsizetype>(ASizeHint, MaxSettingsFileSize));
    char Buffer[65536];
    for (;;) {
      size_t Count = 0;
      if (const int Error = ReadFull(AHandle, Buffer, sizeof Buffer, Count)) {
        RaiseOsError(Error, TStep::Read);
      }
      if (Content.size() + static_cast<qsizetype>(Count) > MaxSettingsFileSize) {
        RaiseTooLarge();
      }
      Content.append(Buffer, static_cast<qsizetype>(Count));
      if (Count < sizeof Buffer) {
        return Content;
      }
    }
  } catch (const std::bad_alloc&) {
    RaiseOsError(ENOMEM, TStep::Read);
  }
}

// The whole content of a regular file, never read through a link: APath names the file itself.
// Anything else (a folder, a device, a pipe) is refused rather than read, so a stray entry can
// neither block nor flood the program, and so is a file too large to be settings.
QByteArray ReadWhole(const QByteArray& APath, struct stat* AInfo = nullptr) {
  TPosixFile File;
  if (const int Error = OpenFile(File, APath, O_RDONLY | O_NONBLOCK | O_NOFOLLOW)) {
    RaiseOsError(Error, TStep::Open);
  }
  const int Handle = File.Fd();
  struct stat Info {};
  if (::fstat(Handle, &Info) != 0) {
    RaiseErrno(TStep::Open);
  }
  if (S_ISDIR(Info.st_mode)) {
    RaiseOsError(EISDIR, TStep::Open);
  }
  if (!S_ISREG(Info.st_mode)) {
    RaiseOsError(EINVAL, TStep::Open);
  }
  if (Info.st_size > MaxSettingsFileSize) {
    RaiseTooLarge();
  }
  QByteArray Content = ReadAll(Handle, static_cast<qsizetype>(Info.st_size));
  if (AInfo != nullptr) {
    *AInfo = Info;
  }
  return Content;
}

constexpr int MaxLinks = 40;

// Where a settings file really lies: its links followed one by one, each only when it is trusted,
// up to a name that is no link, whether or not a file of that name exists.
QByteArray Resolve(const QByteArray& APath, TStep AStep) {
  QByteArray Path = APath;
  for (int Hop = 0;; ++Hop) {
    struct stat Info {};
    if (::lstat(Path.constData(), &Info) != 0) {
      if (errno == ENOENT) {
        return Path;
      }
      RaiseErrno(AStep);
    }
    if (!S_ISLNK(Info.st_mode)) {
      return Path;
    }
    if (Hop == MaxLinks) {
      RaiseOsError(ELOOP, AStep);
    }
    if (!LinkTrusted(Path, Info)) {
      RaiseOsError(EACCES, AStep);
    }
    QByteArray Target(4096, '\0');
    const ssize_t Length = ::readlink(Path.constData(), Target.data(), static_cast<size_t>(Target.size()));
    if (Length < 0) {
      RaiseErrno(AStep);
    }
    if (Length >= Target.size()) {
      RaiseOsError(ENAMETOOLONG, AStep);
    }
    Target.truncate(Length);
    Path = Target.startsWith('/') ? Target : FolderOf(Path) + '/' + Target;
  }
}

enum class TLinks {
  Follow,  // a settings file: its trusted links lead to the file that is written
  Replace  // a copy: a link in its place is replaced by the file, never written through
};

// The place a new content goes to, and the mode and owner it is to have there.
struct TTarget {
  QByteArray Path;
  bool Exists = false;
  std::optional<mode_t> Mode;  // none: the default for new files, less the umask
  // The owner and group of the file it replaces, or of the file it copies; the new file keeps the
  // owner only when that is the user, and the group only when the user belongs to it.
  std::optional<std::pair<uid_t, gid_t>> Ownership;

  // The file in place belongs to another user, so it may be replaced but never written into.
  bool Foreign() const { return Exists && Ownership && Ownership->first != ::geteuid(); }
};

// Finds where a file's new content goes and refuses a file that may not be replaced.
TTarget PrepareTarget(const QString& AFileName, TLinks ALinks) {
  TTarget Target;
  Target.Path = NativeName(AFileName);
  if (ALinks == TLinks::Follow) {
    Target.Path = Resolve(Target.Path, TStep::Create);
  }
  struct stat Info {};
  if (::lstat(Target.Path.constData(), &Info) != 0) {
    if (errno == ENOENT) {
      return Target;  // a new file; a missing folder shows when the file is created
    }
    RaiseErrno();
  }
  if (S_ISLNK(Info.st_mode)) {
    if (ALinks == TLinks::Follow) {
      RaiseOsError(ELOOP);  // it became a link since it was resolved
    }
    return Target;
  }
  if (S_ISDIR(Info.st_mode)) {
    RaiseOsError(EISDIR);
  }
  if (!S_ISREG(Info.st_mode)) {
    RaiseOsError(EINVAL);
  }
  // A file without its owner's write bit is read-only for everybody, the administrator included,
  // as a read-only file is on the suite's home platform.
  if ((Info.st_mode & S_IWUSR) == 0) {
    RaiseOsError(EACCES);
  }
  // Another user's file is only ever replaced, so whether the user may write it does not matter.
  if (Info.st_uid == ::geteuid() && ::access(Target.Path.constData(), W_OK) != 0) {
    RaiseErrno();
  }
  Target.Exists = true;
  Target.Mode = Info.st_mode & 07777;
  Target.Ownership = std::make_pair(Info.st_uid, Info.st_gid);
  return Target;
}

QByteArray RandomLetters(int ACount) {
  static constexpr char Letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  QByteArray Result;
  for (int I = 0; I < ACount; ++I) {
    Result += Letters[QRandomGenerator::global()->bounded(int(sizeof Letters - 1))];
  }
  return Result;
}

QByteArray RandomSuffix() {
  return ".tmp" + RandomLetters(6);
}

// A name beside APath that nobody uses yet, created by ACreate (which returns 0, or the error
// code: EEXIST when the name is taken).
template <typename TCreate>
QByteArray CreateBeside(const QByteArray& APath, TCreate ACreate) {
  for (int Attempt = 0; Attempt < 100; ++Attempt) {
    QByteArray Name = APath + RandomSuffix();
    const int Error = ACreate(Name);
    if (Error == 0) {
      return Name;
    }
    if (Error != EEXIST) {
      RaiseOsError(Error);
    }
  }
  RaiseOsError(EEXIST);
}

// Removes the temporary file unless it has taken its final place.
class TTemporaryName {
 public:
  explicit TTemporaryName(QByteArray APath) : FPath(std::move(APath)) {}
  ~TTemporaryName() {
    if (!FPath.isEmpty()) {
      ::unlink(FPath.constData());
    }
  }
  Q_DISABLE_COPY_MOVE(TTemporaryName)

  const QByteArray& Path() const { return FPath; }
  // Renames the file to ATarget; from then on it is no longer removed.
  void MoveTo(const QByteArray& ATarget) {
    if (::rename(FPath.constData(), ATarget.constData()) != 0) {
      RaiseErrno(TStep::Replace);
    }
    FPath.clear();
  }
  // The file has found its place some other way.
  void Release() { FPath.clear(); }

 private:
  QByteArray FPath;
};

void SyncFolder(const QByteArray& APath) {
  // Makes the rename itself durable; a folder that cannot be synced still holds the new file.
  TPosixFile Folder;
  if (Folder.Open(FolderOf(APath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) == 0) {
    ::fsync(Folder.Fd());
  }
}

bool MemberOf(gid_t AGroup) {
  if (::getegid() == AGroup) {
    return true;
  }
  const int Count = ::getgroups(0, nullptr);
  if (Count <= 0) {
    return false;
  }
  std::vector<gid_t> Groups(static_cast<size_t>(Count));
  const int Got = ::getgroups(Count, Groups.data());
  return Got > 0 && std::find(Groups.begin(), Groups.begin() + Got, AGroup) != Groups.begin() + Got;
}

// A new file always belongs to the user who writes it: even the administrator never gives one to
// another user, since that user could then read what it holds. It keeps the group of the file it
// stands for when that is the user's own file, or a group the user belongs to, so the others of
// that group keep their access.
void KeepOwnership(int AHandle, const std::pair<uid_t, gid_t>& AOwnership) {
  struct stat Info {};
  if (::fstat(AHandle, &Info) != 0 || Info.st_gid == AOwnership.second) {
    return;
  }
  if (AOwnership.first == ::geteuid() || MemberOf(AOwnership.second)) {
    [[maybe_unused]] const int Ignored = ::fchown(AHandle, static_cast<uid_t>(-1), AOwnership.second);
  }
}

// Writes AContent from the file's start.
void WriteAll(int AHandle, QByteArrayView AContent) {
  if (const int Error = WriteFullAt(AHandle, AContent.data(), static_cast<size_t>(AContent.size()), 0)) {
    RaiseOsError(Error, TStep::Write);
  }
}

// Fills a new file, AFile, with AContent and gives it the target's mode and owner; it is on the
// disk and closed when this returns.
void WriteNewFile(const TTarget& ATarget, TPosixFile AFile, QByteArrayView AContent) {
  const int Handle = AFile.Fd();
  if (ATarget.Ownership) {
    KeepOwnership(Handle, *ATarget.Ownership);
  }
  if (ATarget.Mode && ::fchmod(Handle, *ATarget.Mode) != 0) {
    RaiseErrno();
  }
  WriteAll(Handle, AContent);
  if (::fsync(Handle) != 0) {
    RaiseErrno(TStep::Flush);
  }
  CloseWritten(AFile);
}

TTemporaryName CreateTemporary(const QByteArray& APath, const TTarget& ATarget, TPosixFile& AFile) {
  return TTemporaryName(CreateBeside(APath, [&](const QByteArray& AName) {
    // A file with a mode of its own starts private, so no byte is ever readable by others.
    return OpenFile(AFile, AName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, ATarget.Mode ? 0600 : 0666);
  }));
}

// Writes AContent to a new file beside the target and puts it in the target's place once all of
// it is on the disk.
void WriteBeside(const TTarget& ATarget, QByteArrayView AContent) {
  TPosixFile File;
  TTemporaryName Temp = CreateTemporary(ATarget.Path, ATarget, File);
  WriteNewFile(ATarget, std::move(File), AContent);
  Temp.MoveTo(ATarget.Path);
  SyncFolder(ATarget.Path);
}

// Writes AContent over the existing file itself, for a folder that takes no new file. The old
// content is read first and written back when the new one cannot be written whole.
void WriteInPlace(const TTarget& ATarget, QByteArrayView AContent) {
  TPosixFile File;
  if (const int Error = OpenFile(File, ATarget.Path, O_RDWR | O_NOFOLLOW | O_NONBLOCK)) {
    RaiseOsError(Error);
  }
  const int Handle = File.Fd();
  struct stat Info {};
  if (::fstat(Handle, &Info) != 0) {
    RaiseErrno();
  }
  if (!S_ISREG(Info.st_mode)) {
    RaiseOsError(EINVAL);
  }
  if (Info.st_uid != ::geteuid()) {
    RaiseNotOwn(Info.st_uid);
  }
  // A file with another name elsewhere may be someone else's file under a name they chose here.
  if (Info.st_nlink != 1) {
    RaiseOsError(EACCES);
  }
  QByteArray Old;
  try {
    Old = ReadAll(Handle, static_cast<qsizetype>(Info.st_size));
  } catch (const EOsError& Error) {
    RaiseOsError(Error.Code());
  }
  if (ATarget.Mode && (Info.st_mode & 07777) != *ATarget.Mode) {
    // Tightening is worth trying; a file of another owner keeps its mode.
    [[maybe_unused]] const int Ignored = ::fchmod(Handle, *ATarget.Mode);
  }
  try {
    WriteAll(Handle, AContent);
    if (::ftruncate(Handle, static_cast<off_t>(AContent.size())) != 0) {
      RaiseErrno(TStep::Write);
    }
    if (::fsync(Handle) != 0) {
      RaiseErrno(TStep::Flush);
    }
  } catch (const EOsError&) {
    try {
      WriteAll(Handle, Old);
      [[maybe_unused]] const int Truncated = ::ftruncate(Handle, static_cast<off_t>(Old.size()));
      ::fsync(Handle);
    } catch (const EOsError&) {
      // The first failure is the one to report.
    }
    throw;
  }
  CloseWritten(File);
}

// The folder refused a new file or the rename, though the file itself may still be writable.
bool FolderRefused(const EOsError& AError) {
  return (AError.Step() == TStep::Create || AError.Step() == TStep::Replace) &&
         (AError.Code() == EACCES || AError.Code() == EPERM);
}

// In a folder with the sticky bit only the file's owner, the folder's owner and the administrator
// may replace a file. Known before anything is written, so no byte of the new content is ever put
// beside a file that it could not replace.
bool FolderLetsReplace(const TTarget& ATarget) {
  struct stat Folder {};
  if (::stat(FolderOf(ATarget.Path).constData(), &Folder) != 0) {
    return true;  // the write itself then meets the trouble and names it
  }
  const uid_t User = ::geteuid();
  return (Folder.st_mode & S_ISVTX) == 0 || Folder.st_uid == User || User == 0;
}

void ReplaceContent(const TTarget& ATarget, QByteArrayView AContent,
                    const std::function<void()>& ABeforeInPlace = {}) {
  if (ATarget.Foreign() && !FolderLetsReplace(ATarget)) {
    RaiseNotOwn(ATarget.Ownership->first);
  }
  try {
    WriteBeside(ATarget, AContent);
  } catch (const EOsError& Refused) {
    if (!ATarget.Exists || !FolderRefused(Refused)) {
      throw;
    }
    if (ATarget.Foreign()) {
      RaiseNotOwn(ATarget.Ownership->first);
    }
    try {
      if (ABeforeInPlace) {
        ABeforeInPlace();
      }
    } catch (const std::exception&) {
      throw Refused;
    }
    try {
      WriteInPlace(ATarget, AContent);
    } catch (const EOsError& Error) {
      // Failing to open the file says no more than the folder's refusal did.
      if (Error.Step() == TStep::Create) {
        throw Refused;
      }
      throw;
    }
  }
}

constexpr int MaxKeptNames = 100;
constexpr int MaxRandomNames = 100;

// ABase, then ABase with ".1" to ".99", then ABase with a random suffix: names that others may
// have taken in advance in a shared folder never stop a file from being kept.
QByteArray KeptName(const QByteArray& ABase, int AIndex) {
  if (AIndex == 0) {
    return ABase;
  }
  if (AIndex < MaxKeptNames) {
    return ABase + '.' + QByteArray::number(AIndex);
  }
  return ABase + '.' + RandomLetters(8);
}

// Gives the file at APath the first free one of ABase's names, keeping every name that is taken.
// AMove renames (a temporary file); otherwise the file gets a second name (a file that cannot be
// read, so that it outlives the save that replaces it).
QByteArray NameFree(const QByteArray& APath, const QByteArray& ABase, bool AMove) {
  for (int Index = 0; Index < MaxKeptNames + MaxRandomNames; ++Index) {
    const QByteArray Name = KeptName(ABase, Index);
    int Result = -1;
    if (AMove) {
      Result = ::renameat2(AT_FDCWD, APath.constData(), AT_FDCWD, Name.constData(), RENAME_NOREPLACE);
      if (Result != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without the no-replace rename: a second name is as safe.
        Result = ::link(APath.constData(), Name.constData());
        if (Result == 0) {
          ::unlink(APath.constData());
        }
      }
    } else {
      Result = ::link(APath.constData(), Name.constData());
    }
    if (Result == 0) {
      SyncFolder(Name);
      return Name;
    }
    if (errno != EEXIST) {
      RaiseErrno();
    }
  }
  RaiseOsError(EEXIST);
}

void CopyToBackupCopy(const QString& AFileName) {
  struct stat Source {};
  const QByteArray Content = ReadWhole(Resolve(NativeName(AFileName), TStep::Open), &Source);
  TTarget Target = PrepareTarget(BackupFileName(AFileName), TLinks::Replace);
  // The copy is as private as the file itself and belongs to the same group.
  Target.Mode = Source.st_mode & 07777;
  if (!Target.Ownership) {
    Target.Ownership = std::make_pair(Source.st_uid, Source.st_gid);
  }
  ReplaceContent(Target, Content);
}

mode_t ModeOf(QFileDevice::Permissions APermissions) {
  mode_t Mode = 0;
  if (APermissions & (QFileDevice::ReadOwner | QFileDevice::ReadUser)) {
    Mode |= S_IRUSR;
  }
  if (APermissions & (QFileDevice::WriteOwner | QFileDevice::WriteUser)) {
    Mode |= S_IWUSR;
  }
  if (APermissions & (QFileDevice::ExeOwner | QFileDevice::ExeUser)) {
    Mode |= S_IXUSR;
  }
  if (APermissions & QFileDevice::ReadGroup) {
    Mode |= S_IRGRP;
  }
  if (APermissions & QFileDevice::WriteGroup) {
    Mode |= S_IWGRP;
  }
  if (APermissions & QFileDevice::ExeGroup) {
    Mode |= S_IXGRP;
  }
  if (APermissions & QFileDevice::ReadOther) {
    Mode |= S_IROTH;
  }
  if (APermissions & QFileDevice::WriteOther) {
    Mode |= S_IWOTH;
  }
  if (APermissions & QFileDevice::ExeOther) {
    Mode |= S_IXOTH;
  }
  return Mode;
}

// A file that needs its backup copy: missing, or present and empty. A file that holds something
// is left alone even when it cannot be opened: it may be newer than its backup copy. A link that
// may not be followed is left alone as well.
bool NeedsRestoring(const QString& AFileName) {
  if (AFileName.isEmpty() || AFileName.contains(QChar(u'\0'))) {
    return true;
  }
  QByteArray Path;
  try {
    Path = Resolve(QFile::encodeName(AFileName), TStep::Open);
  } catch (const EOsError&) {
    return false;
  }
  struct stat Info {};
  if (::lstat(Path.constData(), &Info) != 0) {
    return errno == ENOENT;
  }
  return S_ISREG(Info.st_mode) && Info.st_size == 0;
}

// A backup copy that may stand in for its file: a regular file of the user's own, not a link,
// that can be opened and holds at least one byte and no more than settings ever do. Anything else
// is no copy of the user's settings: someone else may have put it there, or it holds nothing.
bool IsGoodBackup(const QByteArray& APath, struct stat& AInfo) {
  TPosixFile File;
  if (OpenFile(File, APath, O_RDONLY | O_NONBLOCK | O_NOFOLLOW) != 0) {
    return false;
  }
  return ::fstat(File.Fd(), &AInfo) == 0 && S_ISREG(AInfo.st_mode) && AInfo.st_uid == ::geteuid() &&
         AInfo.st_size > 0 && AInfo.st_size <= MaxSettingsFileSize;
}

// Names the copy cannot even try; these are not file-system failures.
void CheckPathForm(const QString& AFileName) {
  if (AFileName.isEmpty()) {
    throw ESettingsFailure(QStringLiteral("The path is empty"));
  }
  if (AFileName.contains(QChar(u'\0'))) {
    throw ESettingsFailure(QStringLiteral("The path holds characters that are invalid in file names"));
  }
}

}  // namespace

// The user's own links are followed, and root's; in a folder that nobody else may write every link
// is the user's. Any other link may have been planted, the folder's owner's included: whoever owns
// a folder that is not the user's own must not choose which of the user's files is written.
bool LinkTrusted(const QByteArray& APath, const struct stat& ALink) {
  const uid_t User = ::geteuid();
  if (ALink.st_uid == User || ALink.st_uid == 0) {
    return true;
  }
  struct stat Folder {};
  if (::stat(FolderOf(APath).constData(), &Folder) != 0) {
    return false;
  }
  const bool OthersMayWrite =
      (Folder.st_mode & (S_IWGRP | S_IWOTH)) != 0 || (Folder.st_uid != User && Folder.st_uid != 0);
  return !OthersMayWrite;
}

QString BackupFileName(const QString& AFileName) {
  return AFileName + QStringLiteral(".bak");
}

void WriteRecordFile(const QString& AFileName, const std::function<QByteArray()>& ARender,
                     const TWriteOptions& AOptions) {
  try {
    TTarget Target = PrepareTarget(AFileName, TLinks::Follow);
    if (!Target.Exists && AOptions.NewFilePermissions) {
      Target.Mode = ModeOf(*AOptions.NewFilePermissions);
    }
    if (Target.Exists && AOptions.Private) {
      *Target.Mode &= ~mode_t(S_IRWXG | S_IRWXO);
    }
    const QByteArray Content = ARender();
    ReplaceContent(Target, Content, AOptions.BeforeInPlace);
  } catch (const EOsError& Error) {
    throw EFileFailure(StepFailure(Error, AFileName));
  }
}

void ReadRecordFile(const QString& AFileName, const std::function<void(const QByteArray&)>& AApply) {
  QByteArray Content;
  try {
    Content = ReadWhole(Resolve(NativeName(AFileName), TStep::Open));
  } catch (const EOsError& Error) {
    throw EFileFailure(StepFailure(Error, AFileName));
  }
  try {
    AApply(Content);
  } catch (const std::bad_alloc&) {
    // A text that needs more memory than there is cannot be read, like a file that cannot.
    throw EFileFailure(StepFailure(EOsError(ENOMEM, TStep::Read), AFileName));
  }
}

void BackupFile(const QString& AFileName, TBoxPresenter& ABoxes) {
  try {
    CopyToBackupCopy(AFileName);
  } catch (const std::exception& Failure) {
    ABoxes.MyMessageBox(
        QStringLiteral("Copy failed: %1 (%2)").arg(BackupFileName(AFileName), FailureText(Failure)),
        QString(), MB_ICONERROR | MB_OK);
  }
}

void CopyToBackup(const QString& AFileName) {
  try {
    CopyToBackupCopy(AFileName);
  } catch (const EOsError& Error) {
    throw EFileFailure(StepFailure(Error, BackupFileName(AFileName)));
  }
}

bool HasBackup(const QString& AFileName) {
  if (AFileName.contains(QChar(u'\0'))) {
    return false;
  }
  struct stat Info {};
  return IsGoodBackup(QFile::encodeName(BackupFileName(AFileName)), Info);
}

void RestoreFromBackup(const QString& AFileName, bool ASilent, TBoxPresenter& ABoxes) {
  if (!NeedsRestoring(AFileName) || !HasBackup(AFileName)) {
    return;
  }
  try {
    CheckPathForm(AFileName);
    struct stat Source {};
    const QByteArray Content = ReadWhole(NativeName(BackupFileName(AFileName)), &Source);
    if (Source.st_uid != ::geteuid() || Content.isEmpty()) {
      return;  // no longer the copy that was checked
    }
    TTarget Target = PrepareTarget(AFileName, TLinks::Follow);
    if (!Target.Exists) {
      Target.Mode = Source.st_mode & 07777;
      Target.Ownership = std::make_pair(Source.st_uid, Source.st_gid);
    }
    // An empty file holds nothing to lose, so it may also be written in place.
    ReplaceContent(Target, Content);
  } catch (const EOsError&) {
    // The file stays as it was; reading it then meets the same trouble and reports it.
  } catch (const std::exception& Failure) {
    if (ASilent) {
      throw;
    }
    ABoxes.MyMessageBox(QStringLiteral("Unable to load file %1 (%2). Failed to restore file from backup. "
                                       "Loading default settings.")
                            .arg(AFileName, FailureText(Failure)),
                        QStringLiteral("Error"), MB_ICONERROR | MB_OK);
  }
}

std::optional<QString> KeepAside(const QString& AFileName, const QString& ASuffix) {
  const QString Kept = AFileName + ASuffix;
  try {
    const QByteArray Path = Resolve(NativeName(AFileName), TStep::Create);
    struct stat Info {};
    if (::lstat(Path.constData(), &Info) != 0) {
      if (errno == ENOENT) {
        return std::nullopt;
      }
      RaiseErrno();
    }
    if (S_ISDIR(Info.st_mode)) {
      RaiseOsError(EISDIR);
    }
    // A file too large to be settings is nothing of the user's worth a copy.
    if (S_ISREG(Info.st_mode) && (Info.st_size == 0 || Info.st_size > MaxSettingsFileSize)) {
      return std::nullopt;
    }
    const QByteArray KeptPath = NativeName(Kept);
    QByteArray Content;
    bool Readable = true;
    try {
      Content = ReadWhole(Path, &Info);
    } catch (const EOsError& Error) {
      if (Error.Step() == TStep::Size) {
        return std::nullopt;
      }
      Readable = false;
    }
    if (!Readable) {
      // What cannot be read can still be kept: under a second name the file outlives the save
      // that replaces it.
      return QFile::decodeName(NameFree(Path, KeptPath, false));
    }
    if (Content.isEmpty()) {
      return std::nullopt;
    }
    TTarget Target;
    Target.Mode = Info.st_mode & 07777;
    Target.Ownership = std::make_pair(Info.st_uid, Info.st_gid);
    TPosixFile File;
    TTemporaryName Temp = CreateTemporary(KeptPath, Target, File);
    WriteNewFile(Target, std::move(File), Content);
    const QByteArray Name = NameFree(Temp.Path(), KeptPath, true);
    Temp.Release();
    return QFile::decodeName(Name);
  } catch (const EOsError& Error) {
    throw EFileFailure(StepFailure(Error, Kept));
  }
}

}  // namespace wavenard
