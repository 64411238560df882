#pragma once

#include <QString>

namespace wavenard {

// The system's own description of an error code, without trailing blanks and full stops.
QString SysErrorDescription(int ACode);

// "System Error.  Code: %d." CR LF and the description; the generic text when the code is 0.
QString SysErrorMessage(int ACode);

}  // namespace wavenard
