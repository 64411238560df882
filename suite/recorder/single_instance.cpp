#include "suite/recorder/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>

namespace wavenard {

namespace {

const QByteArray RaiseRequest = QByteArrayLiteral("raise\n");
// How long a later start tries to reach the first, which may itself be starting.
constexpr int ReachMs = 5000;

}  // namespace

TSingleInstance::TSingleInstance(const QString& ASettingsFolder, const QString& ARuntimeFolder,
                                 QObject* AParent)
    : QObject(AParent), FServer(this) {
  const QByteArray Key = QCryptographicHash::hash(QFile::encodeName(QDir::cleanPath(ASettingsFolder)),
                                                  QCryptographicHash::Sha256)
                             .toHex()
                             .left(24);
  // Without a runtime folder of its own the user shares the temporary folder with others: a lock
  // file someone else made there cannot be opened, and the recorder then runs unchecked.
  const QString Folder = ARuntimeFolder.isEmpty() ? QDir::tempPath() : ARuntimeFolder;
  const QString Base = Folder + QStringLiteral("/pellorin-") + QString::fromLatin1(Key);
  FLockFileName = Base + QStringLiteral(".lock");
  FSocketName = Base + QStringLiteral(".socket");
  FServer.setSocketOptions(QLocalServer::UserAccessOption);
  connect(&FServer, &QLocalServer::newConnection, this, &TSingleInstance::Answer);
}

TSingleInstance::~TSingleInstance() {
  FServer.close();
  if (FLockFd >= 0) {
    ::close(FLockFd);
  }
}

bool TSingleInstance::Claim() {
  QDir().mkpath(QFileInfo(FLockFileName).path());
  FLockFd =
      ::open(QFile::encodeName(FLockFileName).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (FLockFd >= 0 && ::flock(FLockFd, LOCK_EX | LOCK_NB) == 0) {
    // A socket left by a recorder that was killed is nobody's now.
    QLocalServer::removeServer(FSocketName);
    FServer.listen(FSocketName);
    return true;
  }
  if (FLockFd < 0) {
    // Without a lock file nothing can be told apart: record rather than refuse.
    return true;
  }
  ::close(FLockFd);
  FLockFd = -1;
  QElapsedTimer Trying;
  Trying.start();
  while (Trying.elapsed() < ReachMs) {
    QLocalSocket Socket;
    Socket.connectToServer(FSocketName);
    if (Socket.waitForConnected(1000)) {
      Socket.write(RaiseRequest);
      Socket.waitForBytesWritten(1000);
      Socket.disconnectFromServer();
      return false;
    }
    QThread::msleep(100);
  }
  return false;
}

void TSingleInstance::Answer() {
  while (QLocalSocket* Socket = FServer.nextPendingConnection()) {
    connect(Socket, &QLocalSocket::disconnected, Socket, &QObject::deleteLater);
    const auto Read = [this, Socket] {
      if (Socket->canReadLine() && Socket->readLine() == RaiseRequest) {
        emit RaiseRequested();
        Socket->disconnectFromServer();
      }
    };
    connect(Socket, &QLocalSocket::readyRead, this, Read);
    Read();
  }
}

}  // namespace wavenard
