#pragma once

#include <cstdint>

namespace wavenard {

// Milliseconds from a steady clock; 64-bit, never wraps.
std::int64_t TickCount();

}  // namespace wavenard
