#include "config/identifier_chars.h"

#include <QChar>

namespace wavenard {

bool IsNameChar(char32_t ACode, bool AStart) {
  if (ACode < 0x80) {
    const bool Letter = (ACode >= U'a' && ACode <= U'z') || (ACode >= U'A' && ACode <= U'Z') || ACode == U'_';
    return Letter || (!AStart && ACode >= U'0' && ACode <= U'9');
  }
  switch (QChar::category(ACode)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Number_Letter:
      return true;
    case QChar::Number_DecimalDigit:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Other_Format:
    case QChar::Punctuation_Connector:
      return !AStart;
    default:
      return false;
  }
}

}  // namespace wavenard
