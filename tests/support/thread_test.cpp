#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <chrono>
#include <semaphore>

#include "support/thread_terminator.h"
#include "support/zn_thread.h"

namespace wavenard {
namespace {

using Clock = std::chrono::steady_clock;

// Runs until it is asked to terminate.
class TPollingThread final : public TZnThread {
 public:
  TPollingThread() : TZnThread(true) {}
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
      : TThread(true), FRelease(ARelease), FFreed(AFreed) {}
  ~TStubbornThread() override { FFreed = true; }

 protected:
  void Execute() override { FRelease.acquire(); }

 private:
  std::binary_semaphore& FRelease;
  std::atomic<bool>& FFreed;
};

TEST(TZnThread, ASecondStartIsRefusedWithTheDiagnosticText) {
  TPollingThread Thread;
  EXPECT_TRUE(Thread.WasCreatedSuspended());
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

TEST(TZnThread, CreatedRunningStartsAtOnceAndAnonymousThreadsFreeThemselves) {
  std::atomic<bool> Ran{false};
  TThread* Anonymous = TZnThread::CreateAnonymousThread([&] { Ran = true; });
  EXPECT_TRUE(Anonymous->FreeOnTerminate());
  Anonymous->Start();
  QTRY_VERIFY_WITH_TIMEOUT(Ran.load(), 5000);
  EXPECT_TRUE(TThread::WaitForAll(5000));
}

TEST(BackgroundTerminate, WithoutAThreadDoesNothing) {
  BackgroundTerminate(nullptr, 250);
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

TEST(BackgroundTerminate, WaitsNoLongerThanItsTimeoutForAThreadThatIgnoresTheRequest) {
  for (int Timeout : {0, 250}) {
    std::binary_semaphore Release(0);
    std::atomic<bool> Freed{false};
    auto* Thread = new TStubbornThread(Release, Freed);
    Thread->Start();
    const auto Began = Clock::now();
    BackgroundTerminate(Thread, Timeout);
    const auto Took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Began).count();
    EXPECT_TRUE(Thread->Terminated());
    EXPECT_FALSE(Freed.load()) << "timeout " << Timeout;
    EXPECT_LT(Took, Timeout + 2000) << "timeout " << Timeout;
    if (Timeout > 0) {
      EXPECT_GE(Took, Timeout - 5);
    }
    Release.release();
    EXPECT_TRUE(TThread::WaitForAll(5000));
    EXPECT_TRUE(Freed.load());
  }
}

TEST(TThread, ASelfFreeingThreadIsFreedOnTheMainThreadAfterItsRun) {
  std::binary_semaphore Release(1);
  std::atomic<bool> Freed{false};
  auto* Thread = new TStubbornThread(Release, Freed);
  Thread->SetFreeOnTerminate(true);
  Thread->Start();
  QTRY_VERIFY_WITH_TIMEOUT(Freed.load(), 5000);
}

}  // namespace
}  // namespace wavenard
