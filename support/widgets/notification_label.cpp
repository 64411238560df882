#include "support/widgets/notification_label.h"

#include <QAccessibleWidget>
#include <algorithm>

namespace wavenard {

namespace {

// A screen reader's usual rate is about 180 words a minute, some 15 characters a second.
constexpr int MillisecondsPerCharacter = 70;
constexpr int LeastHearingTime = 500;
// A long text is cut short rather than holding back all that follows.
constexpr int MostHearingTime = 4000;
// Texts waiting beyond these are old news: the oldest goes.
constexpr qsizetype MostPending = 8;

// The notification role, with the label's text as the name. Qt's own label interface
// answers StaticText, which a screen reader reads only when it is reached.
class TNotificationAccessible final : public QAccessibleWidget {
 public:
  explicit TNotificationAccessible(QWidget* AWidget)
      : QAccessibleWidget(AWidget, QAccessible::Notification) {}

  QString text(QAccessible::Text AType) const override {
    if (AType == QAccessible::Name) {
      const QString Name = widget()->accessibleName();
      return Name.isEmpty() ? static_cast<const QLabel*>(widget())->text() : Name;
    }
    return QAccessibleWidget::text(AType);
  }
};

QAccessibleInterface* NotificationAccessible(const QString& AClassName, QObject* AObject) {
  if (AClassName == QLatin1String(TNotificationLabel::staticMetaObject.className()) &&
      AObject->isWidgetType())
    return new TNotificationAccessible(static_cast<QWidget*>(AObject));
  return nullptr;
}

}  // namespace

TNotificationLabel::TNotificationLabel(QWidget* AParent, TQueueing AQueueing)
    : QLabel(AParent), FQueueing(AQueueing), FPause(this) {
  static const bool Installed = [] {
    QAccessible::installFactory(NotificationAccessible);
    return true;
  }();
  Q_UNUSED(Installed);
  setTextFormat(Qt::PlainText);
  FPause.setSingleShot(true);
  connect(&FPause, &QTimer::timeout, this, [this] {
    if (FPending.isEmpty()) {
      emit Quiet();
    } else {
      SayNext();
    }
  });
}

int TNotificationLabel::HearingTime(const QString& AText) {
  const qsizetype Time = LeastHearingTime + AText.size() * MillisecondsPerCharacter;
  return static_cast<int>(std::min<qsizetype>(Time, MostHearingTime));
}

void TNotificationLabel::setText(const QString& AText) {
  if (FQueueing == TQueueing::Latest) {
    QLabel::setText(AText);
    FPending.clear();
  }
  if (AText.isEmpty()) {
    return;
  }
  FPending.append(AText);
  if (FPending.size() > MostPending) {
    FPending.removeFirst();
  }
  if (!FPause.isActive()) {
    SayNext();
  }
}

void TNotificationLabel::Hold(int AMilliseconds) {
  if (FPause.isActive() && FPause.remainingTime() >= AMilliseconds) {
    return;
  }
  FPause.start(AMilliseconds);
}

void TNotificationLabel::SayNext() {
  const QString Text = FPending.takeFirst();
  FPause.start(HearingTime(Text));
  // Hidden by its owner: nothing is showing, so nothing is said.
  if (isHidden()) {
    QLabel::setText(Text);
    return;
  }
  hide();
  QLabel::setText(Text);
  show();
  emit Spoken(Text);
}

}  // namespace wavenard
