#pragma once

#include <QString>
#include <QtGlobal>
#include <mutex>

namespace wavenard {

// The station's address and the account used on it; one instance for the run, shared by the
// window, the settings dialog and every request worker (which keep it alive while they run).
// Each accessor takes the record's lock; a caller that needs several values to belong together
// holds Lock() around all of its reads or writes.
class TSettings final {
 public:
  TSettings() = default;
  Q_DISABLE_COPY_MOVE(TSettings)

  // Re-entrant, so the accessors may be called while the caller holds it.
  std::recursive_mutex& Lock() const { return FLock; }

  QString Server() const;
  void SetServer(const QString& AValue);
  qint32 Port() const;
  void SetPort(qint32 AValue);
  QString User() const;
  void SetUser(const QString& AValue);
  QString Pass() const;
  void SetPass(const QString& AValue);

 private:
  mutable std::recursive_mutex FLock;
  QString FServer;
  qint32 FPort = 0;
  QString FUser;
  QString FPass;
};

}  // namespace wavenard
