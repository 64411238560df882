#pragma once

#include <QByteArray>
#include <QStringView>

namespace wavenard {

// The percent-encoding of the user name, the password and every form value: letters, digits
// and !$'()*-.@_ stay, a blank becomes '+', everything else becomes %XX of its UTF-8 bytes
// (upper-case digits). A lone surrogate is encoded as U+FFFD. The result is pure ASCII.
QByteArray EncodeQueryValue(QStringView AText);

// Appends the encoding of AText to ATarget.
void AppendQueryValue(QByteArray& ATarget, QStringView AText);

// True for the bytes that the encoding keeps as they are.
bool IsQueryValueSafe(char AChar);

// The two upper-case hexadecimal digits of AByte after a '%'.
void AppendPercentEscape(QByteArray& ATarget, unsigned char AByte);

}  // namespace wavenard
