#include "remote/playlist.h"

#include <utility>

namespace wavenard {

void TPlaylist::Exchange(int AIndex1, int AIndex2) {
  if (AIndex1 < 0 || AIndex2 < 0 || AIndex1 >= Count() || AIndex2 >= Count()) {
    return;
  }
  std::swap(FItems[static_cast<size_t>(AIndex1)], FItems[static_cast<size_t>(AIndex2)]);
}

}  // namespace wavenard
