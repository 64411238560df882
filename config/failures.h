#pragma once

#include "support/failure.h"

namespace wavenard {

// A failure of the settings storage, carrying the text the user is shown.
class ESettingsFailure : public EFailure {
 public:
  using EFailure::EFailure;
};

// The file cannot be created, opened or read, or an entry of its text cannot be read into the record.
class EFileFailure final : public ESettingsFailure {
 public:
  using ESettingsFailure::ESettingsFailure;
};

// The text is not object text; nothing of it has been applied.
class ESyntaxFailure final : public ESettingsFailure {
 public:
  using ESettingsFailure::ESettingsFailure;
};

}  // namespace wavenard
