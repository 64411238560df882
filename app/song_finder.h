#pragma once

#include <QString>

namespace wavenard {

class TPlaylist;

// A song of the playlist as the presenter saw it. The list moves under it (songs play out,
// others are added), so it is found again by what it is, not by its row: its title and
// duration, which of the songs with both it was, counted from the top, and how many such songs
// there were.
struct TSongRef {
  QString Title;
  QString Duration;
  int Occurrence = 0;
  int Count = 0;
};

// The song at ARow (0-based, inside the list).
TSongRef RememberSong(const TPlaylist& AList, int ARow);

// Where the song is now. Gone: no song with its title and duration is left (it played out or
// was deleted). Ambiguous: the number of such songs changed, so which one was meant cannot be
// told.
struct TSongPlace {
  enum class TResult { Found, Gone, Ambiguous };
  TResult Result = TResult::Gone;
  int Row = -1;
};
TSongPlace FindSong(const TPlaylist& AList, const TSongRef& ASong);

}  // namespace wavenard
