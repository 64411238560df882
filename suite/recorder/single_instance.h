#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace wavenard {

// One recorder per settings folder. The first to take the lock on a file of the user's runtime
// folder, named after the settings folder, is the recorder and answers on a local socket beside
// it; a later start asks it to come to the front and ends. The lock goes with the process that
// holds it, however it ends, so a killed recorder never blocks the next one, and two started at
// the same moment cannot both win (a socket alone leaves a stale name behind and lets two race).
class TSingleInstance final : public QObject {
  Q_OBJECT

 public:
  // ARuntimeFolder: where the lock and the socket go, private to the user.
  TSingleInstance(const QString& ASettingsFolder, const QString& ARuntimeFolder, QObject* AParent = nullptr);
  ~TSingleInstance() override;
  Q_DISABLE_COPY_MOVE(TSingleInstance)

  // True when this is the one recorder; false when another is running, which was then asked to
  // come to the front (as far as it could be reached within a few seconds).
  bool Claim();

  const QString& LockFileName() const { return FLockFileName; }

 signals:
  // A later start asked for the window.
  void RaiseRequested();

 private:
  void Answer();

  QString FLockFileName;
  QString FSocketName;
  int FLockFd = -1;
  QLocalServer FServer;
};

}  // namespace wavenard
