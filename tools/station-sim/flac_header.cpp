#include "tools/station-sim/flac_header.h"

namespace wavenard::sim {

namespace {

constexpr size_t StreamInfoSize = 34;

uint8_t ByteAt(std::string_view ABytes, size_t AIndex) {
  return static_cast<uint8_t>(ABytes[AIndex]);
}

// An ID3v2 header is 10 bytes with a 28-bit "synchsafe" size of the tag that follows it.
size_t SkipId3(std::string_view ABytes) {
  if (ABytes.size() < 10 || ABytes.substr(0, 3) != "ID3") {
    return 0;
  }
  size_t Size = 0;
  for (size_t I = 6; I < 10; ++I) {
    Size = (Size << 7) | (ByteAt(ABytes, I) & 0x7F);
  }
  const bool HasFooter = (ByteAt(ABytes, 5) & 0x10) != 0;
  return 10 + Size + (HasFooter ? 10 : 0);
}

}  // namespace

int64_t TFlacInfo::DurationMs() const {
  if (SampleRate == 0) {
    return 0;
  }
  return static_cast<int64_t>((TotalSamples * 1000 + SampleRate / 2) / SampleRate);
}

std::optional<TFlacInfo> ReadFlacHeader(std::string_view ABytes) {
  const size_t Start = SkipId3(ABytes);
  if (Start >= ABytes.size()) {
    return std::nullopt;
  }
  const std::string_view Stream = ABytes.substr(Start);
  // "fLaC", then a block header (last-block flag and type 0, 24-bit length), then STREAMINFO.
  if (Stream.size() < 8 + StreamInfoSize || Stream.substr(0, 4) != "fLaC") {
    return std::nullopt;
  }
  const uint8_t BlockType = ByteAt(Stream, 4) & 0x7F;
  const size_t BlockLength =
      (size_t{ByteAt(Stream, 5)} << 16) | (size_t{ByteAt(Stream, 6)} << 8) | ByteAt(Stream, 7);
  if (BlockType != 0 || BlockLength < StreamInfoSize) {
    return std::nullopt;
  }
  const std::string_view Info = Stream.substr(8, StreamInfoSize);
  // Bytes 0-9 hold block and frame sizes; then 20 bits of sample rate, 3 of channels, 5 of bits
  // per sample and 36 of total samples.
  TFlacInfo Result;
  Result.SampleRate =
      (uint32_t{ByteAt(Info, 10)} << 12) | (uint32_t{ByteAt(Info, 11)} << 4) | (ByteAt(Info, 12) >> 4);
  Result.TotalSamples = (uint64_t{ByteAt(Info, 13)} & 0x0F) << 32;
  for (size_t I = 14; I < 18; ++I) {
    Result.TotalSamples |= uint64_t{ByteAt(Info, I)} << (8 * (17 - I));
  }
  if (Result.SampleRate == 0) {
    return std::nullopt;  // a FLAC stream never has a zero sample rate
  }
  return Result;
}

}  // namespace wavenard::sim
