#pragma once

#include <QTime>
#include <QTimer>
#include <QWidget>

class QLabel;

namespace wavenard {

// The status bar's word on the list: live since the last good refresh, waiting for a refresh
// that is slow to come, or stale since the station stopped answering. An icon and a text, the
// text also its accessible name.
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

 signals:
  // The list became stale, or live again.
  void StaleChanged(bool AStale);

 private:
  void SetState(TState AState);

  TState FState = TState::None;
  QTime FUpdated;
  // The first failure of the failures in a row.
  QTime FUnreachableSince;
  QTimer FWaitTimer;
  QLabel* FIcon = nullptr;
  QLabel* FText = nullptr;
};

}  // namespace wavenard
