#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace wavenard::sim {

// Decodes standard Base64 (A-Z a-z 0-9 + /, "=" padding). Line breaks (CR and LF) anywhere are
// skipped, as uploads break the text every 76 characters. Any other character, a "=" that is
// not trailing padding, or a length that is not a whole number of groups gives no result.
std::optional<std::string> DecodeBase64(std::string_view AText);

}  // namespace wavenard::sim
