#include <gtest/gtest.h>

#include <QObject>
#include <QTest>
#include <atomic>
#include <thread>
#include <vector>

#include "support/threads/hand_over.h"
#include "tests/testsupport/wait_until.h"

namespace wavenard {
namespace {

using test::WaitUntil;

TEST(THandOver, ACallRunsOnTheMainThreadWhileTheWorkerWaits) {
  QObject Receiver;
  auto HandOver = THandOver::Create(&Receiver);
  std::atomic<bool> WorkerDone{false};
  bool RanOnMain = false;
  int Value = 0;
  std::thread Worker([&] {
    Value = 1;
    EXPECT_TRUE(HandOver->Call([&] {
      RanOnMain = QThread::currentThread() == Receiver.thread();
      Value = 2;
    }));
    EXPECT_EQ(Value, 2);
    WorkerDone = true;
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return WorkerDone.load(); }, 5000));
  Worker.join();
  EXPECT_TRUE(RanOnMain);
}

TEST(THandOver, ClosingReleasesAWaitingWorkerAndDeliversNothing) {
  auto Receiver = std::make_unique<QObject>();
  auto HandOver = THandOver::Create(Receiver.get());
  bool Delivered = true;
  bool Ran = false;
  std::thread Worker([&] { Delivered = HandOver->Call([&] { Ran = true; }); });
  // The worker waits for the main thread, which does not serve its queue.
  ASSERT_TRUE(WaitUntil([&] { return HandOver->Waiting() == 1; }));
  HandOver->Close();
  Worker.join();
  EXPECT_EQ(HandOver->Waiting(), 0);
  EXPECT_FALSE(Delivered);
  Receiver.reset();
  QCoreApplication::processEvents();
  EXPECT_FALSE(Ran);
  EXPECT_FALSE(HandOver->Call([&] { Ran = true; })) << "nothing is handed over after closing";
}

TEST(THandOver, AReceiverThatDiesWithACallQueuedReleasesTheWorker) {
  auto Receiver = std::make_unique<QObject>();
  auto HandOver = THandOver::Create(Receiver.get());
  bool Delivered = true;
  std::thread Worker([&] { Delivered = HandOver->Call([] {}); });
  ASSERT_TRUE(WaitUntil([&] { return HandOver->Waiting() == 1; }));
  Receiver.reset();
  Worker.join();
  EXPECT_FALSE(Delivered);
}

TEST(THandOver, ClosingFromInsideACallWaitsForTheCallToEnd) {
  QObject Receiver;
  auto HandOver = THandOver::Create(&Receiver);
  std::atomic<bool> Returned{false};
  bool CallEnded = false;
  bool Delivered = false;
  std::thread Worker([&] {
    Delivered = HandOver->Call([&] {
      HandOver->Close();
      QThread::msleep(30);
      CallEnded = true;
    });
    EXPECT_TRUE(CallEnded);
    Returned = true;
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return Returned.load(); }, 5000));
  Worker.join();
  EXPECT_TRUE(Delivered);
}

// Receivers destroyed, without closing first, while workers keep handing over calls: a worker
// must never queue to a receiver that is already gone (AddressSanitizer and ThreadSanitizer see
// it when it does).
TEST(THandOver, AReceiverDestroyedWhileWorkersHandOverIsNeverTouchedAfterwards) {
  for (int Round = 0; Round < 30; ++Round) {
    auto* Receiver = new QObject;
    auto HandOver = THandOver::Create(Receiver);
    std::atomic<bool> Stop{false};
    std::atomic<int> Attempts{0};
    std::vector<std::thread> Workers;
    for (int I = 0; I < 2; ++I) {
      Workers.emplace_back([&] {
        while (!Stop.load()) {
          HandOver->Call([] {});
          ++Attempts;
        }
      });
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return Attempts.load() > 20; }, 5000));
    delete Receiver;
    EXPECT_TRUE(HandOver->Closed());
    Stop = true;
    for (std::thread& Worker : Workers) {
      Worker.join();
    }
    QCoreApplication::processEvents();
  }
}

}  // namespace
}  // namespace wavenard
