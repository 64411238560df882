#pragma once

#include <exception>

namespace wavenard {

// Runs AAction and hands any exception it ends with to AReport, so that a failure in a handler
// of the event loop is shown rather than thrown through Qt.
template <class F, class R>
void GuardedCall(F&& AAction, R&& AReport) {
  try {
    AAction();
  } catch (const std::exception& E) {
    AReport(E);
  }
}

}  // namespace wavenard
