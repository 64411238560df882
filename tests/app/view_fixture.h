#pragma once

#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <functional>
#include <memory>
#include <utility>

#include "app/playlist_view_model.h"
#include "app/zn_virtual_tree.h"
#include "support/dpi.h"

namespace wavenard {

class TFixedDpiSource final : public TDpiSource {
 public:
  int Dpi = 96;
  std::optional<QString> CurrentMonitor() override { return QString("M"); }
  int MonitorDpi(const QString&) override { return Dpi; }
  int ScreenDpi() override { return Dpi; }
  std::int64_t Now() override { return 0; }
};

// Makes the internal drag's edge step callable without waiting for its timer.
class TProbeTree final : public TZnVirtualTree {
 public:
  using TZnVirtualTree::DoIntDragAutoScroll;
  using TZnVirtualTree::TZnVirtualTree;
  bool Idle() const { return state() == NoState; }
};

// Cell texts from a function.
class TFunctionTexts final : public TCellTextSource {
 public:
  explicit TFunctionTexts(std::function<QString(int ARow, int AColumn)> AText) : FText(std::move(AText)) {}
  QString CellText(int ARow, int AColumn) const override { return FText(ARow, AColumn); }

 private:
  std::function<QString(int ARow, int AColumn)> FText;
};

// Cells that read "row:column".
inline void ShowRowAndColumn(TPlaylistViewModel& AModel) {
  static const TFunctionTexts Texts(
      [](int ARow, int AColumn) { return QString("%1:%2").arg(ARow).arg(AColumn); });
  AModel.SetTextSource(&Texts);
}

// A shown list of ARows rows whose cells read "row:column", with no header or frame, so
// viewport coordinates are the list's own.
struct TViewFixture {
  explicit TViewFixture(int ARows, int ADpi = 96, QSize ASize = QSize(300, 200)) {
    DpiSource.Dpi = ADpi;
    ShowRowAndColumn(Model);
    Model.Rebind(ARows);
    View.setModel(&Model);
    View.setHeaderHidden(true);
    View.setFrameShape(QFrame::NoFrame);
    View.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    View.setSelectionBehavior(QAbstractItemView::SelectRows);
    View.setSelectionMode(QAbstractItemView::ExtendedSelection);
    View.setDragDropMode(QAbstractItemView::DragDrop);
    View.viewport()->setAcceptDrops(true);
    // Pointer moves without a button reach the list only while it tracks the mouse.
    View.setMouseTracking(true);
    View.resize(ASize);
    View.show();
    View.SetVerticalScrollOffset(0);
  }

  QPoint RowPoint(int ARow) const { return View.visualRect(Model.index(ARow, 1)).center(); }
  QPoint BelowLastRow() const {
    return View.visualRect(Model.index(Model.rowCount() - 1, 1)).bottomLeft() + QPoint(5, 10);
  }
  QWidget* Client() { return View.viewport(); }
  int Offset() const { return View.VerticalScrollOffset(); }
  // Tells the list where the pointer is without pressing a button.
  void PointAt(QPoint APoint) {
    QMouseEvent Move(QEvent::MouseMove, APoint, Client()->mapToGlobal(APoint), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(Client(), &Move);
  }
  std::unique_ptr<QMimeData> OwnDrag() {
    return std::unique_ptr<QMimeData>(Model.mimeData({Model.index(0, 0)}));
  }

  TFixedDpiSource DpiSource;
  TDpiCache Dpi{DpiSource};
  TPlaylistViewModel Model;
  TProbeTree View{Dpi};
};

}  // namespace wavenard
