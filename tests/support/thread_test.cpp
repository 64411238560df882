#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <chrono>
#include <semaphore>

#include "support/msg_thread.h"
#include "support/thread_terminator.h"
#include "support/zn_thread.h"

namespace wavenard {
namespace {

using Clock = std::chrono::steady_clock;

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

// Ignores a terminate request until released.
class TStubbornThread final : public TThread {
 public:
  explicit TStubbornThread(std::binary_semaphore& ARelease, std::atomic<bool>& AFreed)
      : FRelease(ARelease), FFreed(AFreed) {}
  ~TStubbornThread() override { FFreed = true; }

 protected:
  void Execute() override { FRelease.acquire(); }

 private:
  std::binary_semaphore& FRelease;
  std::atomic<bool>& FFreed;
};

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
  std::atomic<bool> Ran{false};
  TThread* Anonymous = TZnThread::CreateAnonymousThread([&] { Ran = true; });
  EXPECT_TRUE(Anonymous->FreeOnTerminate());
  Anonymous->Start();
  QTRY_VERIFY_WITH_TIMEOUT(Ran.load(), 5000);
  EXPECT_TRUE(TThread::WaitForAll(5000));
}

TEST(BackgroundTerminate, EndsAndFreesACooperatingThread) {
  std::binary_semaphore Release(0);
  std::atomic<bool> Freed{false};
  auto* Thread = new TStubbornThread(Release, Freed);
  Thread->Start();
  Release.release();
  BackgroundTerminate(Thread, 5000);
  EXPECT_TRUE(Freed.load());
  EXPECT_TRUE(TThread::WaitForAll(5000));
}

// The wait is bounded by the timeout (its time is the behaviour, checked with a wide margin);
// that it waits at all shows in EndsAndFreesACooperatingThread.
TEST(BackgroundTerminate, ReturnsWithinItsTimeoutWhileTheThreadIgnoresTheRequest) {
  for (int Timeout : {0, 250}) {
    std::binary_semaphore Release(0);
    std::atomic<bool> Freed{false};
    auto* Thread = new TStubbornThread(Release, Freed);
    Thread->Start();
    const auto Began = Clock::now();
    BackgroundTerminate(Thread, Timeout);
    EXPECT_LT(Clock::now() - Began, std::chrono::milliseconds(Timeout) + std::chrono::seconds(5))
        << "timeout " << Timeout;
    EXPECT_TRUE(Thread->Terminated());
    EXPECT_FALSE(Freed.load()) << "timeout " << Timeout;
    Release.release();
    EXPECT_TRUE(TThread::WaitForAll(5000));
    EXPECT_TRUE(Freed.load());
  }
}

TEST(TThread, WaitForWithATimeReportsWhetherTheRunHasEnded) {
  std::binary_semaphore Release(0);
  std::atomic<bool> Freed{false};
  TStubbornThread Thread(Release, Freed);
  EXPECT_TRUE(Thread.WaitFor(0)) << "never started";
  Thread.Start();
  EXPECT_FALSE(Thread.WaitFor(0));
  EXPECT_FALSE(Thread.WaitFor(20));
  Release.release();
  EXPECT_TRUE(Thread.WaitFor(20000));
  EXPECT_TRUE(Thread.Finished());
  EXPECT_TRUE(Thread.WaitFor(0));
}

TEST(TThread, ASelfFreeingThreadIsFreedOnTheMainThreadAfterItsRun) {
  std::binary_semaphore Release(1);
  std::atomic<bool> Freed{false};
  auto* Thread = new TStubbornThread(Release, Freed);
  Thread->SetFreeOnTerminate(true);
  Thread->Start();
  QTRY_VERIFY_WITH_TIMEOUT(Freed.load(), 5000);
}

// Makes the platform refuse every thread start while it lives.
class TRefusedStarts {
 public:
  TRefusedStarts() { SetThreadStackSize(1); }
  ~TRefusedStarts() { SetThreadStackSize(0); }
  Q_DISABLE_COPY_MOVE(TRefusedStarts)
};

class TCountingThread final : public TThread {
 public:
  explicit TCountingThread(std::atomic<int>& ARuns) : FRuns(ARuns) {}

 protected:
  void Execute() override { ++FRuns; }

 private:
  std::atomic<int>& FRuns;
};

TEST(TThread, AStartThePlatformRefusesIsReportedAndLeavesNothingWaiting) {
  std::atomic<int> Runs{0};
  {
    TRefusedStarts Refused;
    TCountingThread Plain(Runs);
    auto* SelfFreeing = new TCountingThread(Runs);
    SelfFreeing->SetFreeOnTerminate(true);
    for (TThread* Thread : {static_cast<TThread*>(&Plain), static_cast<TThread*>(SelfFreeing)}) {
      try {
        Thread->Start();
        FAIL() << "the start must be refused";
      } catch (const EThread& E) {
        const QString Text = E.what();
        EXPECT_TRUE(Text.startsWith("Thread start failed (F=0 Ex=0 LE=")) << E.what();
        EXPECT_TRUE(Text.endsWith(" H=0 SP=1 ST=0)")) << E.what();
      }
      EXPECT_FALSE(Thread->Started());
      EXPECT_TRUE(Thread->WaitFor(0));
    }
    // Neither waits for a run that never comes: not the owner, not shutdown.
    EXPECT_TRUE(TThread::WaitForAll(0));
    delete SelfFreeing;

    TMsgThread Forwarder;
    EXPECT_THROW(Forwarder.Start(), EThread);
  }  // the forwarder's destruction returns

  // Once the platform agrees, threads start again.
  TCountingThread Later(Runs);
  Later.Start();
  Later.WaitFor();
  EXPECT_EQ(Runs.load(), 1);
}

}  // namespace
}  // namespace wavenard
