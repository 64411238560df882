#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <semaphore>
#include <thread>

#include "support/threads/msg_thread.h"
#include "tests/testsupport/wait_until.h"

namespace wavenard {
namespace {

using test::WaitUntil;

// A window that records the messages it handles, optionally blocking in the first one.
class TRecordingWindow final : public QObject {
 public:
  std::atomic<int> Handled{0};
  QList<quint32> Messages;  // written on the window's thread only
  std::binary_semaphore* BlockFirst = nullptr;
  std::atomic<bool> InFirst{false};

 protected:
  bool event(QEvent* AEvent) override {
    if (AEvent->type() != TWindowMessageEvent::EventType()) {
      return QObject::event(AEvent);
    }
    auto& M = static_cast<TWindowMessageEvent*>(AEvent)->Message();
    Messages.append(M.Msg);
    if (BlockFirst != nullptr && Messages.size() == 1) {
      InFirst = true;
      BlockFirst->acquire();
    }
    ++Handled;
    return true;
  }
};

// Runs a window on a thread of its own with an event loop.
struct TWindowThread {
  QThread Thread;
  TRecordingWindow* Window = new TRecordingWindow;
  TWindowThread() {
    Window->moveToThread(&Thread);
    QObject::connect(&Thread, &QThread::finished, Window, &QObject::deleteLater);
    Thread.start();
  }
  ~TWindowThread() {
    Thread.quit();
    Thread.wait();
  }
};

TEST(TMsgThread, DeliversMessagesFromOneSenderInOrderAndCountsZeroWhenIdle) {
  TWindowThread Target;
  TMsgThread Forwarder;
  Forwarder.Start();
  EXPECT_EQ(Forwarder.Count(), 0);
  std::thread([&] {
    Forwarder.Send(Target.Window, 1, 0, 0);
    Forwarder.Send(Target.Window, 2, 0, 0);
    Forwarder.Send(Target.Window, 3, 0, 0);
  }).join();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Target.Window->Handled.load() == 3; }, 5000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Forwarder.Count() == 0; }, 5000));
  std::binary_semaphore Sync(0);
  QMetaObject::invokeMethod(Target.Window, [&] {
    EXPECT_EQ(Target.Window->Messages, QList<quint32>({1, 2, 3}));
    Sync.release();
  });
  Sync.acquire();
}

TEST(TMsgThread, AMessageSentDuringADeliveryIsCountedAndLandsInTheNextPass) {
  TWindowThread Target;
  std::binary_semaphore Block(0);
  Target.Window->BlockFirst = &Block;
  TMsgThread Forwarder;
  Forwarder.Start();
  Forwarder.Send(Target.Window, 1, 0, 0);
  Forwarder.Send(Target.Window, 2, 0, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Target.Window->InFirst.load(); }, 5000));
  EXPECT_EQ(Forwarder.Count(), 2) << "the batch under delivery";
  Forwarder.Send(Target.Window, 3, 0, 0);
  EXPECT_EQ(Forwarder.Count(), 3);
  Block.release();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Target.Window->Handled.load() == 3; }, 5000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Forwarder.Count() == 0; }, 5000));
}

TEST(TMsgThread, DestructionDropsQueuedMessagesCompletesTheDeliveryUnderWayAndRefusesNewOnes) {
  TWindowThread Target;
  std::binary_semaphore Block(0);
  Target.Window->BlockFirst = &Block;
  auto* Forwarder = new TMsgThread;
  Forwarder->Start();
  Forwarder->Send(Target.Window, 1, 0, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Target.Window->InFirst.load(); }, 5000));
  Forwarder->Send(Target.Window, 2, 0, 0);
  Forwarder->Send(Target.Window, 3, 0, 0);

  std::thread Releaser([&] {
    // Send keeps being called once the destructor has begun.
    EXPECT_TRUE(WaitUntil([&] { return Forwarder->Terminated(); }));
    // Still delivering the first message: nothing but Send can change the count now.
    const int Count = Forwarder->Count();
    Forwarder->Send(Target.Window, 4, 0, 0);
    EXPECT_EQ(Forwarder->Count(), Count) << "a message sent during destruction is not queued";
    Block.release();
  });
  delete Forwarder;
  Releaser.join();
  // The forwarder's thread has ended: no delivery can follow.
  EXPECT_EQ(Target.Window->Handled.load(), 1);
}

// The delivery into a main-thread window can only run while the main thread waits in the
// forwarder's destruction, since nothing else serves its events here. Whether the forwarder
// took the message before termination was requested is up to the threads, so rounds are run
// until it did once; a message it had not taken yet is dropped, as any queued one.
TEST(TMsgThread, DestroyingOnTheMainThreadServesADeliveryIntoAMainThreadWindow) {
  bool Served = false;
  for (int Round = 0; Round < 400 && !Served; ++Round) {
    TRecordingWindow MainWindow;  // lives on the main thread
    auto Forwarder = std::make_unique<TMsgThread>();
    Forwarder->Start();
    Forwarder->Send(&MainWindow, 7, 0, 0);
    // Gives the forwarder a little more time to take the message in every round.
    QThread::usleep(static_cast<unsigned long>(Round * 25));
    Forwarder.reset();
    ASSERT_LE(MainWindow.Handled.load(), 1);
    Served = MainWindow.Handled.load() == 1;
  }
  EXPECT_TRUE(Served);
}

// Windows destroyed while their messages are still queued or on their way: they get nothing,
// and the forwarder never touches a window that is gone.
TEST(TMsgThread, AWindowDestroyedBeforeItsMessagesArriveGetsNothingAndIsNeverTouched) {
  TMsgThread Forwarder;
  Forwarder.Start();
  std::atomic<int> Handled{0};
  for (int Round = 0; Round < 50; ++Round) {
    auto* Window = new TRecordingWindow;
    for (quint32 Message = 1; Message <= 20; ++Message) {
      Forwarder.Send(Window, Message, 0, 0);
    }
    QThread::usleep(static_cast<unsigned long>(Round * 20));
    QCoreApplication::processEvents();
    Handled += Window->Handled.load();
    delete Window;
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return Forwarder.Count() == 0; }, 5000));
  QCoreApplication::processEvents();
  EXPECT_LT(Handled.load(), 50 * 20) << "some messages found their window gone";
}

}  // namespace
}  // namespace wavenard
