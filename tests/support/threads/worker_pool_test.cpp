#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <chrono>
#include <memory>
#include <optional>
#include <semaphore>

#include "support/failure.h"
#include "support/threads/worker_pool.h"
#include "tests/support/threads/probe_thread.h"
#include "tests/testsupport/refused_thread_starts.h"
#include "tests/testsupport/wait_until.h"

namespace wavenard {
namespace {

using Clock = std::chrono::steady_clock;
using test::TProbeThread;
using test::TProbeTrace;

QThread* MainThread() {
  return QCoreApplication::instance()->thread();
}

// A start the system refuses, and a start operation that fails before it starts the thread (a
// file it cannot read, say): either way the thread is freed at once and the failure passed on.
TEST(TWorkerPool, AStartThatFailsFreesTheThreadAndPassesTheFailureOn) {
  struct TCase {
    const char* Name;
    bool Refused;
    QString Text;
  };
  const TCase Cases[] = {{"refused by the system", true, "Thread start failed (F=0 Ex=0 LE="},
                         {"failed before the start", false, "Cannot read the file"}};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TWorkerPool Pool;
    std::binary_semaphore Gate(1);
    TProbeTrace Trace;
    std::optional<test::TRefusedThreadStarts> Refused;
    if (Case.Refused) {
      Refused.emplace();
    }
    try {
      Pool.Start(std::make_unique<TProbeThread>(Gate, Trace), [&](TProbeThread& AThread) {
        if (!Case.Refused) {
          throw EFailure(Case.Text);
        }
        AThread.Start();
      });
      ADD_FAILURE() << "the start must fail";
    } catch (const EFailure& E) {
      EXPECT_TRUE(E.Message().startsWith(Case.Text)) << E.what();
    }
    EXPECT_TRUE(Trace.Freed.load());
    EXPECT_EQ(Trace.FreedOn.data(), MainThread());
    // Nothing is left for shutdown to wait for.
    EXPECT_TRUE(Pool.Join(0));
    EXPECT_EQ(Trace.Runs.load(), 0);
  }
}

TEST(TWorkerPool, AThreadIsMadeSelfFreeingAndFreedOnTheMainThreadAfterItsRun) {
  TWorkerPool Pool;
  std::binary_semaphore Gate(1);
  TProbeTrace Trace;
  Pool.Start(std::make_unique<TProbeThread>(Gate, Trace), [](TProbeThread& AThread) {
    EXPECT_TRUE(AThread.FreeOnTerminate());
    AThread.Start();
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return Trace.Freed.load(); }, 5000));
  EXPECT_EQ(Trace.FreedOn.data(), MainThread());
  EXPECT_EQ(Trace.Runs.load(), 1);
  EXPECT_TRUE(Pool.Join(0));
}

// The bound is the behaviour (checked with a wide margin); a thread that ends in time is freed
// by the join itself, with no event loop to free it.
TEST(TWorkerPool, JoinWaitsNoLongerThanItsTimeForAThreadThatDoesNotEnd) {
  TWorkerPool Pool;
  std::binary_semaphore Gate(0);
  TProbeTrace Trace;
  Pool.Start(std::make_unique<TProbeThread>(Gate, Trace), [](TProbeThread& AThread) { AThread.Start(); });
  const auto Began = Clock::now();
  EXPECT_FALSE(Pool.Join(250));
  EXPECT_GE(Clock::now() - Began, std::chrono::milliseconds(250));
  EXPECT_LT(Clock::now() - Began, std::chrono::milliseconds(250) + std::chrono::seconds(5));
  EXPECT_FALSE(Trace.Freed.load());
  Gate.release();
  EXPECT_TRUE(Pool.Join(20000));
  EXPECT_TRUE(Trace.Freed.load());
  EXPECT_EQ(Trace.FreedOn.data(), MainThread());
}

// A thread that has ended is freed with its pool; one still running outlives the pool and is
// freed on the main thread once it ends.
TEST(TWorkerPool, ItsDestructionFreesWhatHasEndedAndLeavesARunningThreadToFreeItself) {
  std::binary_semaphore Open(1);
  std::binary_semaphore Closed(0);
  TProbeTrace Ended;
  TProbeTrace Running;
  {
    // No event is served until the pool is gone, so nothing else can free either thread.
    TWorkerPool Pool;
    Pool.Start(std::make_unique<TProbeThread>(Closed, Running),
               [](TProbeThread& AThread) { AThread.Start(); });
    ASSERT_TRUE(test::WaitUntil([&] { return Running.Runs.load() == 1; }));
    Pool.Start(std::make_unique<TProbeThread>(Open, Ended), [](TProbeThread& AThread) {
      AThread.Start();
      AThread.WaitFor();
    });
    EXPECT_FALSE(Ended.Freed.load());
  }
  EXPECT_TRUE(Ended.Freed.load());
  EXPECT_FALSE(Running.Freed.load());
  Closed.release();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Running.Freed.load(); }, 5000));
  EXPECT_EQ(Running.FreedOn.data(), MainThread());
}

}  // namespace
}  // namespace wavenard
