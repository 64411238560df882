#pragma once

// Orderings ThreadSanitizer cannot see by itself: Debian's Qt is not built for it, so what Qt's
// own locking orders (its event queue, QThread::wait) looks unordered to it. A release on an
// address orders everything the releasing thread did before it ahead of whatever follows an
// acquire on the same address. Outside a ThreadSanitizer build both do nothing.

#if defined(__SANITIZE_THREAD__)
#define WAVENARD_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define WAVENARD_THREAD_SANITIZER 1
#endif
#endif

#ifdef WAVENARD_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

namespace wavenard {

inline void TsanRelease([[maybe_unused]] const void* AAddress) {
#ifdef WAVENARD_THREAD_SANITIZER
  __tsan_release(const_cast<void*>(AAddress));
#endif
}

inline void TsanAcquire([[maybe_unused]] const void* AAddress) {
#ifdef WAVENARD_THREAD_SANITIZER
  __tsan_acquire(const_cast<void*>(AAddress));
#endif
}

}  // namespace wavenard
