#pragma once

#include <QFont>

namespace wavenard {

// The font of the program's windows: Segoe UI 9 pt where installed, else the platform's UI font at 9 pt.
QFont WindowFont();

}  // namespace wavenard
