#pragma once

#include <QLabel>
#include <QStringList>
#include <QTimer>

namespace wavenard {

// A label whose every new text is spoken by a screen reader, also while the keyboard is
// elsewhere. Screen readers ignore text changes of an object that does not have the focus, but
// they speak an object of the notification role each time it becomes showing: so a text set
// here is given to the hidden label, which is then shown again. A label its owner has hidden
// says nothing.
//
// A screen reader cuts short what it is saying for each new thing to say, so texts are said
// one after another, each given about the time it takes to hear it.
class TNotificationLabel : public QLabel {
  Q_OBJECT

 public:
  enum class TQueueing {
    // The label shows each text at once; of texts that come faster than they can be heard,
    // the latest is said.
    Latest,
    // Every text is said, in turn; the label shows the one being said.
    Every,
  };

  explicit TNotificationLabel(QWidget* AParent = nullptr, TQueueing AQueueing = TQueueing::Latest);
  Q_DISABLE_COPY_MOVE(TNotificationLabel)

  // Shows AText and has it spoken; an empty text empties the label and says nothing. Hides
  // QLabel::setText on purpose, so that every text set through this class is spoken.
  void setText(const QString& AText);
  // Says nothing new for AMilliseconds from now, so that what the screen reader reads meanwhile
  // (a row the keyboard reached) is heard out.
  void Hold(int AMilliseconds);
  // A text said is still being heard, or one is waiting.
  bool Speaking() const { return FPause.isActive() || !FPending.isEmpty(); }

  // About how long a screen reader takes to say AText at its usual rate.
  static int HearingTime(const QString& AText);

 signals:
  // Each text handed to assistive technology, when it is.
  void Spoken(const QString& AText);
  // Everything has been said.
  void Quiet();

 private:
  void SayNext();

  const TQueueing FQueueing;
  QStringList FPending;
  QTimer FPause;
};

}  // namespace wavenard
