#pragma once

#include <QFrame>
#include <QString>
#include <deque>

#include "remote/take_file.h"

class QLabel;
class QPushButton;

namespace wavenard {

// The bar above the playlist that offers each new take without a box: what it is, and buttons
// to insert it after the song meant, to choose another place, or to let it be. Several takes
// wait in order of arrival, the oldest shown. Hidden while no take waits.
class TTakeOfferBar final : public QFrame {
  Q_OBJECT

 public:
  explicit TTakeOfferBar(QWidget* AParent = nullptr);
  Q_DISABLE_COPY_MOVE(TTakeOfferBar)

  // Queues ATake unless it waits already.
  void Offer(const TFinishedTake& ATake);
  // Takes APath out of the queue (it was sent, or let be).
  void Forget(const QString& APath);
  // The take shown, if any.
  const TFinishedTake* Current() const { return FTakes.empty() ? nullptr : &FTakes.front(); }
  // The title of the song the take would go after; empty: none is known, and the bar asks for
  // a row.
  void SetSong(const QString& ATitle);

  // "New take "VT 2026-12-10 19-04-12.flac" (0:12)"
  static QString TakeText(const TFinishedTake& ATake);

  QLabel& Text() { return *FText; }
  QPushButton& btInsertTake() { return *FInsert; }
  QPushButton& btChoosePlace() { return *FChoose; }
  QPushButton& btDismissTake() { return *FDismiss; }

 signals:
  void InsertClicked();
  void ChoosePlaceClicked();
  // The bar hid while the keyboard focus was on it.
  void FocusLeft();

 private:
  void UpdateBar();

  QLabel* FText = nullptr;
  QPushButton* FInsert = nullptr;
  QPushButton* FChoose = nullptr;
  QPushButton* FDismiss = nullptr;
  std::deque<TFinishedTake> FTakes;
  QString FSong;
};

}  // namespace wavenard
