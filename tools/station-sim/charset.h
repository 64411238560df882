#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace wavenard::sim {

// True when the system's converter knows the character set name.
bool IsKnownCharset(const std::string& ACharset);

// Converts UTF-8 XML text to ACharset. A character the set cannot hold is written as a numeric
// character reference, which keeps the document meaningful; the markup itself is ASCII.
// No result when the name is unknown.
std::optional<std::string> EncodeXml(std::string_view AUtf8, const std::string& ACharset);

}  // namespace wavenard::sim
