#pragma once

#include <QObject>
#include <QPersistentModelIndex>
#include <QString>

namespace wavenard {

class TPlaylistViewModel;
class TStatusPanel;
class TVirtualTreePlaylist;

// Where the keyboard is in the playlist, for a screen reader. Rows rebuilt for a list of another
// length lose the keyboard's row; it goes back to the same row number (or the last row), or stays
// on the row the window put it on after an edit, and that row is read once the screen reader has
// said what the status panel gave it, so that the row is read last. The selection stays as the
// rebuild left it.
class TKeyboardRow final : public QObject {
  Q_OBJECT

 public:
  // The list, its model and the panel outlive this object.
  TKeyboardRow(TVirtualTreePlaylist& AView, TPlaylistViewModel& AModel, TStatusPanel& APanel);
  Q_DISABLE_COPY_MOVE(TKeyboardRow)

  // The rows were rebuilt while the keyboard was on row number ARow; a current row the window
  // has set since is where the keyboard stays.
  void Rebuilt(int ARow);
  // The keyboard moved a track to row ARow: the row is read there before what is said next.
  void Moved(int ARow);

  // A row as a screen reader reads it: its cells, one after another.
  QString RowSpeech(int ARow) const;

 private:
  void Restore();
  void SetCurrentRow(int ARow);

  TVirtualTreePlaylist& FView;
  TPlaylistViewModel& FModel;
  TStatusPanel& FPanel;
  // The row waiting to be restored, or -1.
  int FRow = -1;
  // The current row when the rows were rebuilt, if the window had set one.
  QPersistentModelIndex FPlaced;
};

}  // namespace wavenard
