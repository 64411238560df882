#include "app/connection_lock.h"

#include <QIcon>

#include "remote/station_address.h"

namespace wavenard {

namespace {

constexpr int LockSize = 16;

}  // namespace

TConnectionLock::TConnectionLock(QWidget* AParent) : QLabel(AParent) {
  setObjectName(QStringLiteral("ConnectionLock"));
  setPixmap(QIcon(QStringLiteral(":/icons/lock.svg")).pixmap(LockSize, LockSize));
  hide();
}

void TConnectionLock::ShowFor(const TStationAddress& AStation) {
  if (!AStation.Tls) {
    hide();
    return;
  }
  const QString Text = QStringLiteral("Encrypted connection to %1").arg(AStation.Host);
  setAccessibleName(Text);
  setToolTip(Text);
  show();
}

}  // namespace wavenard
