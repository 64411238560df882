#pragma once

#include <QList>
#include <QObject>

class QHeaderView;
class QTreeView;
class QWidget;

namespace wavenard {

// Gives the main column of a list the width that a wider list has to spare. The columns start
// at their set widths with some room right of them; as the list grows beyond its starting width,
// the main column takes the difference, and gives it back as the list shrinks, never going
// below its set width. A column the user resized keeps the width given to it.
class TColumnFit final : public QObject {
  Q_OBJECT

 public:
  // AStartWidth is the width of the list at which every column has its set width (in
  // AColumnWidths); AMainColumn is the column that takes what there is to spare.
  TColumnFit(QTreeView& AView, int AMainColumn, QList<int> AColumnWidths, int AStartWidth);
  Q_DISABLE_COPY_MOVE(TColumnFit)

  // The columns the user resized, by their numbers in the model.
  QList<int> UserSized() const { return FUserSized; }
  // Marks columns as resized by the user, as a restored layout does, and fits the rest.
  void SetUserSized(const QList<int>& AColumns);
  // Sets the main column's width from the list's width.
  void Fit();

 protected:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

 private:
  void SectionResized(int AColumn);

  QTreeView& FView;
  // Held apart from the list: its events still come while the list is being destroyed.
  QWidget* const FViewport;
  const int FMainColumn;
  const QList<int> FColumnWidths;
  const int FStartWidth;
  QList<int> FUserSized;
  // The width change in hand is the fit's own.
  bool FFitting = false;
};

}  // namespace wavenard
