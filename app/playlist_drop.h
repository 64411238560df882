#pragma once

#include <QString>
#include <Qt>

class QMimeData;

namespace wavenard {

// The one local FLAC file of a drag from outside, or an empty path; with the reason when the
// user should hear why the drag is refused.
struct TDroppedFile {
  QString Path;
  QString Reason;
};
TDroppedFile DroppedVoiceTrack(const QMimeData* AData);

// A drag over the playlist, as the window sees it.
struct TPlaylistDrag {
  const QMimeData* Data = nullptr;
  // Dragged out of this list.
  bool OwnDrag = false;
  int SelectedCount = 0;
  // The row under the pointer, or -1.
  int Row = -1;
  // The rows of the list shown; 0 without one.
  int RowCount = 0;
  bool Closing = false;
};

struct TDropAnswer {
  bool Accepted = false;
  // For the status line; empty when there is nothing to tell.
  QString Reason;
};

// A row of this list moves when it is the only one selected, wherever it is dropped; one FLAC
// file from a file manager is inserted after the row it is dropped on. Anything else dragged in
// from elsewhere must never touch the station's playlist.
TDropAnswer AnswerPlaylistDrag(const TPlaylistDrag& ADrag);

// A dropped file is copied, never moved: the file manager keeps the presenter's file.
Qt::DropAction PlaylistDropAction(bool AOwnDrag);

}  // namespace wavenard
