#pragma once

#include "config/connection_settings.h"

namespace wavenard {

// Reaches the connection record's lock, which only the record itself takes otherwise.
struct TSettingsLockProbe {
  // Whether the calling thread could take the record's lock just now; it is given back at once.
  static bool CouldTake(const TSettings& ASettings) {
    if (!ASettings.FLock.try_lock()) {
      return false;
    }
    ASettings.FLock.unlock();
    return true;
  }
};

}  // namespace wavenard
