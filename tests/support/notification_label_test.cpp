#include <gtest/gtest.h>

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>

#include "support/widgets/notification_label.h"

namespace wavenard {
namespace {

// What a screen reader is told: each time a label becomes showing, its role and name then.
struct TShown {
  QAccessible::Role Role;
  QString Name;
};

class TShowRecorder final : public QObject {
 public:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override {
    if (AEvent->type() == QEvent::Show) {
      if (QAccessibleInterface* Interface = QAccessible::queryAccessibleInterface(AWatched)) {
        Shown.append({Interface->role(), Interface->text(QAccessible::Name)});
      }
    }
    return false;
  }
  QList<TShown> Shown;
};

class NotificationLabelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Window.resize(300, 100);
    Window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
  }
  TNotificationLabel* NewLabel(
      TNotificationLabel::TQueueing AQueueing = TNotificationLabel::TQueueing::Latest) {
    auto* Label = new TNotificationLabel(&Window, AQueueing);
    Label->show();
    Label->installEventFilter(&Recorder);
    Events.clear();
    return Label;
  }
  QStringList ShownNames() const {
    QStringList Names;
    for (const TShown& Event : Events) {
      if (Event.Role == QAccessible::Notification) {
        Names.append(Event.Name);
      }
    }
    return Names;
  }

  TShowRecorder Recorder;
  QList<TShown>& Events = Recorder.Shown;
  QWidget Window;
};

TEST_F(NotificationLabelTest, EachTextIsShownAsANotificationOfThatText) {
  auto* Label = NewLabel();
  Label->setText(QStringLiteral("Recording…"));
  EXPECT_EQ(Label->text(), QStringLiteral("Recording…"));
  EXPECT_EQ(ShownNames(), QStringList{QStringLiteral("Recording…")});
  EXPECT_EQ(QAccessible::queryAccessibleInterface(Label)->role(), QAccessible::Notification);
  // An empty text says nothing.
  QSignalSpy Quiet(Label, &TNotificationLabel::Quiet);
  ASSERT_TRUE(Quiet.wait(10000));
  Label->setText({});
  EXPECT_EQ(Label->text(), "");
  EXPECT_EQ(ShownNames().size(), 1);
}

TEST_F(NotificationLabelTest, TextsThatComeFasterThanTheyAreHeardWaitTheirTurn) {
  struct TCase {
    const char* Name;
    TNotificationLabel::TQueueing Queueing;
    QStringList Said;
  };
  const TCase Cases[] = {
      {"every text", TNotificationLabel::TQueueing::Every, {"Track deleted", "1 row removed", "Live"}},
      {"the latest", TNotificationLabel::TQueueing::Latest, {"Track deleted", "Live"}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    auto* Label = NewLabel(Case.Queueing);
    QSignalSpy Quiet(Label, &TNotificationLabel::Quiet);
    for (const char* Text : {"Track deleted", "1 row removed", "Live"}) {
      Label->setText(QString::fromLatin1(Text));
    }
    if (Case.Queueing == TNotificationLabel::TQueueing::Latest) {
      EXPECT_EQ(Label->text(), "Live") << "shown at once";
    }
    // The first at once, the others one after another.
    EXPECT_EQ(ShownNames(), Case.Said.mid(0, 1));
    EXPECT_TRUE(Label->Speaking());
    ASSERT_TRUE(Quiet.wait(20000));
    EXPECT_EQ(ShownNames(), Case.Said);
    EXPECT_FALSE(Label->Speaking());
    delete Label;
  }
}

TEST_F(NotificationLabelTest, AHoldKeepsTheNextTextBack) {
  auto* Label = NewLabel(TNotificationLabel::TQueueing::Every);
  QSignalSpy Spoken(Label, &TNotificationLabel::Spoken);
  Label->Hold(1500);
  Label->setText(QStringLiteral("Track moved"));
  EXPECT_TRUE(Spoken.isEmpty());
  ASSERT_TRUE(Spoken.wait(10000));
  EXPECT_EQ(ShownNames(), QStringList{QStringLiteral("Track moved")});
}

TEST_F(NotificationLabelTest, AHiddenLabelSaysNothing) {
  auto* Label = NewLabel();
  Label->hide();
  QSignalSpy Spoken(Label, &TNotificationLabel::Spoken);
  Label->setText(QStringLiteral("Saved"));
  EXPECT_EQ(Label->text(), "Saved");
  EXPECT_TRUE(Label->isHidden());
  EXPECT_TRUE(Spoken.isEmpty());
  EXPECT_TRUE(ShownNames().isEmpty());
}

}  // namespace
}  // namespace wavenard
