#include "support/tick_count.h"

#include <chrono>

namespace wavenard {

std::int64_t TickCount() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace wavenard
