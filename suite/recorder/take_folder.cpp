#include "suite/recorder/take_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <deque>
#include <filesystem>
#include <system_error>

#include "config/file_store.h"
#include "suite/recorder/recording_failure.h"
#include "support/system_error.h"

namespace wavenard {

namespace {

constexpr int MaxLinks = 40;
constexpr int MaxTakesPerSecond = 999;

std::deque<QByteArray> Components(const QByteArray& APath) {
  std::deque<QByteArray> Result;
  for (const QByteArray& Part : APath.split('/')) {
    if (!Part.isEmpty() && Part != ".") {
      Result.push_back(Part);
    }
  }
  return Result;
}

}  // namespace

QString VoiceTrackFileName(const QDateTime& AStartTime) {
  return QStringLiteral("VT ") + AStartTime.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")) +
         QStringLiteral(".flac");
}

TTakeFolder::TTakeFolder(QString APath) : FPath(std::move(APath)) {}

TTakeFolder::~TTakeFolder() {
  Close();
}

void TTakeFolder::Close() {
  if (FFd >= 0) {
    ::close(FFd);
    FFd = -1;
  }
}

// Walks the folder's name as the system will, one component at a time, so that each link is
// judged where it lies.
void TTakeFolder::CheckLinksOnTheWay() const {
  std::deque<QByteArray> Rest = Components(QFile::encodeName(QFileInfo(FPath).absoluteFilePath()));
  QByteArray Reached;
  int Links = 0;
  while (!Rest.empty()) {
    const QByteArray Part = Rest.front();
    Rest.pop_front();
    if (Part == "..") {
      Reached.truncate(std::max<qsizetype>(Reached.lastIndexOf('/'), 0));
      continue;
    }
    const QByteArray Next = Reached + '/' + Part;
    struct stat Info {};
    if (::lstat(Next.constData(), &Info) != 0) {
      // What is missing is created by the recorder itself.
      return;
    }
    if (!S_ISLNK(Info.st_mode)) {
      Reached = Next;
      continue;
    }
    if (++Links > MaxLinks || !LinkTrusted(Next, Info)) {
      throw ERecordingFailure(QStringLiteral("Record is refused: the voice-tracks folder \"%1\" is reached "
                                             "through the link \"%2\", which another user may have planted.")
                                  .arg(FPath, QFile::decodeName(Next)));
    }
    QByteArray Target(4096, '\0');
    const ssize_t Length = ::readlink(Next.constData(), Target.data(), static_cast<size_t>(Target.size()));
    if (Length < 0 || Length >= Target.size()) {
      return;  // opening the folder tells why
    }
    Target.truncate(Length);
    std::deque<QByteArray> Inserted = Components(Target);
    Rest.insert(Rest.begin(), Inserted.begin(), Inserted.end());
    if (Target.startsWith('/')) {
      Reached.clear();
    }
  }
}

void TTakeFolder::Open() {
  Close();
  CheckLinksOnTheWay();
  std::error_code Error;
  std::filesystem::create_directories(QFile::encodeName(FPath).toStdString(), Error);
  if (Error) {
    throw ERecordingFailure(QStringLiteral("Cannot create folder \"%1\". %2")
                                .arg(FPath, QString::fromLocal8Bit(Error.message())));
  }
  // Again: a link may have been put in place of a folder that was missing a moment ago.
  CheckLinksOnTheWay();
  const int Fd = ::open(QFile::encodeName(FPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Fd < 0) {
    throw ERecordingFailure(
        QStringLiteral("Cannot open folder \"%1\". %2").arg(FPath, SysErrorDescription(errno)));
  }
  // Judged on the folder that is open, which is the one the takes go into whatever is renamed.
  struct stat Info {};
  if (::fstat(Fd, &Info) != 0) {
    const int Failure = errno;
    ::close(Fd);
    throw ERecordingFailure(
        QStringLiteral("Cannot open folder \"%1\". %2").arg(FPath, SysErrorDescription(Failure)));
  }
  if (Info.st_uid != ::geteuid() && Info.st_uid != 0) {
    ::close(Fd);
    throw ERecordingFailure(
        QStringLiteral("Record is refused: the voice-tracks folder \"%1\" belongs to another user.")
            .arg(FPath));
  }
  if ((Info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (Info.st_mode & S_ISVTX) == 0) {
    ::close(Fd);
    throw ERecordingFailure(
        QStringLiteral("Record is refused: other users may change the voice-tracks folder \"%1\".")
            .arg(FPath));
  }
  FFd = Fd;
}

TNewTakeFile TTakeFolder::CreateTake(const QDateTime& AStartTime) {
  Q_ASSERT(FFd >= 0);
  const QString Base = VoiceTrackFileName(AStartTime).chopped(5);
  for (int Number = 1; Number <= MaxTakesPerSecond; ++Number) {
    const QString Name =
        Number == 1 ? Base + QStringLiteral(".flac") : Base + QStringLiteral(" (%1).flac").arg(Number);
    const QByteArray Native = QFile::encodeName(Name);
    struct stat Info {};
    if (::fstatat(FFd, Native.constData(), &Info, AT_SYMLINK_NOFOLLOW) == 0) {
      continue;
    }
    const int Fd = errno == ENOENT ? ::openat(FFd, Native.constData(),
                                              O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666)
                                   : -1;
    if (Fd >= 0) {
      return {Fd, FPath + u'/' + Name};
    }
    if (errno != EEXIST) {
      throw ERecordingFailure(QStringLiteral("Cannot create file \"%1\". %2")
                                  .arg(FPath + u'/' + Name, SysErrorDescription(errno)));
    }
  }
  throw ERecordingFailure(QStringLiteral("Cannot create file \"%1\". Every name for this second is taken")
                              .arg(FPath + u'/' + VoiceTrackFileName(AStartTime)));
}

}  // namespace wavenard
