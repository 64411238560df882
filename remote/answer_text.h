#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace wavenard {

// The value of the "charset" parameter of a Content-Type header, trimmed and unquoted;
// empty when there is none.
QByteArray CharsetOf(const QByteArray& AContentType);

// An answer body as text in the character set its Content-Type names, UTF-8 when it names
// none or "utf-8" in any letter case. Nothing when the character set is unknown.
std::optional<QString> DecodeAnswerBody(const QByteArray& ABody, const QByteArray& AContentType);

}  // namespace wavenard
