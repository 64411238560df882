#include "app/playlist_changes.h"

#include <QHash>
#include <QStringList>

#include "remote/playlist.h"

namespace wavenard {

namespace {

QString Rows(int ACount) {
  return ACount == 1 ? QStringLiteral("1 row") : QStringLiteral("%1 rows").arg(ACount);
}

// A row as a hash key: its title and duration, compared and hashed in place.
struct TRowKey {
  const TPlaylistItem* Item;

  bool operator==(const TRowKey& AOther) const {
    return Item->Title == AOther.Item->Title && Item->Duration == AOther.Item->Duration;
  }
};

size_t qHash(const TRowKey& AKey, size_t ASeed) {
  return qHashMulti(ASeed, AKey.Item->Title, AKey.Item->Duration);
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
  for (int Row = 0; Row < AOld.Count(); ++Row) {
    ++Unmatched[TRowKey{&AOld.Items(Row)}];
  }
  TPlaylistChanges Result;
  Result.NewRows.resize(static_cast<size_t>(ANew.Count()));
  int Matched = 0;
  for (int Row = 0; Row < ANew.Count(); ++Row) {
    const auto Found = Unmatched.find(TRowKey{&ANew.Items(Row)});
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
