#include "app/column_fit.h"

#include <QEvent>
#include <QHeaderView>
#include <QTreeView>
#include <algorithm>
#include <numeric>
#include <utility>

namespace wavenard {

TColumnFit::TColumnFit(QTreeView& AView, int AMainColumn, QList<int> AColumnWidths, int AStartWidth)
    : QObject(&AView),
      FView(AView),
      FViewport(AView.viewport()),
      FMainColumn(AMainColumn),
      FColumnWidths(std::move(AColumnWidths)),
      FStartWidth(AStartWidth) {
  FViewport->installEventFilter(this);
  connect(FView.header(), &QHeaderView::sectionResized, this,
          [this](int AColumn, int, int) { SectionResized(AColumn); });
}

void TColumnFit::SetUserSized(const QList<int>& AColumns) {
  FUserSized.clear();
  for (int Column : AColumns) {
    if (Column >= 0 && Column < FColumnWidths.size() && !FUserSized.contains(Column)) {
      FUserSized.append(Column);
    }
  }
  Fit();
}

void TColumnFit::Fit() {
  if (FUserSized.contains(FMainColumn)) {
    return;
  }
  const QHeaderView& Header = *FView.header();
  int Others = 0;
  int SetOthers = 0;
  for (int Column = 0; Column < FColumnWidths.size(); ++Column) {
    if (Column != FMainColumn) {
      Others += Header.isSectionHidden(Column) ? 0 : Header.sectionSize(Column);
      SetOthers += FColumnWidths[Column];
    }
  }
  // The room the list leaves right of the columns at its starting width stays; the width of the
  // list, not of its client area, so that a scroll bar coming or going does not move the columns.
  const int Spare = std::max(FStartWidth - SetOthers - FColumnWidths[FMainColumn], 0);
  const int Width = std::max(FView.width() - Others - Spare, FColumnWidths[FMainColumn]);
  if (Width != Header.sectionSize(FMainColumn)) {
    FFitting = true;
    FView.header()->resizeSection(FMainColumn, Width);
    FFitting = false;
  }
}

bool TColumnFit::eventFilter(QObject* AWatched, QEvent* AEvent) {
  if (AWatched == FViewport && AEvent->type() == QEvent::Resize) {
    Fit();
  }
  return QObject::eventFilter(AWatched, AEvent);
}

void TColumnFit::SectionResized(int AColumn) {
  if (FFitting) {
    return;
  }
  if (!FUserSized.contains(AColumn)) {
    FUserSized.append(AColumn);
  }
  // Another column's new width changes what the main column has to spare.
  if (AColumn != FMainColumn) {
    Fit();
  }
}

}  // namespace wavenard
