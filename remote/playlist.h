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
// about 50 bytes each besides their texts. The reading stops at 100,000 rows (an answer at the
// exchange's 64 MiB limit could otherwise give 16.8 million, from "<TRACK>a" repeated: a start
// tag and a text part, a row each) and cuts each text to 1,024 characters, and rows that repeat
// the row before share its texts, so a list stays within a few hundred MB at worst.
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
