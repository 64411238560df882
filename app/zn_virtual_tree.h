#pragma once

#include <QDropEvent>
#include <QHeaderView>
#include <QPersistentModelIndex>
#include <QPoint>
#include <QTimer>
#include <QTreeView>
#include <exception>

#include "support/dpi.h"
#include "support/failure.h"

namespace wavenard {

// Raised by the internal drag when a handler it needs is missing.
class EIntDragError : public EFailure {
 public:
  using EFailure::EFailure;
};

// A header whose section under the pointer is highlighted.
class TZnHeader final : public QHeaderView {
  Q_OBJECT

 public:
  explicit TZnHeader(QWidget* AParent = nullptr);
  Q_DISABLE_COPY_MOVE(TZnHeader)

  // The logical index of the section under the pointer, or -1.
  int HotSection() const { return FHotSection; }
  // Laid over the hot section; an invalid colour turns the highlight off.
  QColor HotColor() const { return FHotColor; }
  void SetHotColor(const QColor& AValue) { FHotColor = AValue; }

 protected:
  void mouseMoveEvent(QMouseEvent* AEvent) override;
  bool viewportEvent(QEvent* AEvent) override;
  void paintSection(QPainter* APainter, const QRect& ARect, int ALogicalIndex) const override;

 private:
  void SetHotSection(int AValue);

  int FHotSection = -1;
  QColor FHotColor;
};

// What the list asks its owner about ordinary drag and drop, set with SetDropPolicy. Without
// a policy QTreeView decides and drops on its own.
class TDropPolicy {
 public:
  virtual ~TDropPolicy() = default;
  // Whether the drop is accepted; the event tells where, what and from whom.
  virtual bool AcceptsDrop(const QDropEvent& AEvent) = 0;
  // The action an accepted drag is shown and dropped with.
  virtual Qt::DropAction DropAction(const QDropEvent&) { return Qt::MoveAction; }
};

// What the internal drag asks its owner, set with SetIntDragHandler. Without a handler a drag
// may start, and its first exchange fails.
class TIntDragHandler {
 public:
  virtual ~TIntDragHandler() = default;
  // Asked at a left press whether an internal drag may start; AAllowDrag comes in true.
  virtual void IntDragAllow(bool&) {}
  // The dragged row ASource is to exchange its data with the row ATarget under the pointer;
  // both are column-0 indexes of the list's model.
  virtual void IntDragging(const QModelIndex& ASource, const QModelIndex& ATarget) = 0;
};

// A virtual list whose rows live in its model. On top of QTreeView it scrolls automatically
// only up and down, clears the selection on a click into empty space, and offers an internal
// drag mode that moves a row through the list as the pointer passes over other rows.
//
// The internal drag mode (InternalDrag, IntDragAutoScrollInterval, the IntDrag handler and
// events, and the state behind them) is carried for the suite; this program leaves it off and
// reorders the playlist with Qt's own drag and drop.
class TZnVirtualTree : public QTreeView {
  Q_OBJECT
  Q_PROPERTY(bool InternalDrag READ InternalDrag WRITE SetInternalDrag)
  Q_PROPERTY(int IntDragAutoScrollInterval READ IntDragAutoScrollInterval WRITE SetIntDragAutoScrollInterval)

 public:
  explicit TZnVirtualTree(TDpiCache& ADpi, QWidget* AParent = nullptr);
  ~TZnVirtualTree() override;
  Q_DISABLE_COPY_MOVE(TZnVirtualTree)

  bool InternalDrag() const { return FInternalDrag; }
  void SetInternalDrag(bool AValue) { FInternalDrag = AValue; }
  int IntDragAutoScrollInterval() const { return FAutoScrollInterval; }
  void SetIntDragAutoScrollInterval(int AValue);
  // The handler outlives the list or is taken away first; none by default.
  void SetIntDragHandler(TIntDragHandler* AHandler) { FIntDragHandler = AHandler; }

  // The policy outlives the list or is taken away first; none by default.
  void SetDropPolicy(TDropPolicy* APolicy) { FDropPolicy = APolicy; }

  // Scrolling while something is dragged or the mouse selects within one row of the top or
  // bottom edge: first step after the delay, then one row every interval. Qt's own
  // auto-scroll stays off because it also scrolls sideways.
  bool AutoScroll() const { return FAutoScroll; }
  void SetAutoScroll(bool AValue);
  int AutoScrollDelay() const { return FAutoScrollDelay; }
  void SetAutoScrollDelay(int AValue) { FAutoScrollDelay = AValue; }
  int AutoScrollRepeat() const { return FAutoScrollRepeat; }
  void SetAutoScrollRepeat(int AValue) { FAutoScrollRepeat = AValue; }

