#include "support/windows1252.h"

namespace wavenard {

namespace {

constexpr char16_t High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};

}  // namespace

char16_t Windows1252ToUnicode(unsigned char AByte) {
  return AByte >= 0x80 && AByte < 0xA0 ? High[AByte - 0x80] : static_cast<char16_t>(AByte);
}

QString DecodeWindows1252(QByteArrayView ABytes) {
  QString Text(ABytes.size(), Qt::Uninitialized);
  QChar* Out = Text.data();
  for (const char Byte : ABytes) {
    *Out++ = QChar(Windows1252ToUnicode(static_cast<unsigned char>(Byte)));
  }
  return Text;
}

QByteArray EncodeWindows1252(QStringView AText) {
  QByteArray Result;
  Result.reserve(AText.size());
  for (const QChar Char : AText) {
    const int Byte = UnicodeToWindows1252(Char.unicode());
    Result += Byte < 0 ? '?' : static_cast<char>(Byte);
  }
  return Result;
}

int UnicodeToWindows1252(char16_t AChar) {
  if (AChar < 0x80 || (AChar >= 0xA0 && AChar <= 0xFF)) {
    return AChar;
  }
  for (int I = 0; I < 32; ++I) {
    if (High[I] == AChar) {
      return 0x80 + I;
    }
  }
  return -1;
}

}  // namespace wavenard
