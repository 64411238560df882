#include "support/widgets/screen_dpi_source.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "support/tick_count.h"

namespace wavenard {

namespace {

QScreen* ScreenByName(const QString& AName) {
  for (QScreen* Screen : QGuiApplication::screens()) {
    if (Screen->name() == AName) {
      return Screen;
    }
  }
  return nullptr;
}

}  // namespace

std::optional<QString> TScreenDpiSource::CurrentMonitor() {
  QScreen* Screen = FMainWindow != nullptr ? FMainWindow->screen() : QGuiApplication::primaryScreen();
  if (Screen == nullptr) {
    return std::nullopt;
  }
  return Screen->name();
}

int TScreenDpiSource::MonitorDpi(const QString& AMonitor) {
  QScreen* Screen = ScreenByName(AMonitor);
  return Screen != nullptr ? qRound(Screen->logicalDotsPerInch()) : ScreenDpi();
}

int TScreenDpiSource::ScreenDpi() {
  QScreen* Screen = QGuiApplication::primaryScreen();
  return Screen != nullptr ? qRound(Screen->logicalDotsPerInch()) : 96;
}

std::int64_t TScreenDpiSource::Now() {
  return TickCount();
}

}  // namespace wavenard