  // The height of every row (the rows have uniform heights).
  int DefaultRowHeight() const { return FDefaultRowHeight; }
  void SetDefaultRowHeight(int AValue);
  // Background of the row under the pointer; an invalid colour turns hot tracking off.
  QColor HotTrackColor() const { return FHotTrackColor; }
  void SetHotTrackColor(const QColor& AValue);

  // The vertical scroll position in rows. Setting it lays out pending rows first, so it
  // also holds right after the model was reset.
  int VerticalScrollOffset() const;
  void SetVerticalScrollOffset(int AValue);
  // Lays out pending rows and recomputes the scroll bars now rather than at the next paint.
  void UpdateScrollBars();

  // A row is as wide as the list: a point right of the last column lies on the row at its
  // height (in the last column), so selection, dragging, dropping and hot tracking all see it.
  QModelIndex indexAt(const QPoint& APoint) const override;
  TZnHeader& Header() const { return *FHeader; }
  // Scrolls up or down just enough to show ARow; the horizontal position stays.
  void ShowRow(const QModelIndex& ARow);

  // The list's news. Receivers are connected directly (the default for a receiver on the main
  // thread). A failure that escapes a receiver, the handler or the policy ends in Failed.
 signals:
  // After each exchange of the internal drag. Its receiver is required: an exchange without
  // one fails.
  void IntDragDone();
  // At the release after an internal drag that exchanged rows.
  void IntDragEnd();
  // The drop of a drag the policy accepted, carried out by the receiver: the list changes no
  // rows for it. Only with a policy; without one QTreeView has dropped.
  void DragDrop(const QDropEvent& AEvent);
  // A failure of the list's own handling (the internal drag's errors), which would otherwise
  // leave an event handler: Qt lets no exception through its event loop. Without a receiver
  // it is logged as a warning.
  void Failed(const std::exception& AError);

 protected:
  void leaveEvent(QEvent* AEvent) override;
  void mousePressEvent(QMouseEvent* AEvent) override;
  void mouseReleaseEvent(QMouseEvent* AEvent) override;
  void mouseMoveEvent(QMouseEvent* AEvent) override;
  void keyPressEvent(QKeyEvent* AEvent) override;
  void dragEnterEvent(QDragEnterEvent* AEvent) override;
  void dragMoveEvent(QDragMoveEvent* AEvent) override;
  void dragLeaveEvent(QDragLeaveEvent* AEvent) override;
  void dropEvent(QDropEvent* AEvent) override;

  // One tick of the internal drag's edge scrolling.
  void DoIntDragAutoScroll();

 private:
  // The directions the list may scroll on its own at this point: -1 up, 1 down, 0 none.
  // Never sideways; the horizontal position changes only through the scroll bar, the
  // keyboard or gestures.
  int DetermineScrollDirection(QPoint APoint) const;
  QModelIndex RowAt(QPoint APoint) const;
  void HandleIntDragMove(QPoint APoint);
  void HandleDragOver(QDragMoveEvent* AEvent);
  // The policy's action; only asked with a policy.
  Qt::DropAction DropActionFor(const QDropEvent& AEvent);
  void ArmAutoScroll(QPoint APoint);
  void DoAutoScroll();
  void StopAutoScroll();
  void ScrollOneLine(int ADirection);
  // Whether ASignal has a receiver: IntDragDone needs one, and Failed falls back to a warning.
  template <class S>
  bool Assigned(S ASignal) const;
  template <class F>
  void Guarded(F AAction);

  TDpiCache& FDpi;
  TZnHeader* FHeader = nullptr;
  TDropPolicy* FDropPolicy = nullptr;
  // The left button went down outside every row: the sweep that follows selects nothing.
  bool FPressedOnNothing = false;

  // The internal drag's state.
  bool FNowIntDragging = false;
  QPersistentModelIndex FIntDragItem;
  TIntDragHandler* FIntDragHandler = nullptr;
  bool FInternalDrag = false;
  QTimer FAutoScrollTimer;
  bool FIntWasDragged = false;
  int FAutoScrollInterval = 100;

  bool FAutoScroll = false;
  int FAutoScrollDelay = 1000;
  int FAutoScrollRepeat = 200;
  QTimer FEdgeScrollTimer;
  int FDefaultRowHeight = 19;
  QColor FHotTrackColor;
  // Last pointer position in viewport coordinates; while a button is held the list receives
  // every move, inside or outside it.
  QPoint FPointer;
};

}  // namespace wavenard
