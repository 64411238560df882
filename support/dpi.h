#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

namespace wavenard {

// Where the DPI cache learns about monitors; production reads Qt's screens, tests answer a table.
class TDpiSource {
 public:
  virtual ~TDpiSource() = default;
  // The name of the monitor that shows the main window, or none when there is no monitor.
  virtual std::optional<QString> CurrentMonitor() = 0;
  virtual int MonitorDpi(const QString& AMonitor) = 0;
  virtual int ScreenDpi() = 0;
  virtual std::int64_t Now() = 0;
};

// Multiply-then-divide rounded to nearest with halves away from zero; -1 when the result
// does not fit in 32 bits or the divisor is 0.
int MulDiv(int ANumber, int ANumerator, int ADenominator);

// Per-monitor DPI cache with one shared timestamp: an entry counts as fresh while any
// refresh happened within the last 30000 ms. Main thread only.
class TDpiCache final {
 public:
  static constexpr std::int64_t RefreshInterval = 30000;

  explicit TDpiCache(TDpiSource& ASource) : FSource(ASource) {}

  int GetCurrentDPI();
  int ScaleByDPI(int ASize) { return MulDiv(ASize, GetCurrentDPI(), 96); }

 private:
  TDpiSource& FSource;
  std::map<QString, int> FCache;
  std::int64_t FTimestamp = 0;
};

}  // namespace wavenard
