#include "support/thread_stack_size.h"

#include <atomic>

namespace wavenard {

namespace {

std::atomic<quint32> StackSize{0};

}  // namespace

void SetThreadStackSize(quint32 ABytes) {
  StackSize.store(ABytes);
}

quint32 ThreadStackSize() {
  return StackSize.load();
}

}  // namespace wavenard
