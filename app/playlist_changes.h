#pragma once

#include <QString>
#include <vector>

namespace wavenard {

class TPlaylist;

// What a refresh changed, comparing rows by title and duration: a row counts as new when the
// list shown before held no unmatched row with the same two texts. Moving rows, and the top
// row playing out so that every row moves up one place, adds and removes nothing.
struct TPlaylistChanges {
  // One flag per row of the new list.
  std::vector<bool> NewRows;
  int Added = 0;
  int Removed = 0;

  bool Empty() const { return Added == 0 && Removed == 0; }
  // "2 rows added, 1 removed"; empty when nothing changed.
  QString Summary() const;
};

TPlaylistChanges ComparePlaylists(const TPlaylist& AOld, const TPlaylist& ANew);

}  // namespace wavenard
