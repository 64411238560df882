#pragma once

#include <QString>
#include <QtGlobal>
#include <mutex>

#include "config/component.h"

namespace wavenard {

// The four values of a connection record as they stood at one moment.
struct TConnectionValues {
  QString Server;
  qint32 Port = 0;
  QString User;
  QString Pass;

  bool operator==(const TConnectionValues&) const = default;
};

// The station's address and the account used on it; one instance for the run, shared by the
// window, the settings dialog and every request worker (which keep it alive while they run).
// Each accessor takes the record's lock; a caller that needs several values to belong together
// takes them with Snapshot() and sets them with Assign(). Writing or reading the record's text
// holds the lock throughout, so a worker never sees a half-read record.
class TSettings final : public TComponent {
 public:
  TSettings() = default;

  TConnectionValues Snapshot() const;
  void Assign(const TConnectionValues& AValues);

  QString Server() const;
  void SetServer(const QString& AValue);
  qint32 Port() const;
  void SetPort(qint32 AValue);
  QString User() const;
  void SetUser(const QString& AValue);
  QString Pass() const;
  void SetPass(const QString& AValue);

  // Server, Port, User and Pass; the texts are left out while empty, the port is always written.
  static const TPropertyTable& SettingsProperties();
  const TPropertyTable& PropertyTable() const override { return SettingsProperties(); }
  void BeginValueAccess() const override { FLock.lock(); }
  void EndValueAccess() const override { FLock.unlock(); }

 private:
  // Tests see from another thread whether the record is held.
  friend struct TSettingsLockProbe;

  // Re-entrant, so the accessors may be called while the record's text is read or written.
  mutable std::recursive_mutex FLock;
  QString FServer;
  qint32 FPort = 0;
  QString FUser;
  QString FPass;
};

}  // namespace wavenard
