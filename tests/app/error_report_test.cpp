#include <gtest/gtest.h>

#include <QTimer>

#include "app/error_report.h"
#include "config/failures.h"
#include "tests/testsupport/scripted_box_presenter.h"

namespace wavenard {
namespace {

// Runs inside the program's own application object (this test program has its own main).
TEST(ErrorReportTest, AFailureLeavingAHandlerIsShownAndTheProgramGoesOn) {
  auto* Application = static_cast<TWavenardApplication*>(QCoreApplication::instance());
  test::TScriptedBoxPresenter Boxes;
  Application->SetBoxes(&Boxes);
  bool Continued = false;
  QTimer::singleShot(0, [] { throw ESyntaxFailure("Error loading settings: not object text."); });
  QTimer::singleShot(0, [] { throw std::runtime_error("Internal drag error 1"); });
  QTimer::singleShot(20, [&] {
    Continued = true;
    QCoreApplication::quit();
  });
  QCoreApplication::exec();
  Application->SetBoxes(nullptr);

  EXPECT_TRUE(Continued);
  ASSERT_EQ(Boxes.Shown().size(), 2);
  EXPECT_EQ(Boxes.Shown()[0].Text, "Error loading settings: not object text.");
  EXPECT_EQ(Boxes.Shown()[1].Text, "Internal drag error 1");
  for (const TBoxRequest& Box : Boxes.Shown()) {
    EXPECT_EQ(Box.Caption, "Error");
    EXPECT_EQ(Box.Flags & 0xF0, MB_ICONERROR);
  }
}

}  // namespace
}  // namespace wavenard

int main(int argc, char** argv) {
  wavenard::TWavenardApplication Application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
