#include "remote/query_encoding.h"

#include <array>

namespace wavenard {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

constexpr std::array<bool, 128> MakeSafeTable() {
  std::array<bool, 128> Table{};
  for (int C = 'A'; C <= 'Z'; ++C) {
    Table[C] = true;
    Table[C + ('a' - 'A')] = true;
  }
  for (int C = '0'; C <= '9'; ++C) {
    Table[C] = true;
  }
  for (char C : {'!', '$', '\'', '(', ')', '*', '-', '.', '@', '_'}) {
    Table[static_cast<unsigned char>(C)] = true;
  }
  return Table;
}

constexpr std::array<bool, 128> SafeTable = MakeSafeTable();

void AppendUtf8Escaped(QByteArray& ATarget, char32_t ACodePoint) {
  unsigned char Bytes[4];
  int Count = 0;
  if (ACodePoint < 0x800) {
    Bytes[0] = static_cast<unsigned char>(0xC0 | (ACodePoint >> 6));
    Count = 1;
  } else if (ACodePoint < 0x10000) {
    Bytes[0] = static_cast<unsigned char>(0xE0 | (ACodePoint >> 12));
    Bytes[1] = static_cast<unsigned char>(0x80 | ((ACodePoint >> 6) & 0x3F));
    Count = 2;
  } else {
    Bytes[0] = static_cast<unsigned char>(0xF0 | (ACodePoint >> 18));
    Bytes[1] = static_cast<unsigned char>(0x80 | ((ACodePoint >> 12) & 0x3F));
    Bytes[2] = static_cast<unsigned char>(0x80 | ((ACodePoint >> 6) & 0x3F));
    Count = 3;
  }
  Bytes[Count++] = static_cast<unsigned char>(0x80 | (ACodePoint & 0x3F));
  for (int I = 0; I < Count; ++I) {
    AppendPercentEscape(ATarget, Bytes[I]);
  }
}

}  // namespace

bool IsQueryValueSafe(char AChar) {
  const auto Byte = static_cast<unsigned char>(AChar);
  return Byte < 128 && SafeTable[Byte];
}

void AppendPercentEscape(QByteArray& ATarget, unsigned char AByte) {
  const char Escape[3] = {'%', HexDigits[AByte >> 4], HexDigits[AByte & 0x0F]};
  ATarget.append(Escape, 3);
}

void AppendQueryValue(QByteArray& ATarget, QStringView AText) {
  const qsizetype Length = AText.size();
  for (qsizetype I = 0; I < Length; ++I) {
    const char16_t Unit = AText[I].unicode();
    if (Unit < 128) {
      if (SafeTable[Unit]) {
        ATarget.append(static_cast<char>(Unit));
      } else if (Unit == u' ') {
        ATarget.append('+');
      } else {
        AppendPercentEscape(ATarget, static_cast<unsigned char>(Unit));
      }
      continue;
    }
    char32_t CodePoint = Unit;
    if (QChar::isHighSurrogate(Unit) && I + 1 < Length && QChar::isLowSurrogate(AText[I + 1].unicode())) {
      CodePoint = QChar::surrogateToUcs4(Unit, AText[I + 1].unicode());
      ++I;
    } else if (QChar::isSurrogate(Unit)) {
      CodePoint = 0xFFFD;
    }
    AppendUtf8Escaped(ATarget, CodePoint);
  }
}

QByteArray EncodeQueryValue(QStringView AText) {
  QByteArray Result;
  Result.reserve(AText.size());
  AppendQueryValue(Result, AText);
  return Result;
}

}  // namespace wavenard
