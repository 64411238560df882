#include "app/keyboard_row.h"

#include <QAccessible>
#include <QItemSelectionModel>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "app/playlist_view_model.h"
#include "app/status_panel.h"
#include "app/virtual_tree_playlist.h"

namespace wavenard {

namespace {

// How long a screen reader is given to take in the list before the keyboard's row comes back.
constexpr int FocusSettleTime = 300;

}  // namespace

TKeyboardRow::TKeyboardRow(TVirtualTreePlaylist& AView, TPlaylistViewModel& AModel, TStatusPanel& APanel)
    : QObject(&AView), FView(AView), FModel(AModel), FPanel(APanel) {
  connect(&FPanel, &TStatusPanel::Quiet, this, &TKeyboardRow::Restore);
}

void TKeyboardRow::Rebuilt(int ARow) {
  FRow = ARow;
  FPlaced = FView.currentIndex();
  if (!FPanel.Speaking()) {
    Restore();
  }
}

void TKeyboardRow::Moved(int ARow) {
  FPanel.HoldSpeechFor(RowSpeech(ARow));
}

QString TKeyboardRow::RowSpeech(int ARow) const {
  QStringList Cells;
  for (int Column = 0; Column < TPlaylistViewModel::ColumnCount; ++Column) {
    Cells.append(FModel.data(FModel.index(ARow, Column)).toString());
  }
  return Cells.join(QStringLiteral(". "));
}

void TKeyboardRow::Restore() {
  const int Row = std::exchange(FRow, -1);
  if (Row < 0) {
    return;
  }
  // A screen reader that finds the keyboard on the same row number as before reads only the
  // cell, and the row now holds another track: so it is taken to the list itself first, and to
  // the row once it has seen that.
  if (QAccessible::isActive() && FView.hasFocus()) {
    QAccessibleEvent ListFocus(&FView, QAccessible::Focus);
    QAccessible::updateAccessibility(&ListFocus);
    QTimer::singleShot(FocusSettleTime, this, [this, Row] { SetCurrentRow(Row); });
  } else {
    SetCurrentRow(Row);
  }
}

void TKeyboardRow::SetCurrentRow(int ARow) {
  const QModelIndex Current = FView.currentIndex();
  // The keyboard went somewhere meanwhile: it stays there.
  if ((Current.isValid() && Current != QModelIndex(FPlaced)) || FModel.rowCount() == 0) {
    return;
  }
  const int Offset = FView.VerticalScrollOffset();
  const int Row = Current.isValid() ? Current.row() : std::min(ARow, FModel.rowCount() - 1);
  // A row the window already put the keyboard on is left and taken again, so that it is read.
  if (Current.isValid()) {
    FView.selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  }
  FView.selectionModel()->setCurrentIndex(FModel.index(Row, 0), QItemSelectionModel::NoUpdate);
  FView.SetVerticalScrollOffset(Offset);
}

}  // namespace wavenard
