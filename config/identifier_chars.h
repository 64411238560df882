#pragma once

namespace wavenard {

// Whether a character may stand in an identifier of object text: letters and "_" anywhere,
// digits, combining marks and connectors only after the first character. The reader and the
// writer share this rule, so every name the writer puts in a header reads back.
bool IsNameChar(char32_t ACode, bool AStart);

}  // namespace wavenard
