#pragma once

#include <QByteArray>

namespace wavenard::test {

// Test texts are written with "\n"; object text ends its lines with CR LF.
inline QByteArray Crlf(const char* AText) {
  return QByteArray(AText).replace("\n", "\r\n");
}

}  // namespace wavenard::test
