#include "app/live_indicator.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <algorithm>

namespace wavenard {

namespace {

// The share of the status bar's width the indicator may take at most, in fifths.
constexpr int MostFifths = 2;

QString TimeText(const QTime& ATime) {
  return ATime.toString(QStringLiteral("HH:mm:ss"));
}

}  // namespace

TLiveIndicator::TLiveIndicator(QWidget* AParent) : QWidget(AParent), FWaitTimer(this) {
  setObjectName(QStringLiteral("LiveIndicator"));
  FIcon = new QLabel(this);
  FIcon->setObjectName(QStringLiteral("LiveIndicatorIcon"));
  FIcon->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  FText = new QLabel(this);
  FText->setObjectName(QStringLiteral("LiveIndicatorText"));
  FText->setTextFormat(Qt::PlainText);
  // Its width comes from the indicator, which knows the whole text.
  FText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
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
  if (AParent != nullptr) {
    AParent->installEventFilter(this);
    FollowBarWidth();
  }
}

QSize TLiveIndicator::sizeHint() const {
  QSize Hint = QWidget::sizeHint();
  const int Spacing = layout()->spacing() > 0 ? layout()->spacing() : 0;
  Hint.setWidth(FIcon->sizeHint().width() + Spacing + FText->fontMetrics().horizontalAdvance(Text()) +
                2 * FText->margin() + 2);
  return Hint;
}

bool TLiveIndicator::eventFilter(QObject* AWatched, QEvent* AEvent) {
  if (AWatched == parentWidget() && AEvent->type() == QEvent::Resize) {
    FollowBarWidth();
  }
  return QWidget::eventFilter(AWatched, AEvent);
}

void TLiveIndicator::resizeEvent(QResizeEvent* AEvent) {
  QWidget::resizeEvent(AEvent);
  UpdateLine();
}

void TLiveIndicator::FollowBarWidth() {
  setMaximumWidth(std::max(parentWidget()->width() * MostFifths / 5, FIcon->sizeHint().width()));
}

void TLiveIndicator::UpdateLine() {
  FText->setText(FText->fontMetrics().elidedText(Text(), Qt::ElideRight, std::max(FText->width(), 0)));
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
  setToolTip(Shown);
  setAccessibleName(Shown.isEmpty() ? QStringLiteral("Station") : SpokenText());
  FText->setAccessibleName(accessibleName());
  updateGeometry();
  UpdateLine();
  if (WasStale != Stale()) {
    emit StaleChanged(Stale());
  }
}

}  // namespace wavenard
