#pragma once

#include <QTime>
#include <QTimer>
#include <QWidget>

class QLabel;

namespace wavenard {

// The status bar's word on the list: live since the last good refresh, waiting for a refresh
// that is slow to come, or stale since the station stopped answering. An icon and a text, the
// text also its accessible name and tool tip. It takes at most two fifths of the bar it stands in,
// cutting its text short with an ellipsis, so that the status panel beside it keeps its room.
class TLiveIndicator final : public QWidget {
  Q_OBJECT

 public:
  // How long a refresh may take before the indicator says it is waited for.
  static constexpr int WaitingDelay = 2000;

  enum class TState { None, Live, Waiting, Unreachable };

  explicit TLiveIndicator(QWidget* AParent = nullptr);
  Q_DISABLE_COPY_MOVE(TLiveIndicator)

  // A playlist request has gone out.
  void RefreshStarted();
  // Its answer came at AAt.
  void RefreshSucceeded(const QTime& AAt);
  void RefreshFailed(const QTime& AAt);

  TState State() const { return FState; }
  QString Text() const;
  // The text as a screen reader should say it (its accessible name), without the marks it
  // would spell out.
  QString SpokenText() const;
  // The list shown may be out of date: the last refresh failed.
  bool Stale() const { return FState == TState::Unreachable; }

  QSize sizeHint() const override;

 signals:
  // The list became stale, or live again.
  void StaleChanged(bool AStale);

 protected:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;
  void resizeEvent(QResizeEvent* AEvent) override;

 private:
  void SetState(TState AState);
  // The text, cut to the width its label has.
  void UpdateLine();
  void FollowBarWidth();

  TState FState = TState::None;
  QTime FUpdated;
  // The first failure of the failures in a row.
  QTime FUnreachableSince;
  QTimer FWaitTimer;
  QLabel* FIcon = nullptr;
  QLabel* FText = nullptr;
};

}  // namespace wavenard
