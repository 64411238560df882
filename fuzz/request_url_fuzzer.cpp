// Request URLs and query values as the client puts them on the wire. The input is taken once as
// UTF-8 and once as raw UTF-16, which also reaches lone surrogates.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "remote/query_encoding.h"
#include "remote/request_url.h"

using namespace wavenard;

namespace {

[[noreturn]] void Fail(const char* AWhat, const QByteArray& AText) {
  std::fprintf(stderr, "%s: %s\n", AWhat, AText.constData());
  __builtin_trap();
}

int HexValue(char AChar) {
  if (AChar >= '0' && AChar <= '9') {
    return AChar - '0';
  }
  if (AChar >= 'A' && AChar <= 'F') {
    return AChar - 'A' + 10;
  }
  return -1;
}

// Every byte is kept, '+' or an upper-case escape, and undoing them gives back the text's UTF-8,
// with each lone surrogate standing for U+FFFD.
void CheckQueryValue(const QString& AText) {
  const QByteArray Encoded = EncodeQueryValue(AText);
  QByteArray Decoded;
  for (qsizetype I = 0; I < Encoded.size(); ++I) {
    const char Char = Encoded[I];
    if (Char == '+') {
      Decoded.append(' ');
    } else if (Char == '%') {
      const int High = I + 2 < Encoded.size() ? HexValue(Encoded[I + 1]) : -1;
      const int Low = High >= 0 ? HexValue(Encoded[I + 2]) : -1;
      if (Low < 0) {
        Fail("broken escape", Encoded);
      }
      Decoded.append(static_cast<char>(High * 16 + Low));
      I += 2;
    } else if (IsQueryValueSafe(Char)) {
      Decoded.append(Char);
    } else {
      Fail("unsafe byte in query value", Encoded);
    }
  }
  QString Expected;
  for (qsizetype I = 0; I < AText.size(); ++I) {
    const QChar Unit = AText[I];
    if (Unit.isHighSurrogate() && I + 1 < AText.size() && AText[I + 1].isLowSurrogate()) {
      Expected.append(Unit).append(AText[I + 1]);
      ++I;
    } else {
      Expected.append(Unit.isSurrogate() ? QChar(QChar::ReplacementCharacter) : Unit);
    }
  }
  if (Decoded != Expected.toUtf8()) {
    Fail("query value does not decode to its text", Encoded);
  }
}

bool IsPrintable(char AChar) {
  return AChar >= '!' && AChar <= '~';
}

void CheckQuery(const QString& AQuery, bool AFromUtf8) {
  const QByteArray Normalized = NormalizeQuery(AQuery);
  if (!AQuery.contains(u'%')) {
    for (const char Char : Normalized) {
      if (!IsPrintable(Char) || Char == '"' || Char == '#' || Char == '\'' || Char == '<' || Char == '>') {
        Fail("unescaped byte in normalized query", Normalized);
      }
    }
  }
  // What has been normalized is left alone the second time.
  if (AFromUtf8 && NormalizeQuery(QString::fromUtf8(Normalized)) != Normalized) {
    Fail("normalization is not stable", Normalized);
  }
}

void CheckURL(const QString& AURL) {
  const std::optional<TRequestAddress> Address = ParseRequestURL(AURL);
  if (!Address) {
    return;
  }
  if (Address->Host.isEmpty() || Address->Port < 1 || Address->Port > 65535 ||
      !Address->Target.startsWith('/')) {
    Fail("implausible address", Address->TransferURL());
  }
  const qsizetype Question = Address->Target.indexOf('?');
  for (const char Char : Address->Target.left(Question < 0 ? Address->Target.size() : Question)) {
    if (!IsPrintable(Char)) {
      Fail("unescaped byte in path", Address->Target);
    }
  }
  volatile qsizetype Sink = Address->TransferURL().size();
  (void)Sink;
}

void CheckText(const QString& AText, bool AFromUtf8) {
  CheckQueryValue(AText);
  CheckQuery(AText, AFromUtf8);
  CheckURL(AText);
  volatile qsizetype Sink = MaskPassword(AText).size();
  (void)Sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const auto* Bytes = reinterpret_cast<const char*>(AData);
  CheckText(QString::fromUtf8(Bytes, static_cast<qsizetype>(ASize)), true);
  CheckText(QString(reinterpret_cast<const QChar*>(AData), static_cast<qsizetype>(ASize / 2)), false);
  return 0;
}
