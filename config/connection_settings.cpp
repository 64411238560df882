#include "config/connection_settings.h"

namespace wavenard {

const TPropertyTable& TSettings::SettingsProperties() {
  static const TPropertyTable Table(
      QStringLiteral("TSettings"), &ComponentProperties(),
      {
          StringProperty(QStringLiteral("Server"), Methods(&TSettings::Server, &TSettings::SetServer)),
          IntegerProperty(QStringLiteral("Port"), Methods(&TSettings::Port, &TSettings::SetPort)),
          StringProperty(QStringLiteral("User"), Methods(&TSettings::User, &TSettings::SetUser)),
          StringProperty(QStringLiteral("Pass"), Methods(&TSettings::Pass, &TSettings::SetPass)),
      });
  return Table;
}

TConnectionValues TSettings::Snapshot() const {
  std::lock_guard Guard(FLock);
  return {FServer, FPort, FUser, FPass};
}

void TSettings::Assign(const TConnectionValues& AValues) {
  std::lock_guard Guard(FLock);
  FServer = AValues.Server;
  FPort = AValues.Port;
  FUser = AValues.User;
  FPass = AValues.Pass;
}

QString TSettings::Server() const {
  std::lock_guard Guard(FLock);
  return FServer;
}

void TSettings::SetServer(const QString& AValue) {
  std::lock_guard Guard(FLock);
  FServer = AValue;
}

qint32 TSettings::Port() const {
  std::lock_guard Guard(FLock);
  return FPort;
}

void TSettings::SetPort(qint32 AValue) {
  std::lock_guard Guard(FLock);
  FPort = AValue;
}

QString TSettings::User() const {
  std::lock_guard Guard(FLock);
  return FUser;
}

void TSettings::SetUser(const QString& AValue) {
  std::lock_guard Guard(FLock);
  FUser = AValue;
}

QString TSettings::Pass() const {
  std::lock_guard Guard(FLock);
  return FPass;
}

void TSettings::SetPass(const QString& AValue) {
  std::lock_guard Guard(FLock);
  FPass = AValue;
}

}  // namespace wavenard
