#pragma once

#include "support/failure.h"

namespace wavenard {

// A recording that cannot start or go on, carrying the reason the user is shown.
class ERecordingFailure final : public EFailure {
 public:
  using EFailure::EFailure;
};

}  // namespace wavenard
