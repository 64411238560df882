#include "support/dpi.h"

#include <cstdlib>
#include <limits>

namespace wavenard {

int MulDiv(int ANumber, int ANumerator, int ADenominator) {
  if (ADenominator == 0) {
    return -1;
  }
  const long long Product = static_cast<long long>(ANumber) * ANumerator;
  long long Quotient = Product / ADenominator;
  const long long Remainder = Product % ADenominator;
  if (2 * std::llabs(Remainder) >= std::llabs(static_cast<long long>(ADenominator))) {
    Quotient += ((Product < 0) != (ADenominator < 0)) ? -1 : 1;
  }
  if (Quotient > std::numeric_limits<int>::max() || Quotient < std::numeric_limits<int>::min()) {
    return -1;
  }
  return static_cast<int>(Quotient);
}

int TDpiCache::GetCurrentDPI() {
  const std::optional<QString> Monitor = FSource.CurrentMonitor();
  if (!Monitor) {
    return FSource.ScreenDpi();
  }
  const std::int64_t Now = FSource.Now();
  if (Now - FTimestamp <= RefreshInterval) {
    if (auto It = FCache.find(*Monitor); It != FCache.end()) {
      return It->second;
    }
  }
  const int Dpi = FSource.MonitorDpi(*Monitor);
  FCache[*Monitor] = Dpi;
  FTimestamp = Now;
  return Dpi;
}

}  // namespace wavenard
