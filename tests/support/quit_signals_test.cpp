#include <gtest/gtest.h>

#include <signal.h>

#include <QTest>
#include <atomic>

#include "support/quit_signals.h"

namespace wavenard {
namespace {

TEST(QuitSignalsTest, TerminationAndInterruptArriveOnTheEventLoop) {
  for (int Signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(Signal);
    int Quits = 0;
    TQuitSignals Signals;
    QObject::connect(&Signals, &TQuitSignals::QuitRequested, [&] { ++Quits; });
    ASSERT_EQ(raise(Signal), 0);
    // Nothing runs inside the handler itself.
    EXPECT_EQ(Quits, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Quits == 1; }, 5000));
  }
}

std::atomic<int> FormerHandlerCalls{0};

void FormerHandler(int) {
  ++FormerHandlerCalls;
}

TEST(QuitSignalsTest, TheFormerHandlersReturnWithItsEnd) {
  struct sigaction Former {};
  Former.sa_handler = FormerHandler;
  sigemptyset(&Former.sa_mask);
  struct sigaction Term {};
  struct sigaction Int {};
  ASSERT_EQ(sigaction(SIGTERM, &Former, &Term), 0);
  ASSERT_EQ(sigaction(SIGINT, &Former, &Int), 0);
  { const TQuitSignals Signals; }
  ASSERT_EQ(raise(SIGTERM), 0);
  ASSERT_EQ(raise(SIGINT), 0);
  EXPECT_EQ(FormerHandlerCalls, 2);
  sigaction(SIGTERM, &Term, nullptr);
  sigaction(SIGINT, &Int, nullptr);
}

}  // namespace
}  // namespace wavenard
