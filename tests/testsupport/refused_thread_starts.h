#pragma once

#include <QtGlobal>

#include "support/thread_stack_size.h"

namespace wavenard::test {

// Makes the system refuse every thread start while it lives (a stack size it does not accept), and
// gives the size back however the scope is left.
class TRefusedThreadStarts {
 public:
  TRefusedThreadStarts() : FPrevious(ThreadStackSize()) { SetThreadStackSize(1); }
  ~TRefusedThreadStarts() { SetThreadStackSize(FPrevious); }
  Q_DISABLE_COPY_MOVE(TRefusedThreadStarts)

 private:
  const quint32 FPrevious;
};

}  // namespace wavenard::test
