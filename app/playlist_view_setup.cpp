#include "app/playlist_view_setup.h"

#include <QApplication>
#include <QHeaderView>
#include <QPalette>
#include <QScroller>
#include <iterator>

#include "app/column_fit.h"
#include "app/playlist_view_model.h"
#include "app/virtual_tree_playlist.h"

namespace wavenard {

namespace {

constexpr int ColumnWidths[TPlaylistViewModel::ColumnCount] = {60, 300, 60};
constexpr int HeaderHeight = 25;
constexpr int DefaultRowHeight = 19;

const QColor SelectionColor(0x91, 0xC2, 0xEA);
const QColor UnfocusedSelectionColor(0xCC, 0xCC, 0xCC);
const QColor DisabledTextColor(0x80, 0x80, 0x80);
// The rows' text while the list may be out of date: still readable, plainly not live.
const QColor MutedTextColor(0x8C, 0x8C, 0x8C);
constexpr int TitleColumn = 1;
// A light tint of the selection colour, so the hot row stays apart from a selected one.
const QColor HotRowColor(0xE5, 0xF1, 0xFB);
// The selection colour laid thinly over the header item under the pointer.
const QColor HotHeaderColor(0x91, 0xC2, 0xEA, 0x60);

void SetColors(TVirtualTreePlaylist& AView) {
  QPalette Palette = AView.palette();
  // The list looks focused at all times, so the inactive group shows the focused selection.
  for (QPalette::ColorGroup Group : {QPalette::Active, QPalette::Inactive}) {
    Palette.setColor(Group, QPalette::Highlight, SelectionColor);
    Palette.setColor(Group, QPalette::HighlightedText, Qt::black);
  }
  Palette.setColor(QPalette::Disabled, QPalette::Highlight, UnfocusedSelectionColor);
  Palette.setColor(QPalette::Disabled, QPalette::Text, DisabledTextColor);
  Palette.setColor(QPalette::Disabled, QPalette::HighlightedText, DisabledTextColor);
  AView.setPalette(Palette);
  AView.SetHotTrackColor(HotRowColor);
}

}  // namespace

void ConfigurePlaylistView(TVirtualTreePlaylist& AView, TPlaylistViewModel& AModel) {
  AView.setModel(&AModel);
  AView.setAccessibleName("Playlist");
  AView.setFrameShape(QFrame::NoFrame);

  QHeaderView* Header = AView.header();
  Header->setVisible(true);
  Header->setFixedHeight(HeaderHeight);
  Header->setSectionsMovable(true);
  Header->setSectionResizeMode(QHeaderView::Interactive);
  Header->setStretchLastSection(false);
  // Only the item under the pointer lights up; Qt's own highlight marks the selected columns.
  Header->setHighlightSections(false);
  AView.Header().SetHotColor(HotHeaderColor);
  for (int Column = 0; Column < TPlaylistViewModel::ColumnCount; ++Column)
    Header->resizeSection(Column, ColumnWidths[Column]);

  AView.setRootIsDecorated(false);
  AView.setIndentation(0);
  AView.setItemsExpandable(false);
  AView.setUniformRowHeights(true);
  AView.SetDefaultRowHeight(DefaultRowHeight);

  AView.setSelectionBehavior(QAbstractItemView::SelectRows);
  AView.setSelectionMode(QAbstractItemView::ExtendedSelection);
  AView.setAllColumnsShowFocus(true);
  SetColors(AView);

  AView.setDragEnabled(true);
  AView.setAcceptDrops(true);
  AView.viewport()->setAcceptDrops(true);
  AView.setDragDropMode(QAbstractItemView::DragDrop);
  AView.setDefaultDropAction(Qt::MoveAction);
  AView.setDropIndicatorShown(true);
  AView.SetInternalDrag(false);

  AView.SetAutoScroll(true);
  AView.SetAutoScrollDelay(1000);
  AView.SetAutoScrollRepeat(200);

  QScroller::grabGesture(AView.viewport(), QScroller::TouchGesture);
}

TColumnFit& FitPlaylistColumns(TVirtualTreePlaylist& AView, int AStartWidth) {
  return *new TColumnFit(AView, TitleColumn, {std::begin(ColumnWidths), std::end(ColumnWidths)}, AStartWidth);
}

void SetPlaylistMuted(TVirtualTreePlaylist& AView, bool AMuted) {
  QPalette Palette = AView.palette();
  const QColor Text = AMuted ? MutedTextColor : QApplication::palette(&AView).color(QPalette::Text);
  for (QPalette::ColorGroup Group : {QPalette::Active, QPalette::Inactive}) {
    Palette.setColor(Group, QPalette::Text, Text);
  }
  AView.setPalette(Palette);
}

void UpdatePlaylistRows(TVirtualTreePlaylist& AView, TPlaylistViewModel& AModel, int ACount) {
  AView.setUpdatesEnabled(false);
  try {
    if (AModel.rowCount() == ACount) {
      AModel.Rebind(ACount);
    } else {
      const int Offset = AView.VerticalScrollOffset();
      AModel.Rebind(ACount);
      AView.SetVerticalScrollOffset(Offset);
    }
  } catch (...) {
    AView.setUpdatesEnabled(true);
    throw;
  }
  AView.setUpdatesEnabled(true);
  AView.viewport()->update();
  AView.UpdateScrollBars();
}

}  // namespace wavenard
