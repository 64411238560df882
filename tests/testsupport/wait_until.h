#pragma once

#include <chrono>
#include <thread>

namespace wavenard::test {

// Polls ACondition until it holds or ATimeout has passed, and says whether it held. Unlike
// QTest::qWaitFor it serves no events, so a call another thread queues to this one stays queued;
// and it may be used on any thread.
template <class F>
bool WaitUntil(F&& ACondition, std::chrono::milliseconds ATimeout = std::chrono::seconds(20)) {
  const auto Deadline = std::chrono::steady_clock::now() + ATimeout;
  while (!ACondition()) {
    if (std::chrono::steady_clock::now() >= Deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace wavenard::test
