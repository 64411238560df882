#include "app/playlist_changes.h"

#include <QHash>
#include <QStringList>

#include "remote/playlist.h"

namespace wavenard {

namespace {

QString Rows(int ACount) {
  return ACount == 1 ? QStringLiteral("1 row") : QStringLiteral("%1 rows").arg(ACount);
}

// A row as a hash key: its title and duration, compared in place, with their hash.
struct TRowKey {
  const TPlaylistItem* Item;
  size_t Hash;
  // The row shares its texts with the row before, so it is the same key.
  bool Repeats;

  bool operator==(const TRowKey& AOther) const {
    return Item->Title == AOther.Item->Title && Item->Duration == AOther.Item->Duration;
  }
};

size_t qHash(const TRowKey& AKey, size_t ASeed) {
  return qHashMulti(ASeed, AKey.Hash);
}

bool SharesTexts(const TPlaylistItem& AItem, const TPlaylistItem& AOther) {
  return AItem.Title.constData() == AOther.Title.constData() && AItem.Title.size() == AOther.Title.size() &&
         AItem.Duration.constData() == AOther.Duration.constData() &&
         AItem.Duration.size() == AOther.Duration.size();
}

// The rows of AList as keys. A row that shares its texts with the row before, as the rows the
// reading repeats do, is neither hashed nor compared again: texts of up to a thousand characters,
// a hundred thousand times, would cost the window a noticeable pause on every refresh.
std::vector<TRowKey> RowKeys(const TPlaylist& AList) {
  std::vector<TRowKey> Keys;
  Keys.reserve(static_cast<size_t>(AList.Count()));
  for (int Row = 0; Row < AList.Count(); ++Row) {
    const TPlaylistItem& Item = AList.Items(Row);
    if (!Keys.empty() && SharesTexts(Item, *Keys.back().Item)) {
      Keys.push_back({&Item, Keys.back().Hash, true});
    } else {
      Keys.push_back({&Item, qHashMulti(0, Item.Title, Item.Duration), false});
    }
  }
  return Keys;
}

}  // namespace

QString TPlaylistChanges::Summary() const {
  QStringList Parts;
  if (Added > 0) {
    Parts.append(Rows(Added) + QStringLiteral(" added"));
  }
  if (Removed > 0) {
    Parts.append(Parts.isEmpty() ? Rows(Removed) + QStringLiteral(" removed")
                                 : QStringLiteral("%1 removed").arg(Removed));
  }
  return Parts.join(QStringLiteral(", "));
}

TPlaylistChanges ComparePlaylists(const TPlaylist& AOld, const TPlaylist& ANew) {
  // How many rows of each kind the old list still has to match.
  QHash<TRowKey, int> Unmatched;
  Unmatched.reserve(AOld.Count());
  // Nothing is inserted between a row and the one that repeats it, so its count stays in place.
  int* Count = nullptr;
  for (const TRowKey& Key : RowKeys(AOld)) {
    if (!Key.Repeats || Count == nullptr) {
      Count = &Unmatched[Key];
    }
    ++*Count;
  }
  TPlaylistChanges Result;
  Result.NewRows.resize(static_cast<size_t>(ANew.Count()));
  int Matched = 0;
  const std::vector<TRowKey> NewKeys = RowKeys(ANew);
  auto Found = Unmatched.end();
  for (int Row = 0; Row < ANew.Count(); ++Row) {
    const TRowKey& Key = NewKeys[static_cast<size_t>(Row)];
    if (!Key.Repeats || Row == 0) {
      Found = Unmatched.find(Key);
    }
    if (Found != Unmatched.end() && Found.value() > 0) {
      --Found.value();
      ++Matched;
    } else {
      Result.NewRows[static_cast<size_t>(Row)] = true;
      ++Result.Added;
    }
  }
  Result.Removed = AOld.Count() - Matched;
  return Result;
}

}  // namespace wavenard
