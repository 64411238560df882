#pragma once

#include <QString>
#include <deque>
#include <memory>

namespace wavenard {

// One playlist row as the station sends it; never parsed.
struct TPlaylistItem {
  QString Title;
  QString Duration;
};

// The station's playlist in its order, owning its rows. The rows are held by value in blocks,
// about 50 bytes each, with no allocation of their own: an answer of millions of empty track
// parts (the largest the exchange accepts, 64 MiB, gives 8.4 million) stays bounded.
class TPlaylist final {
 public:
  TPlaylist() = default;
  Q_DISABLE_COPY_MOVE(TPlaylist)

  void Add(std::unique_ptr<TPlaylistItem> AItem) { FItems.push_back(std::move(*AItem)); }
  int Count() const { return static_cast<int>(FItems.size()); }
  // AIndex must lie in 0 .. Count() - 1.
  const TPlaylistItem& Items(int AIndex) const { return FItems.at(static_cast<size_t>(AIndex)); }
  // Exchanges two rows by index without freeing either; indexes outside the list are ignored.
  void Exchange(int AIndex1, int AIndex2);

 private:
  std::deque<TPlaylistItem> FItems;
};

}  // namespace wavenard
