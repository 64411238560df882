#include "config/pinned_keys.h"

#include <QFileInfo>
#include <optional>

#include "config/failures.h"
#include "config/file_store.h"

namespace wavenard {

namespace {

const QLatin1StringView PinPrefix("sha256//");

struct TEntry {
  QString Address;
  QByteArray Pin;
};

QString AddressKey(QStringView AHost, int APort) {
  return AHost.toString().toLower() + u':' + QString::number(APort);
}

// "host:port sha256//..." with a port of digits and a pin of Base64 characters.
std::optional<TEntry> ReadEntry(const QString& ALine) {
  const QStringList Fields = ALine.split(u' ', Qt::SkipEmptyParts);
  if (Fields.size() != 2 || !Fields[1].startsWith(PinPrefix)) {
    return std::nullopt;
  }
  const qsizetype Colon = Fields[0].lastIndexOf(u':');
  bool PortOk = false;
  Fields[0].sliced(Colon + 1).toUInt(&PortOk, 10);
  if (Colon <= 0 || !PortOk) {
    return std::nullopt;
  }
  const QByteArray Pin = Fields[1].toLatin1();
  const auto Decoded =
      QByteArray::fromBase64Encoding(Pin.sliced(PinPrefix.size()), QByteArray::AbortOnBase64DecodingErrors);
  if (!Decoded || Decoded.decoded.size() != 32) {
    return std::nullopt;
  }
  return TEntry{Fields[0].toLower(), Pin};
}

}  // namespace

TPinnedKeys::TPinnedKeys(QString AFileName) : FFileName(std::move(AFileName)) {}

void TPinnedKeys::Load() {
  std::lock_guard Guard(FLock);
  FLines.clear();
  FLoadFailure.clear();
  if (!QFileInfo::exists(FFileName)) {
    return;
  }
  try {
    ReadRecordFile(FFileName, [this](const QByteArray& AContent) {
      FLines = QString::fromUtf8(AContent).split(u'\n');
      for (QString& Line : FLines) {
        if (Line.endsWith(u'\r')) {
          Line.chop(1);
        }
      }
      if (!FLines.isEmpty() && FLines.constLast().isEmpty()) {
        FLines.removeLast();
      }
    });
  } catch (const EFileFailure& Failure) {
    FLoadFailure = Failure.Message();
    throw;
  }
}

QByteArray TPinnedKeys::Find(QStringView AHost, int APort) const {
  const QString Key = AddressKey(AHost, APort);
  std::lock_guard Guard(FLock);
  for (const QString& Line : FLines) {
    if (const std::optional<TEntry> Entry = ReadEntry(Line); Entry && Entry->Address == Key) {
      return Entry->Pin;
    }
  }
  return {};
}

void TPinnedKeys::Pin(QStringView AHost, int APort, const QByteArray& APin) {
  const QString Key = AddressKey(AHost, APort);
  const QString NewLine = Key + u' ' + QString::fromLatin1(APin);
  if (!ReadEntry(NewLine)) {
    throw EFileFailure(QStringLiteral("Not a public key pin: \"%1\"").arg(QString::fromLatin1(APin)));
  }
  std::lock_guard Guard(FLock);
  if (!FLoadFailure.isEmpty()) {
    throw EFileFailure(FLoadFailure);
  }
  QStringList Lines = FLines;
  if (Lines.isEmpty()) {
    Lines << QStringLiteral(
        "# Station certificates trusted in Wavenard: host:port and the SHA-256 of the public key");
  }
  bool Replaced = false;
  for (QString& Line : Lines) {
    if (const std::optional<TEntry> Entry = ReadEntry(Line); Entry && Entry->Address == Key) {
      Line = NewLine;
      Replaced = true;
      break;
    }
  }
  if (!Replaced) {
    Lines << NewLine;
  }
  TWriteOptions Options;
  Options.NewFilePermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
  Options.Private = true;
  WriteRecordFile(
      FFileName, [&Lines] { return (Lines.join(u'\n') + u'\n').toUtf8(); }, Options);
  FLines = std::move(Lines);
}

}  // namespace wavenard
