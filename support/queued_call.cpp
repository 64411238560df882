#include "support/queued_call.h"

namespace wavenard::detail {

std::recursive_mutex& QueuedCallLock() {
  static std::recursive_mutex Lock;
  return Lock;
}

}  // namespace wavenard::detail
