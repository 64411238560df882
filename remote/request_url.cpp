#include "remote/request_url.h"

#include <QStringList>
#include <algorithm>
#include <cstring>

#include "config/connection_settings.h"
#include "remote/query_encoding.h"
#include "remote/station_address.h"
#include "support/hex_digits.h"

namespace wavenard {

namespace {

constexpr int DefaultHttpPort = 80;
constexpr int DefaultHttpsPort = 443;

bool HasPercentEscape(QStringView AText) {
  for (qsizetype I = 0; I + 2 < AText.size(); ++I) {
    if (AText[I] == u'%' && IsHexDigit(AText[I + 1].unicode()) && IsHexDigit(AText[I + 2].unicode())) {
      return true;
    }
  }
  return false;
}

// Percent-encodes the UTF-8 bytes outside '!'..'~' and those in AAlso.
void AppendEscaped(QByteArray& ATarget, QStringView AText, const char* AAlso) {
  for (const char Char : AText.toUtf8()) {
    const auto Byte = static_cast<unsigned char>(Char);
    if (Byte < '!' || Byte > '~' || std::strchr(AAlso, Char) != nullptr) {
      AppendPercentEscape(ATarget, Byte);
    } else {
      ATarget.append(Char);
    }
  }
}

void AppendQueryComponent(QByteArray& ATarget, QStringView AComponent) {
  if (HasPercentEscape(AComponent)) {
    ATarget.append(AComponent.toUtf8());
  } else {
    AppendEscaped(ATarget, AComponent, "\"#'<>%");
  }
}

bool IsHostChar(char16_t AChar) {
  return AChar >= 0x80 || (AChar >= u'a' && AChar <= u'z') || (AChar >= u'A' && AChar <= u'Z') ||
         (AChar >= u'0' && AChar <= u'9') || AChar == u'-' || AChar == u'.' || AChar == u'_' || AChar == u'~';
}

bool IsValidHost(QStringView AHost) {
  if (AHost.isEmpty()) {
    return false;
  }
  if (AHost.front() == u'[') {
    if (AHost.size() < 3 || AHost.back() != u']') {
      return false;
    }
    for (const QChar Char : AHost.mid(1, AHost.size() - 2)) {
      if (!IsHexDigit(Char.unicode()) && Char != u':' && Char != u'.') {
        return false;
      }
    }
    return true;
  }
  for (const QChar Char : AHost) {
    if (!IsHostChar(Char.unicode())) {
      return false;
    }
  }
  return true;
}

// "-"? digits; returns the port to connect to, or nothing when the text is no usable port.
std::optional<int> ParsePort(QStringView AText, int ADefault) {
  const bool Negative = AText.startsWith(u'-');
  const QStringView Digits = Negative ? AText.mid(1) : AText;
  if (Digits.isEmpty()) {
    return std::nullopt;
  }
  qint64 Value = 0;
  for (const QChar Char : Digits) {
    if (Char < u'0' || Char > u'9') {
      return std::nullopt;
    }
    Value = std::min<qint64>(Value * 10 + (Char.unicode() - u'0'), 1'000'000);
  }
  if (Negative || Value == 0) {
    return ADefault;
  }
  if (Value > 65535) {
    return std::nullopt;
  }
  return static_cast<int>(Value);
}

}  // namespace

QString BuildURL(const TConnectionValues& AConnection, bool AWithCredentials) {
  const TStationAddress Station = TStationAddress::FromServer(AConnection.Server);
  // One arg() for all three: a "%1" inside the server name must stay as it is.
  QString URL =
      QStringLiteral("%1://%2:%3").arg(Station.Scheme(), Station.Host, QString::number(AConnection.Port));
  if (AWithCredentials) {
    URL += QStringLiteral("/?user=%1&pass=%2")
               .arg(QString::fromLatin1(EncodeQueryValue(AConnection.User)),
                    QString::fromLatin1(EncodeQueryValue(AConnection.Pass)));
  }
  return URL;
}

QByteArray TRequestAddress::TransferURL() const {
  return (Tls ? "https://" : "http://") + Host + ':' + QByteArray::number(Port) + Target;
}

std::optional<TRequestAddress> ParseRequestURL(QStringView AURL) {
  const QStringView Http = u"http://";
  const QStringView Https = u"https://";
  const bool Tls = AURL.startsWith(Https, Qt::CaseInsensitive);
  if (!Tls && !AURL.startsWith(Http, Qt::CaseInsensitive)) {
    return std::nullopt;
  }
  QStringView Rest = AURL.mid(Tls ? Https.size() : Http.size());
  if (const qsizetype Hash = Rest.indexOf(u'#'); Hash >= 0) {
    Rest = Rest.left(Hash);
  }
  qsizetype AuthorityEnd = 0;
  while (AuthorityEnd < Rest.size() && Rest[AuthorityEnd] != u'/' && Rest[AuthorityEnd] != u'?') {
    ++AuthorityEnd;
  }
  const QStringView Authority = Rest.left(AuthorityEnd);
  const qsizetype HostEnd =
      Authority.startsWith(u'[') ? Authority.indexOf(u']') + 1 : Authority.indexOf(u':');
  if (HostEnd <= 0 || HostEnd >= Authority.size() || Authority[HostEnd] != u':') {
    return std::nullopt;
  }
  const QStringView Host = Authority.left(HostEnd);
  const std::optional<int> Port =
      ParsePort(Authority.mid(HostEnd + 1), Tls ? DefaultHttpsPort : DefaultHttpPort);
  if (!IsValidHost(Host) || !Port) {
    return std::nullopt;
  }

  TRequestAddress Address;
  Address.Tls = Tls;
  Address.Host = Host.toUtf8();
  Address.Port = *Port;
  const QStringView PathAndQuery = Rest.mid(AuthorityEnd);
  const qsizetype Question = PathAndQuery.indexOf(u'?');
  const QStringView Path = Question >= 0 ? PathAndQuery.left(Question) : PathAndQuery;
  if (Path.isEmpty()) {
    Address.Target = "/";
  } else {
    AppendEscaped(Address.Target, Path, "");
  }
  if (Question >= 0) {
    Address.Target += '?' + NormalizeQuery(PathAndQuery.mid(Question + 1));
  }
  return Address;
}

QByteArray NormalizeQuery(QStringView AQuery) {
  QByteArray Result;
  Result.reserve(AQuery.size());
  bool First = true;
  for (const QStringView Part : AQuery.tokenize(u'&')) {
    if (!First) {
      Result.append('&');
    }
    First = false;
    const qsizetype Equals = Part.indexOf(u'=');
    if (Equals <= 0) {
      AppendQueryComponent(Result, Part);
      continue;
    }
    AppendQueryComponent(Result, Part.left(Equals));
    Result.append('=');
    AppendQueryComponent(Result, Part.mid(Equals + 1));
  }
  return Result;
}

QString MaskPassword(const QString& AURL) {
  // Every "pass=" that starts a query part, wherever a '?' or '&' puts one (a server name may
  // hold either, and '#' too), has its value up to the next '&' or '#' hidden.
  static const QLatin1StringView Key("pass=");
  QString Result;
  Result.reserve(AURL.size());
  qsizetype Done = 0;
  for (qsizetype At = AURL.indexOf(Key); At >= 0; At = AURL.indexOf(Key, At + 1)) {
    if (At == 0 || (AURL[At - 1] != u'?' && AURL[At - 1] != u'&') || At < Done) {
      continue;
    }
    qsizetype ValueEnd = At + Key.size();
    while (ValueEnd < AURL.size() && AURL[ValueEnd] != u'&' && AURL[ValueEnd] != u'#') {
      ++ValueEnd;
    }
    Result += QStringView(AURL).sliced(Done, At + Key.size() - Done);
    Result += QLatin1StringView("***");
    Done = ValueEnd;
  }
  Result += QStringView(AURL).sliced(Done);
  return Result;
}

}  // namespace wavenard
