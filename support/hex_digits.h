#pragma once

namespace wavenard {

// The value of a hexadecimal digit of either case; -1 for any other character.
constexpr int HexDigitValue(char16_t AChar) {
  if (AChar >= u'0' && AChar <= u'9') {
    return AChar - u'0';
  }
  if (AChar >= u'A' && AChar <= u'F') {
    return AChar - u'A' + 10;
  }
  if (AChar >= u'a' && AChar <= u'f') {
    return AChar - u'a' + 10;
  }
  return -1;
}

constexpr bool IsHexDigit(char16_t AChar) {
  return HexDigitValue(AChar) >= 0;
}

}  // namespace wavenard
