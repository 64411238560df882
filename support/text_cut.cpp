#include "support/text_cut.h"

namespace wavenard {

QString CutText(QString AText, qsizetype AMaxLength) {
  if (AText.size() <= AMaxLength) {
    return AText;
  }
  qsizetype Length = AMaxLength;
  if (Length > 0 && AText.at(Length - 1).isHighSurrogate()) {
    --Length;
  }
  // In place: a text of its own keeps its storage, which holds the ellipsis too.
  AText.truncate(Length);
  AText.append(QChar(0x2026));
  return AText;
}

}  // namespace wavenard
