#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <thread>

#include "tests/testsupport/scripted_box_presenter.h"

namespace wavenard {
namespace {

TEST(MyMessageBox, OnTheMainThreadReturnsTheButtonPressed) {
  test::TScriptedBoxPresenter Boxes;
  EXPECT_EQ(Boxes.MyMessageBox("Error saving settings: x.", "Error", MB_ICONERROR), IDOK);
  Boxes.AnswerNext(IDCANCEL);
  EXPECT_EQ(Boxes.MyMessageBox("Sure?", "", MB_OKCANCEL), IDCANCEL);
  ASSERT_EQ(Boxes.Shown().size(), 2);
  EXPECT_EQ(Boxes.Shown()[0].Caption, "Error");
  EXPECT_EQ(Boxes.Shown()[0].Flags, MB_ICONERROR);
}

TEST(MyMessageBox, FromWorkersReturnsAtOnceAndShowsTheBoxesInOrderOnTheMainThread) {
  test::TScriptedBoxPresenter Boxes;
  std::vector<int> Results;
  std::thread Worker([&] {
    for (int I = 0; I < 5; ++I) {
      Results.push_back(Boxes.MyMessageBox(QString("job %1").arg(I), "Error", MB_ICONERROR));
    }
  });
  Worker.join();
  EXPECT_EQ(Results, std::vector<int>(5, -1));
  EXPECT_TRUE(Boxes.Shown().isEmpty()) << "nothing is shown before the main thread runs its jobs";

  QTRY_COMPARE_WITH_TIMEOUT(Boxes.Shown().size(), 5, 5000);
  for (int I = 0; I < 5; ++I) {
    EXPECT_EQ(Boxes.Shown()[I].Text, QString("job %1").arg(I));
    EXPECT_EQ(Boxes.Shown()[I].Caption, "Error");
    EXPECT_EQ(Boxes.Shown()[I].Flags, MB_ICONERROR);
  }
}

// A presenter whose box, like a real one, spins the event loop while it is open.
class TNestedLoopPresenter final : public TBoxPresenter {
 public:
  int Depth = 0;
  int MaxDepth = 0;
  QStringList Order;

 protected:
  int Present(const TBoxRequest& ARequest) override {
    MaxDepth = std::max(MaxDepth, ++Depth);
    Order.append(ARequest.Text);
    QCoreApplication::processEvents();
    --Depth;
    return IDOK;
  }
};

TEST(MyMessageBox, AJobWaitsForTheOpenBoxInsteadOfStackingOnIt) {
  TNestedLoopPresenter Boxes;
  std::thread([&] {
    Boxes.MyMessageBox("first", "Error", MB_ICONERROR);
    Boxes.MyMessageBox("second", "Error", MB_ICONERROR);
  }).join();
  QTRY_COMPARE_WITH_TIMEOUT(Boxes.Order.size(), 2, 5000);
  EXPECT_EQ(Boxes.Order, QStringList({"first", "second"}));
  EXPECT_EQ(Boxes.MaxDepth, 1);
}

}  // namespace
}  // namespace wavenard
