#pragma once

#include <QtGlobal>

namespace wavenard {

// The stack size of the threads this program starts from now on (its thread objects and the
// process reaper); 0, the default, leaves it to the platform. A size the platform does not accept
// makes every start fail, which is how the handling of a refused start is tried out.
void SetThreadStackSize(quint32 ABytes);
quint32 ThreadStackSize();

}  // namespace wavenard
