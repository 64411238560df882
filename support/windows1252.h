#pragma once

#include <QByteArrayView>
#include <QString>

namespace wavenard {

// The 8-bit legacy code page the suite writes its files in, Windows-1252. Its five unassigned
// bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same number, as
// the system's own conversion does.
char16_t Windows1252ToUnicode(unsigned char AByte);
QString DecodeWindows1252(QByteArrayView ABytes);
// The text in the code page; a character it lacks becomes "?", as the system converts.
QByteArray EncodeWindows1252(QStringView AText);
// The byte for a character, or -1 when the code page has none.
int UnicodeToWindows1252(char16_t AChar);

}  // namespace wavenard
