#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>

namespace wavenard {

struct TConnectionValues;

// "http://" Server ":" Port, and with credentials "/?user=...&pass=..." with both values
// query-encoded. Server is put in as stored, unchecked; one that begins with "https://" or
// "http://" gives that scheme and the rest of it (TStationAddress).
QString BuildURL(const TConnectionValues& AConnection, bool AWithCredentials);

// Where a request URL sends its request: the host and port to connect to, and the request
// target as it goes on the wire.
struct TRequestAddress {
  bool Tls = false;
  QByteArray Host;  // an IPv6 address keeps its brackets
  int Port = 80;
  QByteArray Target;

  // The URL handed to the HTTP client, which sends Target unchanged.
  QByteArray TransferURL() const;
};

// Parses an "http://host:port/path?query" or "https://..." URL. The port must be given; 0 and
// negative ports connect to 80 (443 for https), ports above 65535 make the URL invalid, as does anything but
// a plain host name or bracketed IPv6 address before the port. The path gets "/" when it is empty and the
// query is normalized.
std::optional<TRequestAddress> ParseRequestURL(QStringView AURL);

// The query normalization of the HTTP layer: a name or value holding a percent-escape is
// kept as it is; one without gets '"', '#', '\'', '<', '>', '%' and every character outside
// '!'..'~' percent-encoded from UTF-8.
QByteArray NormalizeQuery(QStringView AQuery);

// AURL with the value of every "pass" query parameter replaced by "***", for messages.
QString MaskPassword(const QString& AURL);

}  // namespace wavenard
