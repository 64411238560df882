#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace wavenard::sim {

// What the stream information block at the start of a FLAC file says about its length.
struct TFlacInfo {
  uint32_t SampleRate = 0;
  uint64_t TotalSamples = 0;  // 0 when the encoder did not know it

  // Length in whole milliseconds, rounded to the nearest.
  int64_t DurationMs() const;
};

// Reads "fLaC" followed by the mandatory STREAMINFO block. Files tagged with a leading ID3v2
// header are accepted too. No result when the bytes are not a FLAC stream or are cut short.
std::optional<TFlacInfo> ReadFlacHeader(std::string_view ABytes);

}  // namespace wavenard::sim
