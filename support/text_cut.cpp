#include "support/text_cut.h"

namespace wavenard {

QString CutText(const QString& AText, qsizetype AMaxLength) {
  if (AText.size() <= AMaxLength) {
    return AText;
  }
  qsizetype Length = AMaxLength;
  if (Length > 0 && AText.at(Length - 1).isHighSurrogate()) {
    --Length;
  }
  return AText.left(Length) + QChar(0x2026);
}

}  // namespace wavenard
