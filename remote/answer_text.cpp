#include "remote/answer_text.h"

#include <QList>
#include <QStringDecoder>

namespace wavenard {

QByteArray CharsetOf(const QByteArray& AContentType) {
  const QList<QByteArray> Parts = AContentType.split(';');
  for (qsizetype I = 1; I < Parts.size(); ++I) {
    const qsizetype Equals = Parts[I].indexOf('=');
    if (Equals < 0 || Parts[I].left(Equals).trimmed().compare("charset", Qt::CaseInsensitive) != 0) {
      continue;
    }
    QByteArray Value = Parts[I].mid(Equals + 1).trimmed();
    if (Value.size() >= 2 && Value.startsWith('"') && Value.endsWith('"')) {
      Value = Value.mid(1, Value.size() - 2).trimmed();
    }
    return Value;
  }
  return {};
}

std::optional<QString> DecodeAnswerBody(const QByteArray& ABody, const QByteArray& AContentType) {
  const QByteArray Charset = CharsetOf(AContentType);
  if (Charset.isEmpty() || Charset.compare("utf-8", Qt::CaseInsensitive) == 0) {
    return QString::fromUtf8(ABody);
  }
  QStringDecoder Decoder(Charset.constData());
  if (!Decoder.isValid()) {
    return std::nullopt;
  }
  return Decoder.decode(ABody);
}

}  // namespace wavenard
