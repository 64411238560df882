#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <semaphore>

#include "support/threads/msg_thread.h"
#include "support/threads/thread_terminator.h"
#include "support/threads/zn_thread.h"
#include "tests/support/threads/probe_thread.h"
#include "tests/testsupport/refused_thread_starts.h"

namespace wavenard {
namespace {

using Clock = std::chrono::steady_clock;
using test::TProbeThread;
using test::TProbeTrace;

// Runs until it is asked to terminate.
class TPollingThread final : public TZnThread {
 public:
  ~TPollingThread() override {
    Terminate();
    WaitFor();
  }

 protected:
  void Execute() override {
    while (!Terminated()) {
      QThread::msleep(1);
    }
  }
};

QThread* MainThread() {
  return QCoreApplication::instance()->thread();
}

TEST(TZnThread, ASecondStartIsRefusedWithTheDiagnosticText) {
  TPollingThread Thread;
  EXPECT_TRUE(Thread.AutoHandleException);
  Thread.Start();
  try {
    Thread.Start();
    FAIL() << "a second start must be refused";
  } catch (const EThread& E) {
    const QString Text = E.what();
    EXPECT_TRUE(Text.startsWith("Thread start failed (F=0 Ex=0 LE=")) << E.what();
    EXPECT_TRUE(Text.endsWith(" SP=1 ST=1)")) << E.what();
  }
}

TEST(TZnThread, AnAnonymousThreadRunsItsProcOnceStartedAndFreesItself) {
  std::atomic<int> Runs{0};
  std::atomic<bool> Freed{false};
  // Freed with the thread that holds the procedure.
  std::shared_ptr<void> Token(nullptr, [&Freed](void*) { Freed = true; });
  TThread* Anonymous = TZnThread::CreateAnonymousThread([&Runs, Token = std::move(Token)] { ++Runs; });
  EXPECT_TRUE(Anonymous->FreeOnTerminate());
  Anonymous->Start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Freed.load(); }, 5000));
  EXPECT_EQ(Runs.load(), 1);
}

TEST(BackgroundTerminate, EndsAndFreesACooperatingThreadAndThenItself) {
  std::binary_semaphore Gate(0);
  TProbeTrace Trace;
  auto* Thread = new TProbeThread(Gate, Trace);
  Thread->Start();
  Gate.release();
  BackgroundTerminate(Thread, 5000);
  ASSERT_TRUE(Trace.Freed.load());
  // The target is freed on the terminator's thread, which then frees itself.
  EXPECT_NE(Trace.FreedOn.data(), MainThread());
  ASSERT_TRUE(QTest::qWaitFor([&] { return Trace.FreedOn.isNull(); }, 5000));
}

// The wait is bounded by the timeout (its time is the behaviour, checked with a wide margin);
// that it waits at all shows in EndsAndFreesACooperatingThreadAndThenItself.
TEST(BackgroundTerminate, ReturnsWithinItsTimeoutWhileTheThreadIgnoresTheRequest) {
  for (int Timeout : {0, 250}) {
    SCOPED_TRACE(Timeout);
    std::binary_semaphore Gate(0);
    TProbeTrace Trace;
    auto* Thread = new TProbeThread(Gate, Trace);
    Thread->Start();
    const auto Began = Clock::now();
    BackgroundTerminate(Thread, Timeout);
    EXPECT_LT(Clock::now() - Began, std::chrono::milliseconds(Timeout) + std::chrono::seconds(5));
    EXPECT_TRUE(Thread->Terminated());
    EXPECT_FALSE(Trace.Freed.load());
    Gate.release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Trace.Freed.load(); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Trace.FreedOn.isNull(); }, 5000));
  }
}

TEST(TThreadTerminator, FreesItselfOnceItsTargetIsFreed) {
  std::binary_semaphore Gate(1);
  TProbeTrace Trace;
  auto* Target = new TProbeThread(Gate, Trace);
  Target->Start();
  auto Done = std::make_shared<TTerminatorDone>();
  auto* Terminator = new TThreadTerminator(Target, Done);
  EXPECT_TRUE(Terminator->FreeOnTerminate());
  Terminator->Start();
  // It holds the done state until it is freed.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Done.use_count() == 1L; }, 5000));
  EXPECT_TRUE(Done->Done);
  EXPECT_TRUE(Trace.Freed.load());
  EXPECT_EQ(Trace.Runs.load(), 1);
}

TEST(TThread, WaitForWithATimeReportsWhetherTheRunHasEnded) {
  std::binary_semaphore Gate(0);
  TProbeTrace Trace;
  TProbeThread Thread(Gate, Trace);
  EXPECT_TRUE(Thread.WaitFor(0)) << "never started";
  Thread.Start();
  EXPECT_FALSE(Thread.WaitFor(0));
  EXPECT_FALSE(Thread.WaitFor(20));
  Gate.release();
  EXPECT_TRUE(Thread.WaitFor(20000));
  EXPECT_TRUE(Thread.Finished());
  EXPECT_TRUE(Thread.WaitFor(0));
}

TEST(TThread, ASelfFreeingThreadIsFreedOnTheMainThreadAfterItsRun) {
  std::binary_semaphore Gate(1);
  TProbeTrace Trace;
  auto* Thread = new TProbeThread(Gate, Trace);
  Thread->SetFreeOnTerminate(true);
  Thread->Start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Trace.Freed.load(); }, 5000));
  EXPECT_EQ(Trace.FreedOn.data(), MainThread());
  EXPECT_EQ(Trace.Runs.load(), 1);
}

TEST(TThread, AStartThePlatformRefusesIsReportedAndLeavesTheThreadToItsOwner) {
  std::binary_semaphore Gate(1);
  TProbeTrace Trace;
  {
    const test::TRefusedThreadStarts Refused;
    TProbeThread Plain(Gate, Trace);
    auto SelfFreeing = std::make_unique<TProbeThread>(Gate, Trace);
    SelfFreeing->SetFreeOnTerminate(true);
    for (TThread* Thread : {static_cast<TThread*>(&Plain), static_cast<TThread*>(SelfFreeing.get())}) {
      try {
        Thread->Start();
        FAIL() << "the start must be refused";
      } catch (const EThread& E) {
        const QString Text = E.what();
        EXPECT_TRUE(Text.startsWith("Thread start failed (F=0 Ex=0 LE=")) << E.what();
        EXPECT_TRUE(Text.endsWith(" H=0 SP=1 ST=0)")) << E.what();
      }
      EXPECT_FALSE(Thread->Started());
      // Its owner does not wait for a run that never comes.
      EXPECT_TRUE(Thread->WaitFor(0));
    }

    TMsgThread Forwarder;
    EXPECT_THROW(Forwarder.Start(), EThread);
  }  // the forwarder's destruction returns
  EXPECT_EQ(Trace.Runs.load(), 0);

  // Once the platform agrees, threads start again.
  TProbeThread Later(Gate, Trace);
  Later.Start();
  Later.WaitFor();
  EXPECT_EQ(Trace.Runs.load(), 1);
}

}  // namespace
}  // namespace wavenard
