#pragma once

#include "support/dpi.h"

class QWidget;

namespace wavenard {

// Reads the logical DPI of the screen that shows the given main window (or the primary screen).
class TScreenDpiSource final : public TDpiSource {
 public:
  void SetMainWindow(QWidget* AWindow) { FMainWindow = AWindow; }
  std::optional<QString> CurrentMonitor() override;
  int MonitorDpi(const QString& AMonitor) override;
  int ScreenDpi() override;
  std::int64_t Now() override;

 private:
  QWidget* FMainWindow = nullptr;
};

}  // namespace wavenard
