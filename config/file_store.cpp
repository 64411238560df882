#include "config/file_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdlib>

#include "config/failures.h"
#include "support/message_box.h"
#include "support/system_error.h"

namespace wavenard {

namespace {

// A system call failed with this error code. Only travels inside this file; the operations
// turn it into their own failure texts.
struct TOsError {
  int Code;
};

[[noreturn]] void RaiseOsError(int ACode) {
  throw TOsError{ACode};
}

[[noreturn]] void RaiseErrno() {
  RaiseOsError(errno != 0 ? errno : EIO);
}

class TDescriptor {
 public:
  explicit TDescriptor(int AHandle) : FHandle(AHandle) {}
  ~TDescriptor() {
    if (FHandle >= 0) {
      ::close(FHandle);
    }
  }
  Q_DISABLE_COPY_MOVE(TDescriptor)

  int Handle() const { return FHandle; }
  // Closes now, so that a failure of the close itself is seen.
  void Close() {
    const int Handle = FHandle;
    FHandle = -1;
    if (::close(Handle) != 0 && errno != EINTR) {
      RaiseErrno();
    }
  }

 private:
  int FHandle;
};

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

// The whole content of a regular file. Anything else (a folder, a device, a pipe) is refused
// rather than read, so a stray link can neither block nor flood the program.
QByteArray ReadWhole(const QByteArray& APath, struct stat* AInfo = nullptr) {
  int Handle;
  do {
    Handle = ::open(APath.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (Handle < 0 && errno == EINTR);
  if (Handle < 0) {
    RaiseErrno();
  }
  TDescriptor File(Handle);
  struct stat Info {};
  if (::fstat(Handle, &Info) != 0) {
    RaiseErrno();
  }
  if (S_ISDIR(Info.st_mode)) {
    RaiseOsError(EISDIR);
  }
  if (!S_ISREG(Info.st_mode)) {
    RaiseOsError(EINVAL);
  }
  QByteArray Content;
  Content.reserve(static_cast<qsizetype>(Info.st_size));
  char Buffer[65536];
  for (;;) {
    const ssize_t Count = ::read(Handle, Buffer, sizeof Buffer);
    if (Count < 0) {
      if (errno == EINTR) {
        continue;
      }
      RaiseErrno();
    }
    if (Count == 0) {
      break;
    }
    Content.append(Buffer, Count);
  }
  if (AInfo != nullptr) {
    *AInfo = Info;
  }
  return Content;
}

// The place a new content goes to, and the mode and owner it is to have there.
struct TTarget {
  QByteArray Path;
  bool Exists = false;
  std::optional<mode_t> Mode;  // none: the default for new files, less the umask
  uid_t Owner = 0;
  gid_t Group = 0;
};

// Finds where a file's new content goes and refuses a file that may not be replaced. A link is
// followed, so the linked file gets the new content and the link stays a link.
TTarget PrepareTarget(const QString& AFileName) {
  TTarget Target;
  Target.Path = NativeName(AFileName);
  struct stat Info {};
  if (::lstat(Target.Path.constData(), &Info) == 0 && S_ISLNK(Info.st_mode)) {
    if (char* Resolved = ::realpath(Target.Path.constData(), nullptr)) {
      Target.Path = Resolved;
      std::free(Resolved);
    }
  }
  if (::stat(Target.Path.constData(), &Info) != 0) {
    if (errno == ENOENT) {
      return Target;  // a new file; a missing folder shows when the file is created
    }
    RaiseErrno();
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
  if (::access(Target.Path.constData(), W_OK) != 0) {
    RaiseErrno();
  }
  Target.Exists = true;
  Target.Mode = Info.st_mode & 07777;
  Target.Owner = Info.st_uid;
  Target.Group = Info.st_gid;
  return Target;
}

QByteArray RandomSuffix() {
  static constexpr char Letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  QByteArray Suffix(".tmp");
  for (int I = 0; I < 6; ++I) {
    Suffix += Letters[QRandomGenerator::global()->bounded(int(sizeof Letters - 1))];
  }
  return Suffix;
}

// A name beside APath that nobody uses yet, created by ACreate (which fails with EEXIST when the
// name is taken).
template <typename TCreate>
QByteArray CreateBeside(const QByteArray& APath, TCreate ACreate) {
  for (int Attempt = 0; Attempt < 100; ++Attempt) {
    QByteArray Name = APath + RandomSuffix();
    if (ACreate(Name)) {
      return Name;
    }
    if (errno != EEXIST) {
      RaiseErrno();
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

  // Renames the file to ATarget; from then on it is no longer removed.
  void MoveTo(const QByteArray& ATarget) {
    if (::rename(FPath.constData(), ATarget.constData()) != 0) {
      RaiseErrno();
    }
    FPath.clear();
  }

 private:
  QByteArray FPath;
};

void SyncFolder(const QByteArray& APath) {
  // Makes the rename itself durable; a folder that cannot be synced still holds the new file.
  const int Handle = ::open(FolderOf(APath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Handle >= 0) {
    ::fsync(Handle);
    ::close(Handle);
  }
}

// Writes AContent to a new file beside the target and puts it in the target's place once all of
// it is on the disk.
void ReplaceContent(const TTarget& ATarget, QByteArrayView AContent) {
  int Handle = -1;
  const QByteArray TempPath = CreateBeside(ATarget.Path, [&](const QByteArray& AName) {
    // A file with a mode of its own starts private, so no byte is ever readable by others.
    Handle = ::open(AName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ATarget.Mode ? 0600 : 0666);
    return Handle >= 0;
  });
  TTemporaryName Temp(TempPath);
  TDescriptor File(Handle);
  if (ATarget.Exists) {
    struct stat Info {};
    if (::fstat(Handle, &Info) == 0 && (Info.st_uid != ATarget.Owner || Info.st_gid != ATarget.Group)) {
      // Only the administrator may give the file back to its owner; others keep it as theirs.
      [[maybe_unused]] const int Ignored = ::fchown(Handle, ATarget.Owner, ATarget.Group);
    }
  }
  if (ATarget.Mode && ::fchmod(Handle, *ATarget.Mode) != 0) {
    RaiseErrno();
  }
  const char* Data = AContent.data();
  qsizetype Left = AContent.size();
  while (Left > 0) {
    const ssize_t Count = ::write(Handle, Data, static_cast<size_t>(Left));
    if (Count < 0) {
      if (errno == EINTR) {
        continue;
      }
      RaiseErrno();
    }
    Data += Count;
    Left -= Count;
  }
  if (::fsync(Handle) != 0) {
    RaiseErrno();
  }
  File.Close();
  Temp.MoveTo(ATarget.Path);
  SyncFolder(ATarget.Path);
}

// Gives AKept a second name for the file at APath, for a file whose content cannot be read.
void LinkOver(const QByteArray& APath, const QByteArray& AKept) {
  TTemporaryName Temp(CreateBeside(
      AKept, [&](const QByteArray& AName) { return ::link(APath.constData(), AName.constData()) == 0; }));
  Temp.MoveTo(AKept);
  SyncFolder(AKept);
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

QString CannotCreate(const QString& AFileName, int ACode) {
  return QStringLiteral("Cannot create file \"%1\". %2")
      .arg(QFileInfo(AFileName).absoluteFilePath(), SysErrorDescription(ACode));
}

// A file that needs its backup copy: missing, or present and empty. A file that holds something
// is left alone even when it cannot be opened: it may be newer than its backup copy.
bool NeedsRestoring(const QString& AFileName) {
  if (AFileName.isEmpty() || AFileName.contains(QChar(u'\0'))) {
    return true;
  }
  struct stat Info {};
  if (::stat(QFile::encodeName(AFileName).constData(), &Info) != 0) {
    return errno == ENOENT;
  }
  return S_ISREG(Info.st_mode) && Info.st_size == 0;
}

bool IsRegularFile(const QString& AFileName) {
  if (AFileName.isEmpty() || AFileName.contains(QChar(u'\0'))) {
    return false;
  }
  struct stat Info {};
  return ::stat(QFile::encodeName(AFileName).constData(), &Info) == 0 && S_ISREG(Info.st_mode);
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

QString MessageOf(const std::exception& AFailure) {
  if (const auto* Failure = dynamic_cast<const ESettingsFailure*>(&AFailure)) {
    return Failure->Message();
  }
  return QString::fromUtf8(AFailure.what());
}

}  // namespace

QString BackupFileName(const QString& AFileName) {
  return AFileName + QStringLiteral(".bak");
}

void WriteRecordFile(const QString& AFileName, const std::function<QByteArray()>& ARender,
                     std::optional<QFileDevice::Permissions> ANewFilePermissions) {
  try {
    TTarget Target = PrepareTarget(AFileName);
    if (!Target.Exists && ANewFilePermissions) {
      Target.Mode = ModeOf(*ANewFilePermissions);
    }
    const QByteArray Content = ARender();
    ReplaceContent(Target, Content);
  } catch (const TOsError& Error) {
    throw EFileFailure(CannotCreate(AFileName, Error.Code));
  }
}

void ReadRecordFile(const QString& AFileName, const std::function<void(const QByteArray&)>& AApply) {
  QByteArray Content;
  try {
    Content = ReadWhole(NativeName(AFileName));
  } catch (const TOsError& Error) {
    throw EFileFailure(QStringLiteral("Cannot open file \"%1\". %2")
                           .arg(QFileInfo(AFileName).absoluteFilePath(), SysErrorDescription(Error.Code)));
  }
  AApply(Content);
}

void BackupFile(const QString& AFileName, TBoxPresenter& ABoxes) {
  const QString Backup = BackupFileName(AFileName);
  QString Reason;
  try {
    struct stat Source {};
    const QByteArray Content = ReadWhole(NativeName(AFileName), &Source);
    TTarget Target = PrepareTarget(Backup);
    // The copy is as private as the file itself.
    Target.Mode = Source.st_mode & 07777;
    ReplaceContent(Target, Content);
    return;
  } catch (const TOsError& Error) {
    Reason = SysErrorMessage(Error.Code);
  } catch (const std::exception& Failure) {
    Reason = MessageOf(Failure);
  }
  ABoxes.MyMessageBox(QStringLiteral("Copy failed: %1 (%2)").arg(Backup, Reason), QString(),
                      MB_ICONERROR | MB_OK);
}

void RestoreFromBackup(const QString& AFileName, bool ASilent, TBoxPresenter& ABoxes) {
  const QString Backup = BackupFileName(AFileName);
  if (!NeedsRestoring(AFileName) || !IsRegularFile(Backup)) {
    return;
  }
  try {
    CheckPathForm(AFileName);
    struct stat Source {};
    const QByteArray Content = ReadWhole(NativeName(Backup), &Source);
    TTarget Target = PrepareTarget(AFileName);
    if (!Target.Exists) {
      Target.Mode = Source.st_mode & 07777;
    }
    ReplaceContent(Target, Content);
  } catch (const TOsError&) {
    // The file stays as it was; reading it then meets the same trouble and reports it.
  } catch (const std::exception& Failure) {
    if (ASilent) {
      throw;
    }
    ABoxes.MyMessageBox(QStringLiteral("Unable to load file %1 (%2). Failed to restore file from backup. "
                                       "Loading default settings.")
                            .arg(AFileName, MessageOf(Failure)),
                        QStringLiteral("Error"), MB_ICONERROR | MB_OK);
  }
}

bool KeepAside(const QString& AFileName, const QString& ASuffix) {
  const QString Kept = AFileName + ASuffix;
  try {
    const QByteArray Path = NativeName(AFileName);
    struct stat Info {};
    if (::stat(Path.constData(), &Info) != 0) {
      if (errno == ENOENT) {
        return false;
      }
      RaiseErrno();
    }
    if (S_ISDIR(Info.st_mode)) {
      RaiseOsError(EISDIR);
    }
    TTarget Target = PrepareTarget(Kept);
    QByteArray Content;
    bool Readable = true;
    try {
      Content = ReadWhole(Path, &Info);
    } catch (const TOsError&) {
      Readable = false;
    }
    if (Readable) {
      Target.Mode = Info.st_mode & 07777;
      ReplaceContent(Target, Content);
    } else {
      // What cannot be read can still be kept: under a second name the file outlives the save
      // that replaces it.
      LinkOver(Path, Target.Path);
    }
    return true;
  } catch (const TOsError& Error) {
    throw EFileFailure(CannotCreate(Kept, Error.Code));
  }
}

}  // namespace wavenard
