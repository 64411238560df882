#include "app/zn_virtual_tree.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>
#include <utility>

#include "support/guarded_call.h"

namespace wavenard {

namespace {

// Gives every row the list's row height and paints the hot row's background.
class TRowDelegate final : public QStyledItemDelegate {
 public:
  explicit TRowDelegate(TZnVirtualTree& AOwner) : QStyledItemDelegate(&AOwner), FOwner(AOwner) {}

  QSize sizeHint(const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override {
    QSize Size = QStyledItemDelegate::sizeHint(AOption, AIndex);
    Size.setHeight(FOwner.DefaultRowHeight());
    return Size;
  }

  void paint(QPainter* APainter, const QStyleOptionViewItem& AOption,
             const QModelIndex& AIndex) const override {
    const QColor Hot = FOwner.HotTrackColor();
    if (Hot.isValid() && AOption.state.testFlag(QStyle::State_MouseOver) &&
        !AOption.state.testFlag(QStyle::State_Selected))
      APainter->fillRect(AOption.rect, Hot);
    QStyledItemDelegate::paint(APainter, AOption, AIndex);
  }

 private:
  TZnVirtualTree& FOwner;
};

}  // namespace

TZnHeader::TZnHeader(QWidget* AParent) : QHeaderView(Qt::Horizontal, AParent) {
  // As QTreeView sets up its own header.
  setSectionsMovable(true);
  setStretchLastSection(true);
  setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setMouseTracking(true);
  viewport()->setMouseTracking(true);
}

void TZnHeader::SetHotSection(int AValue) {
  if (AValue == FHotSection)
    return;
  FHotSection = AValue;
  viewport()->update();
}

void TZnHeader::mouseMoveEvent(QMouseEvent* AEvent) {
  QHeaderView::mouseMoveEvent(AEvent);
  SetHotSection(logicalIndexAt(AEvent->position().toPoint()));
}

bool TZnHeader::viewportEvent(QEvent* AEvent) {
  if (AEvent->type() == QEvent::Leave)
    SetHotSection(-1);
  return QHeaderView::viewportEvent(AEvent);
}

void TZnHeader::paintSection(QPainter* APainter, const QRect& ARect, int ALogicalIndex) const {
  // The style leaves a clip behind that would swallow the highlight.
  APainter->save();
  QHeaderView::paintSection(APainter, ARect, ALogicalIndex);
  APainter->restore();
  if (ALogicalIndex == FHotSection && FHotColor.isValid())
    APainter->fillRect(ARect, FHotColor);
}

TZnVirtualTree::TZnVirtualTree(TDpiCache& ADpi, QWidget* AParent)
    : QTreeView(AParent), FDpi(ADpi), FAutoScrollTimer(this), FEdgeScrollTimer(this) {
  QAbstractItemView::setAutoScroll(false);
  FHeader = new TZnHeader(this);
  setHeader(FHeader);
  setUniformRowHeights(true);
  setItemDelegate(new TRowDelegate(*this));

  FAutoScrollTimer.setObjectName("IntDragAutoScrollTimer");
  FAutoScrollTimer.setInterval(FAutoScrollInterval);
  connect(&FAutoScrollTimer, &QTimer::timeout, this, [this] { Guarded([this] { DoIntDragAutoScroll(); }); });

  FEdgeScrollTimer.setObjectName("AutoScrollTimer");
  FEdgeScrollTimer.setSingleShot(true);
  connect(&FEdgeScrollTimer, &QTimer::timeout, this, [this] { DoAutoScroll(); });
}

TZnVirtualTree::~TZnVirtualTree() = default;

void TZnVirtualTree::SetIntDragAutoScrollInterval(int AValue) {
  FAutoScrollInterval = AValue;
  FAutoScrollTimer.setInterval(AValue);
}

void TZnVirtualTree::SetAutoScroll(bool AValue) {
  FAutoScroll = AValue;
  if (!AValue)
    StopAutoScroll();
}

void TZnVirtualTree::SetDefaultRowHeight(int AValue) {
  FDefaultRowHeight = AValue;
  scheduleDelayedItemsLayout();
}

void TZnVirtualTree::SetHotTrackColor(const QColor& AValue) {
  FHotTrackColor = AValue;
  // The delegate only learns which row is hot while the pointer is tracked.
  setMouseTracking(AValue.isValid());
  viewport()->setAttribute(Qt::WA_Hover, AValue.isValid());
  viewport()->update();
}

int TZnVirtualTree::VerticalScrollOffset() const {
  return verticalScrollBar()->value();
}

void TZnVirtualTree::SetVerticalScrollOffset(int AValue) {
  executeDelayedItemsLayout();
  verticalScrollBar()->setValue(AValue);
}

void TZnVirtualTree::UpdateScrollBars() {
  executeDelayedItemsLayout();
  updateGeometries();
}

template <class S>
bool TZnVirtualTree::Assigned(S ASignal) const {
  return isSignalConnected(QMetaMethod::fromSignal(ASignal));
}

template <class F>
void TZnVirtualTree::Guarded(F AAction) {
  GuardedCall(AAction, [this](const std::exception& AError) {
    if (Assigned(&TZnVirtualTree::Failed))
      emit Failed(AError);
    else
      qWarning("%s", AError.what());
  });
}

QModelIndex TZnVirtualTree::indexAt(const QPoint& APoint) const {
  const QModelIndex Index = QTreeView::indexAt(APoint);
  if (Index.isValid() || selectionBehavior() != SelectRows || APoint.x() < 0 ||
      APoint.x() >= viewport()->width())
    return Index;
  // Right of the columns, the row continues in the last visible one.
  const QHeaderView* Columns = header();
  for (int Visual = Columns->count() - 1; Visual >= 0; --Visual) {
    const int Logical = Columns->logicalIndex(Visual);
    if (Columns->isSectionHidden(Logical) || Columns->sectionSize(Logical) <= 0)
      continue;
    const int End = Columns->sectionViewportPosition(Logical) + Columns->sectionSize(Logical);
    return APoint.x() >= End ? QTreeView::indexAt(QPoint(End - 1, APoint.y())) : Index;
  }
  return Index;
}

QModelIndex TZnVirtualTree::RowAt(QPoint APoint) const {
  const QModelIndex Index = indexAt(APoint);
  return Index.isValid() ? Index.siblingAtColumn(0) : QModelIndex();
}

void TZnVirtualTree::leaveEvent(QEvent* AEvent) {
  QTreeView::leaveEvent(AEvent);
  // Later moves exchange nothing; the edge scrolling goes on until the button is released.
  FNowIntDragging = false;
}

void TZnVirtualTree::mousePressEvent(QMouseEvent* AEvent) {
  QTreeView::mousePressEvent(AEvent);
  const QPoint Point = AEvent->position().toPoint();
  FPointer = Point;
  if (AEvent->button() != Qt::LeftButton)
    return;
  const QModelIndex Row = RowAt(Point);
  FPressedOnNothing = !Row.isValid();
  if (FPressedOnNothing && state() == DragSelectingState)
    setState(NoState);
  if (!(AEvent->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && !Row.isValid())
    clearSelection();

  if (!FInternalDrag)
    return;
  Guarded([&] {
    // Without a handler the switch alone allows the drag; a handler may refuse it.
    bool Allow = true;
    if (FIntDragHandler)
      FIntDragHandler->IntDragAllow(Allow);
    // With Qt's own drag enabled a press on a row is already a pending drag: the two
    // modes exclude each other.
    const bool ToolkitDrag = dragEnabled() || state() == DraggingState;
    if (Allow && !ToolkitDrag && Row.isValid()) {
      FNowIntDragging = true;
      FIntWasDragged = false;
      FAutoScrollTimer.start();
      FIntDragItem = Row;
    }
  });
}

void TZnVirtualTree::mouseReleaseEvent(QMouseEvent* AEvent) {
  QTreeView::mouseReleaseEvent(AEvent);
  FPressedOnNothing = false;
  StopAutoScroll();
  FNowIntDragging = false;
  FAutoScrollTimer.stop();
  // Cleared here, so a later click that starts no drag does not report this one again.
  const bool WasDragged = std::exchange(FIntWasDragged, false);
  if (WasDragged)
    Guarded([this] { emit IntDragEnd(); });
}

void TZnVirtualTree::mouseMoveEvent(QMouseEvent* AEvent) {
  const QPoint Point = AEvent->position().toPoint();
  FPointer = Point;
  // No rubber band: a sweep that began outside the rows selects nothing on its way.
  if (FPressedOnNothing && (AEvent->buttons() & Qt::LeftButton))
    return;
  QTreeView::mouseMoveEvent(AEvent);
  if (state() == DragSelectingState && (AEvent->buttons() & Qt::LeftButton))
    ArmAutoScroll(Point);
  Guarded([&] { HandleIntDragMove(Point); });
}

void TZnVirtualTree::keyPressEvent(QKeyEvent* AEvent) {
  const QPersistentModelIndex Before = currentIndex();
  QTreeView::keyPressEvent(AEvent);
  // Qt's own scrolling to the current row went with its auto-scroll, which also scrolls sideways.
  if (currentIndex().isValid() && currentIndex() != Before)
    ShowRow(currentIndex());
}

void TZnVirtualTree::ShowRow(const QModelIndex& ARow) {
  executeDelayedItemsLayout();
  const QRect Rect = visualRect(ARow);
  if (Rect.top() >= 0 && Rect.bottom() < viewport()->height())
    return;
  const int Horizontal = horizontalScrollBar()->value();
  scrollTo(ARow, Rect.top() < 0 ? PositionAtTop : PositionAtBottom);
  horizontalScrollBar()->setValue(Horizontal);
}

void TZnVirtualTree::HandleIntDragMove(QPoint APoint) {
  if (!FInternalDrag || !FNowIntDragging || !FIntDragItem.isValid())
    return;
  const QModelIndex Target = RowAt(APoint);
  if (!Target.isValid() || Target == FIntDragItem)
    return;
  if (!FIntDragHandler)
    throw EIntDragError(QStringLiteral("Internal drag error 1"));
  const QModelIndex Source = FIntDragItem;
  FIntDragItem = Target;
  FIntWasDragged = true;
  FIntDragHandler->IntDragging(Source, Target);
  if (!Assigned(&TZnVirtualTree::IntDragDone))
    throw EIntDragError(QStringLiteral("Internal drag error 2"));
  emit IntDragDone();
}

void TZnVirtualTree::DoIntDragAutoScroll() {
  const QWidget* Client = viewport();
  const int Zone = FDpi.ScaleByDPI(std::min(Client->height() / 4, 50));
  if (FPointer.x() < 0 || FPointer.x() > Client->width())
    return;
  if (FPointer.y() < Zone)
    ScrollOneLine(-1);
  else if (FPointer.y() > Client->height() - Zone)
    ScrollOneLine(1);
}

void TZnVirtualTree::ScrollOneLine(int ADirection) {
  verticalScrollBar()->triggerAction(ADirection < 0 ? QAbstractSlider::SliderSingleStepSub
                                                    : QAbstractSlider::SliderSingleStepAdd);
}

int TZnVirtualTree::DetermineScrollDirection(QPoint APoint) const {
  const QScrollBar* Bar = verticalScrollBar();
  if (APoint.y() < FDefaultRowHeight && Bar->value() > Bar->minimum())
    return -1;
  if (APoint.y() >= viewport()->height() - FDefaultRowHeight && Bar->value() < Bar->maximum())
    return 1;
  return 0;
}

void TZnVirtualTree::ArmAutoScroll(QPoint APoint) {
  FPointer = APoint;
  if (!FAutoScroll || DetermineScrollDirection(APoint) == 0)
    StopAutoScroll();
  else if (!FEdgeScrollTimer.isActive())
    FEdgeScrollTimer.start(FAutoScrollDelay);
}

void TZnVirtualTree::DoAutoScroll() {
  const int Direction = DetermineScrollDirection(FPointer);
  if (Direction == 0)
    return;
  ScrollOneLine(Direction);
  FEdgeScrollTimer.start(FAutoScrollRepeat);
}

void TZnVirtualTree::StopAutoScroll() {
  FEdgeScrollTimer.stop();
}

void TZnVirtualTree::HandleDragOver(QDragMoveEvent* AEvent) {
  if (FDropPolicy) {
    bool Accept = false;
    Guarded([&] { Accept = FDropPolicy->AcceptsDrop(*AEvent); });
    if (Accept) {
      AEvent->setDropAction(DropActionFor(*AEvent));
      AEvent->accept();
    } else {
      AEvent->ignore();
    }
  }
  // A refused drag sends no leave event, so only an accepted one may keep the timer going.
  if (AEvent->isAccepted())
    ArmAutoScroll(AEvent->position().toPoint());
  else
    StopAutoScroll();
}

Qt::DropAction TZnVirtualTree::DropActionFor(const QDropEvent& AEvent) {
  Qt::DropAction Action = Qt::MoveAction;
  Guarded([&] { Action = FDropPolicy->DropAction(AEvent); });
  return Action;
}

void TZnVirtualTree::dragEnterEvent(QDragEnterEvent* AEvent) {
  QTreeView::dragEnterEvent(AEvent);
  HandleDragOver(AEvent);
  if (AEvent->isAccepted())
    setState(DraggingState);
}

void TZnVirtualTree::dragMoveEvent(QDragMoveEvent* AEvent) {
  QTreeView::dragMoveEvent(AEvent);
  HandleDragOver(AEvent);
}

void TZnVirtualTree::dragLeaveEvent(QDragLeaveEvent* AEvent) {
  QTreeView::dragLeaveEvent(AEvent);
  StopAutoScroll();
}

void TZnVirtualTree::dropEvent(QDropEvent* AEvent) {
  StopAutoScroll();
  if (!FDropPolicy) {
    QTreeView::dropEvent(AEvent);
    return;
  }
  Guarded([&] { emit DragDrop(*AEvent); });
  // Accepted as the action the handler has carried out; the model removes no rows for it.
  AEvent->setDropAction(DropActionFor(*AEvent));
  AEvent->accept();
  setState(NoState);
  viewport()->update();
}

}  // namespace wavenard
