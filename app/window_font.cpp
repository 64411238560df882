#include "app/window_font.h"

#include <QFontDatabase>
#include <QStringList>

namespace wavenard {

QFont WindowFont() {
  const QString Family = QStringLiteral("Segoe UI");
  QFont Font = QFontDatabase::families().contains(Family)
                   ? QFont(Family)
                   : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  Font.setPointSize(9);
  return Font;
}

}  // namespace wavenard
