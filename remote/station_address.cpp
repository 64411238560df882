#include "remote/station_address.h"

namespace wavenard {

namespace {

// Four decimal parts of 0 to 255, the first 127.
bool IsIPv4Loopback(QStringView AHost) {
  int Parts = 0;
  for (const QStringView Part : AHost.tokenize(u'.')) {
    bool Ok = false;
    const uint Value = Part.toUInt(&Ok, 10);
    if (!Ok || Part.isEmpty() || Part.size() > 3 || Value > 255 || (Parts == 0 && Value != 127)) {
      return false;
    }
    ++Parts;
  }
  return Parts == 4;
}

// "::1" in any of its spellings: nothing but zeros and colons before a last group of 1.
bool IsIPv6Loopback(QStringView AHost) {
  const qsizetype LastColon = AHost.lastIndexOf(u':');
  if (LastColon < 1) {
    return false;
  }
  bool Ok = false;
  const QStringView Last = AHost.sliced(LastColon + 1);
  if (Last.isEmpty() || Last.size() > 4 || Last.toUInt(&Ok, 16) != 1 || !Ok) {
    return false;
  }
  for (const QChar Char : AHost.first(LastColon)) {
    if (Char != u'0' && Char != u':') {
      return false;
    }
  }
  return true;
}

}  // namespace

TStationAddress TStationAddress::FromServer(const QString& AServer) {
  static const QLatin1StringView Https("https://");
  static const QLatin1StringView Http("http://");
  TStationAddress Address;
  QStringView Rest;
  if (AServer.startsWith(Https, Qt::CaseInsensitive)) {
    Address.Tls = true;
    Rest = QStringView(AServer).sliced(Https.size());
  } else if (AServer.startsWith(Http, Qt::CaseInsensitive)) {
    Rest = QStringView(AServer).sliced(Http.size());
  } else {
    Address.Host = AServer;
    return Address;
  }
  if (Rest.endsWith(u'/')) {
    Rest.chop(1);
  }
  Address.Host = Rest.toString();
  return Address;
}

bool IsLoopbackHost(QStringView AHost) {
  QStringView Host = AHost;
  if (Host.startsWith(u'[') && Host.endsWith(u']')) {
    Host = Host.sliced(1, Host.size() - 2);
  }
  if (Host.endsWith(u'.')) {
    Host.chop(1);
  }
  if (Host.compare(u"localhost", Qt::CaseInsensitive) == 0 ||
      Host.endsWith(u".localhost", Qt::CaseInsensitive)) {
    return true;
  }
  return IsIPv4Loopback(Host) || IsIPv6Loopback(Host);
}

}  // namespace wavenard
