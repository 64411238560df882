#pragma once

namespace wavenard {

class TPlaylistViewModel;
class TVirtualTreePlaylist;

// How the playlist window sets up its list: the model with its three columns, header,
// selection, hot tracking, colours, dragging and scrolling.
void ConfigurePlaylistView(TVirtualTreePlaylist& AView, TPlaylistViewModel& AModel);

}  // namespace wavenard
