#pragma once

#include "remote/playlist.h"
#include "support/failure.h"

#include <QString>

namespace wavenard {

// Bounds of one playlist reading, far above any real station's playlist, so that a faulty or
// hostile answer inside the answer size limit cannot make the program hold gigabytes or stall
// the window: at most MaxPlaylistRows rows, at most MaxPartAttributes attributes in one part,
// and Title and Duration cut to MaxCellLength characters with an ellipsis.
constexpr int MaxPlaylistRows = 100'000;
constexpr int MaxPartAttributes = 1'000;
constexpr int MaxCellLength = 1'024;

// The answer lies beyond a bound of the reading; the playlist was not read.
class EPlaylistTooLarge : public EFailure {
 public:
  using EFailure::EFailure;
};

// Appends one row to APlaylist for every part of the station's answer AText whose name is TRACK in
// any letter case, with the CASTTITLE and DURATION attributes as scanned. Text that is not XML gives
// no row. Throws EPlaylistTooLarge past a bound; what was appended until then is left to the caller.
void ReadPlaylist(const QString& AText, TPlaylist& APlaylist);

}  // namespace wavenard
