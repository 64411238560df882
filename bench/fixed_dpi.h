#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "support/dpi.h"

namespace wavenard::bench {

// One monitor at 96 DPI and a clock that stands still: the window is measured, not the screen.
class TFixedDpi final : public TDpiSource {
 public:
  std::optional<QString> CurrentMonitor() override { return QStringLiteral("M"); }
  int MonitorDpi(const QString&) override { return 96; }
  int ScreenDpi() override { return 96; }
  std::int64_t Now() override { return 0; }
};

}  // namespace wavenard::bench
