#pragma once

#include <QString>
#include <QStringView>

namespace wavenard {

// The Server setting read for its scheme. "https://host" (any letter case) asks for TLS;
// "http://host" is plain HTTP like a bare host. A bare host is taken as it stands, so that the
// request URL is exactly what it has always been.
struct TStationAddress {
  bool Tls = false;
  // Server without its scheme; with a scheme also without one trailing "/", as an address
  // copied from a browser has it.
  QString Host;

  static TStationAddress FromServer(const QString& AServer);
  QString Scheme() const { return Tls ? QStringLiteral("https") : QStringLiteral("http"); }
};

// Whether AHost names this machine by loopback: "localhost" (or a name below it), an IPv4
// address in 127.0.0.0/8, or the IPv6 address ::1, with or without brackets. Names are not
// looked up.
bool IsLoopbackHost(QStringView AHost);

}  // namespace wavenard
