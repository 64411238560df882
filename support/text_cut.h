#pragma once

#include <QString>

namespace wavenard {

// AText when it has at most AMaxLength characters; otherwise its first AMaxLength characters and
// an ellipsis, one fewer when the cut would split a surrogate pair.
QString CutText(QString AText, qsizetype AMaxLength);

}  // namespace wavenard
