#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <thread>

#include <QAbstractButton>

#include "support/widgets/widget_box_presenter.h"
#include "tests/testsupport/scripted_box_presenter.h"

namespace wavenard {
namespace {

TEST(MyMessageBox, BoxTextIsCutWithAnEllipsis) {
  const QString Emoji = QString::fromUtf8("\xF0\x9F\x8E\xB5");
  struct TCase {
    const char* Name;
    QString Text;
    QString Expected;
  };
  const TCase Cases[] = {
      {"short", "Invalid position", "Invalid position"},
      {"at the limit", QString(MaxBoxTextLength, 'a'), QString(MaxBoxTextLength, 'a')},
      {"one more", QString(MaxBoxTextLength + 1, 'a'), QString(MaxBoxTextLength, 'a') + QChar(0x2026)},
      {"pair across the limit", QString(MaxBoxTextLength - 1, 'a') + Emoji + "b",
       QString(MaxBoxTextLength - 1, 'a') + QChar(0x2026)},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    EXPECT_EQ(BoxText(Case.Text), Case.Expected);
  }
}

// The real box shows text from outside as text: markup is neither laid out nor loaded.
TEST(MyMessageBox, TheWidgetBoxShowsPlainTextCut) {
  TWidgetBoxPresenter Boxes;
  const QString Text = R"(<img src="/dev/zero">)" + QString(2 * MaxBoxTextLength, 'x');
  Qt::TextFormat Format = Qt::AutoText;
  QString Shown;
  QTimer Closer;
  QObject::connect(&Closer, &QTimer::timeout, [&] {
    if (auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      Format = Box->textFormat();
      Shown = Box->text();
      Box->button(QMessageBox::Ok)->click();
    }
  });
  Closer.start(10);
  EXPECT_EQ(Boxes.MyMessageBox(Text, "Error", MB_OK | MB_ICONERROR), IDOK);
  EXPECT_EQ(Format, Qt::PlainText);
  EXPECT_EQ(Shown, BoxText(Text));
  EXPECT_EQ(Shown.size(), MaxBoxTextLength + 1);
}

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

  ASSERT_TRUE(QTest::qWaitFor([&] { return Boxes.Shown().size() == 5; }, 5000));
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
  ASSERT_TRUE(QTest::qWaitFor([&] { return Boxes.Order.size() == 2; }, 5000));
  EXPECT_EQ(Boxes.Order, QStringList({"first", "second"}));
  EXPECT_EQ(Boxes.MaxDepth, 1);
}

// Unattended, no box is shown, neither a new one nor one handed over by a worker before; each is
// answered as a closed box is.
TEST(MyMessageBox, UnattendedBoxesAreAnsweredWithoutBeingShown) {
  test::TScriptedBoxPresenter Boxes;
  std::thread([&] { Boxes.MyMessageBox("queued before", "Error", MB_ICONERROR); }).join();
  Boxes.SetUnattended(true);
  EXPECT_TRUE(Boxes.Unattended());
  EXPECT_EQ(Boxes.MyMessageBox("Error saving settings: x.", "Error", MB_OK | MB_ICONERROR), IDOK);
  EXPECT_EQ(Boxes.MyMessageBox("Cancel?", "", MB_OKCANCEL | MB_ICONQUESTION), IDCANCEL);
  EXPECT_EQ(Boxes.MyMessageBox("Insert?", "", MB_YESNO | MB_ICONQUESTION), IDNO);
  int FromWorker = 0;
  std::thread([&] { FromWorker = Boxes.MyMessageBox("from a worker", "Error", MB_ICONERROR); }).join();
  EXPECT_EQ(FromWorker, IDOK);
  // Runs the job queued before, which was posted to this thread's event queue.
  QCoreApplication::processEvents();
  EXPECT_TRUE(Boxes.Shown().isEmpty());

  Boxes.SetUnattended(false);
  Boxes.MyMessageBox("shown again", "Error", MB_ICONERROR);
  ASSERT_EQ(Boxes.Shown().size(), 1);
  EXPECT_EQ(Boxes.Shown()[0].Text, "shown again");
}

}  // namespace
}  // namespace wavenard
