#include "support/system_error.h"

#include <cstring>

namespace wavenard {

QString SysErrorDescription(int ACode) {
  QString Text = QString::fromLocal8Bit(std::strerror(ACode));
  qsizetype End = Text.size();
  while (End > 0 && (Text[End - 1] == u' ' || Text[End - 1] == u'.')) {
    --End;
  }
  return Text.left(End);
}

QString SysErrorMessage(int ACode) {
  if (ACode == 0) {
    return QStringLiteral("A call to an OS function failed");
  }
  return QStringLiteral("System Error.  Code: %1.\r\n%2").arg(ACode).arg(SysErrorDescription(ACode));
}

}  // namespace wavenard
