#include "tools/station-sim/charset.h"

#include <iconv.h>

#include <algorithm>
#include <cstdint>

namespace wavenard::sim {

namespace {

class TConverter {
 public:
  explicit TConverter(const std::string& ACharset) : FHandle(iconv_open(ACharset.c_str(), "UTF-8")) {}
  ~TConverter() {
    if (Valid()) {
      iconv_close(FHandle);
    }
  }
  TConverter(const TConverter&) = delete;
  TConverter& operator=(const TConverter&) = delete;

  bool Valid() const { return FHandle != reinterpret_cast<iconv_t>(-1); }

  // Converts one whole character; false when the target set cannot hold it.
  bool Convert(std::string_view AChar, std::string& AOut) {
    char* In = const_cast<char*>(AChar.data());
    size_t InLeft = AChar.size();
    // Four bytes per character and room for a byte-order mark cover every character set.
    std::string Buffer(AChar.size() * 4 + 8, '\0');
    char* Out = Buffer.data();
    size_t OutLeft = Buffer.size();
    if (iconv(FHandle, &In, &InLeft, &Out, &OutLeft) == static_cast<size_t>(-1)) {
      iconv(FHandle, nullptr, nullptr, nullptr, nullptr);
      return false;
    }
    AOut.append(Buffer.data(), Out);
    return true;
  }

 private:
  iconv_t FHandle;
};

size_t Utf8Length(unsigned char ALead) {
  if (ALead < 0x80) {
    return 1;
  }
  if ((ALead & 0xE0) == 0xC0) {
    return 2;
  }
  if ((ALead & 0xF0) == 0xE0) {
    return 3;
  }
  return 4;
}

uint32_t CodePointOf(std::string_view AChar) {
  static constexpr unsigned char LeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  uint32_t CodePoint = static_cast<unsigned char>(AChar[0]) & LeadMask[AChar.size()];
  for (size_t I = 1; I < AChar.size(); ++I) {
    CodePoint = (CodePoint << 6) | (static_cast<unsigned char>(AChar[I]) & 0x3F);
  }
  return CodePoint;
}

}  // namespace

bool IsKnownCharset(const std::string& ACharset) {
  return !ACharset.empty() && TConverter(ACharset).Valid();
}

std::optional<std::string> EncodeXml(std::string_view AUtf8, const std::string& ACharset) {
  TConverter Converter(ACharset);
  if (ACharset.empty() || !Converter.Valid()) {
    return std::nullopt;
  }
  std::string Result;
  Result.reserve(AUtf8.size());
  size_t I = 0;
  while (I < AUtf8.size()) {
    const size_t Length = std::min(Utf8Length(static_cast<unsigned char>(AUtf8[I])), AUtf8.size() - I);
    const std::string_view Char = AUtf8.substr(I, Length);
    if (!Converter.Convert(Char, Result)) {
      Converter.Convert("&#" + std::to_string(CodePointOf(Char)) + ";", Result);
    }
    I += Length;
  }
  return Result;
}

}  // namespace wavenard::sim
