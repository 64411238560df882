#pragma once

namespace wavenard {

class TColumnFit;
class TPlaylistViewModel;
class TVirtualTreePlaylist;

// How the playlist window sets up its list: the model with its three columns, header,
// selection, hot tracking, colours, dragging and scrolling.
void ConfigurePlaylistView(TVirtualTreePlaylist& AView, TPlaylistViewModel& AModel);

// Lets the title column take what a list wider than AStartWidth has to spare; owned by the list.
TColumnFit& FitPlaylistColumns(TVirtualTreePlaylist& AView, int AStartWidth);

// Draws the rows' texts in a muted colour while the list may be out of date.
void SetPlaylistMuted(TVirtualTreePlaylist& AView, bool AMuted);

// Binds the list's rows to ACount items without painting in between: in place when the count is
// unchanged, so selection, focus and scroll position stay by row number; otherwise rebuilt at the
// same vertical scroll offset. Then the list is repainted and its scroll bars recomputed.
void UpdatePlaylistRows(TVirtualTreePlaylist& AView, TPlaylistViewModel& AModel, int ACount);

}  // namespace wavenard
