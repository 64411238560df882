#include "suite/recorder/held_take.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>

#include "suite/recorder/recording_failure.h"
#include "support/system_error.h"

namespace wavenard {

namespace {

int OpenPart(const QByteArray& AName) {
  return ::open(AName.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

}  // namespace

THeldTake::THeldTake(int AFd, QString AFileName) : FFd(AFd), FFileName(std::move(AFileName)) {}

THeldTake::~THeldTake() {
  if (IsHeld()) {
    Keep();
  }
}

QString THeldTake::PartFileName() const {
  const QFileInfo Info(FFileName);
  return Info.path() + QStringLiteral("/.") + Info.fileName() + QStringLiteral(".part");
}

int THeldTake::CreatePart() const {
  const QString Name = PartFileName();
  const QByteArray Native = QFile::encodeName(Name);
  int Fd = OpenPart(Native);
  if (Fd < 0 && errno == EEXIST) {
    // Left by a recorder that died while writing it: nobody holds it, so it is nobody's.
    const int Stale = ::open(Native.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (Stale >= 0 && ::flock(Stale, LOCK_EX | LOCK_NB) == 0) {
      ::unlink(Native.constData());
    }
    if (Stale >= 0) {
      ::close(Stale);
    }
    Fd = OpenPart(Native);
  }
  if (Fd < 0) {
    throw ERecordingFailure(
        QStringLiteral("Cannot create file \"%1\". %2").arg(Name, SysErrorDescription(errno)));
  }
  if (::flock(Fd, LOCK_EX | LOCK_NB) != 0) {
    const int Error = errno;
    ::unlink(Native.constData());
    ::close(Fd);
    throw ERecordingFailure(
        QStringLiteral("Cannot create file \"%1\". %2").arg(Name, SysErrorDescription(Error)));
  }
  return Fd;
}

void THeldTake::Release() {
  ::close(FFd);
  FFd = -1;
}

void THeldTake::Keep() {
  Q_ASSERT(IsHeld());
  Release();
  // Only a watcher misses this; the take is final all the same.
  ::utimensat(AT_FDCWD, QFile::encodeName(FFileName).constData(), nullptr, AT_SYMLINK_NOFOLLOW);
}

void THeldTake::Replace(THeldTake& APart) {
  Q_ASSERT(IsHeld() && APart.IsHeld());
  if (::rename(QFile::encodeName(APart.FileName()).constData(), QFile::encodeName(FFileName).constData()) !=
      0) {
    const int Error = errno;
    APart.Discard();
    throw ERecordingFailure(
        QStringLiteral("Cannot replace file \"%1\". %2").arg(FFileName, SysErrorDescription(Error)));
  }
  Release();
  APart.Release();
}

void THeldTake::Discard() {
  Q_ASSERT(IsHeld());
  ::unlink(QFile::encodeName(FFileName).constData());
  Release();
}

}  // namespace wavenard
