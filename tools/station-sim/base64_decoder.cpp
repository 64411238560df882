#include "tools/station-sim/base64_decoder.h"

namespace wavenard::sim {

namespace {

int SextetOf(char AChar) {
  if (AChar >= 'A' && AChar <= 'Z') {
    return AChar - 'A';
  }
  if (AChar >= 'a' && AChar <= 'z') {
    return AChar - 'a' + 26;
  }
  if (AChar >= '0' && AChar <= '9') {
    return AChar - '0' + 52;
  }
  if (AChar == '+') {
    return 62;
  }
  if (AChar == '/') {
    return 63;
  }
  return -1;
}

}  // namespace

std::optional<std::string> DecodeBase64(std::string_view AText) {
  std::string Clean;
  Clean.reserve(AText.size());
  for (char Char : AText) {
    if (Char != '\r' && Char != '\n') {
      Clean.push_back(Char);
    }
  }
  if (Clean.size() % 4 != 0) {
    return std::nullopt;
  }
  size_t Padding = 0;
  while (Padding < 2 && Padding < Clean.size() && Clean[Clean.size() - 1 - Padding] == '=') {
    ++Padding;
  }
  std::string Result;
  Result.reserve(Clean.size() / 4 * 3);
  const size_t Digits = Clean.size() - Padding;
  unsigned Bits = 0;
  int Count = 0;
  for (size_t I = 0; I < Digits; ++I) {
    const int Sextet = SextetOf(Clean[I]);
    if (Sextet < 0) {
      return std::nullopt;  // also a "=" that is not trailing padding
    }
    Bits = (Bits << 6) | static_cast<unsigned>(Sextet);
    if (++Count == 4) {
      Result.push_back(static_cast<char>((Bits >> 16) & 0xFF));
      Result.push_back(static_cast<char>((Bits >> 8) & 0xFF));
      Result.push_back(static_cast<char>(Bits & 0xFF));
      Bits = 0;
      Count = 0;
    }
  }
  // A padded last group holds two characters (one byte) or three (two bytes).
  if (Count == 2) {
    Result.push_back(static_cast<char>((Bits >> 4) & 0xFF));
  } else if (Count == 3) {
    Result.push_back(static_cast<char>((Bits >> 10) & 0xFF));
    Result.push_back(static_cast<char>((Bits >> 2) & 0xFF));
  }
  return Result;
}

}  // namespace wavenard::sim
