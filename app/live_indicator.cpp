#include "app/live_indicator.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>

namespace wavenard {

namespace {

QString TimeText(const QTime& ATime) {
  return ATime.toString(QStringLiteral("HH:mm:ss"));
}

}  // namespace

TLiveIndicator::TLiveIndicator(QWidget* AParent) : QWidget(AParent), FWaitTimer(this) {
  setObjectName(QStringLiteral("LiveIndicator"));
  FIcon = new QLabel(this);
  FIcon->setObjectName(QStringLiteral("LiveIndicatorIcon"));
  FText = new QLabel(this);
  FText->setObjectName(QStringLiteral("LiveIndicatorText"));
  FText->setTextFormat(Qt::PlainText);
  auto* Layout = new QHBoxLayout(this);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->addWidget(FIcon);
  Layout->addWidget(FText);
  FWaitTimer.setSingleShot(true);
  FWaitTimer.setInterval(WaitingDelay);
  connect(&FWaitTimer, &QTimer::timeout, this, [this] {
    // A list that is already known to be stale keeps saying since when.
    if (FState != TState::Unreachable) {
      SetState(TState::Waiting);
    }
  });
  SetState(TState::None);
}

void TLiveIndicator::RefreshStarted() {
  FWaitTimer.start();
}

void TLiveIndicator::RefreshSucceeded(const QTime& AAt) {
  FWaitTimer.stop();
  FUpdated = AAt;
  SetState(TState::Live);
}

void TLiveIndicator::RefreshFailed(const QTime& AAt) {
  FWaitTimer.stop();
  if (FState != TState::Unreachable) {
    FUnreachableSince = AAt;
  }
  SetState(TState::Unreachable);
}

QString TLiveIndicator::Text() const {
  switch (FState) {
    case TState::Live:
      return QStringLiteral("Live · updated %1").arg(TimeText(FUpdated));
    case TState::Waiting:
      return QStringLiteral("Waiting for the station…");
    case TState::Unreachable:
      return QStringLiteral("Station unreachable since %1: the list may be out of date")
          .arg(TimeText(FUnreachableSince));
    case TState::None:
      break;
  }
  return {};
}

QString TLiveIndicator::SpokenText() const {
  QString Spoken = Text();
  Spoken.replace(QStringLiteral(" · "), QStringLiteral(", "));
  Spoken.remove(QChar(0x2026));
  return Spoken;
}

void TLiveIndicator::SetState(TState AState) {
  const bool WasStale = Stale();
  FState = AState;
  QStyle::StandardPixmap Icon = QStyle::SP_BrowserReload;
  if (AState == TState::Live) {
    Icon = QStyle::SP_DialogApplyButton;
  } else if (AState == TState::Unreachable) {
    Icon = QStyle::SP_MessageBoxWarning;
  }
  const int Size = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
  FIcon->setPixmap(AState == TState::None ? QPixmap()
                                          : style()->standardIcon(Icon, nullptr, this).pixmap(Size));
  const QString Shown = Text();
  FText->setText(Shown);
  setAccessibleName(Shown.isEmpty() ? QStringLiteral("Station") : SpokenText());
  FText->setAccessibleName(accessibleName());
  if (WasStale != Stale()) {
    emit StaleChanged(Stale());
  }
}

}  // namespace wavenard
