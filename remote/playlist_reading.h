#pragma once

#include "remote/playlist.h"

#include <QString>

namespace wavenard {

// Appends one row to APlaylist for every part of the station's answer AText whose name is TRACK in
// any letter case, with the CASTTITLE and DURATION attributes as scanned. Text that is not XML gives
// no row; nothing here fails.
void ReadPlaylist(const QString& AText, TPlaylist& APlaylist);

}  // namespace wavenard
