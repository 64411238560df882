#include "app/song_finder.h"

#include "remote/playlist.h"

namespace wavenard {

namespace {

bool IsSong(const TPlaylistItem& AItem, const QString& ATitle, const QString& ADuration) {
  return AItem.Title == ATitle && AItem.Duration == ADuration;
}

}  // namespace

TSongRef RememberSong(const TPlaylist& AList, int ARow) {
  TSongRef Song;
  Song.Title = AList.Items(ARow).Title;
  Song.Duration = AList.Items(ARow).Duration;
  for (int Row = 0; Row < AList.Count(); ++Row) {
    if (IsSong(AList.Items(Row), Song.Title, Song.Duration)) {
      if (Row < ARow) {
        ++Song.Occurrence;
      }
      ++Song.Count;
    }
  }
  return Song;
}

TSongPlace FindSong(const TPlaylist& AList, const TSongRef& ASong) {
  TSongPlace Place;
  int Count = 0;
  for (int Row = 0; Row < AList.Count(); ++Row) {
    if (IsSong(AList.Items(Row), ASong.Title, ASong.Duration)) {
      if (Count == ASong.Occurrence) {
        Place.Row = Row;
      }
      ++Count;
    }
  }
  if (Count == 0) {
    Place.Result = TSongPlace::TResult::Gone;
    Place.Row = -1;
  } else if (Count != ASong.Count) {
    Place.Result = TSongPlace::TResult::Ambiguous;
    Place.Row = -1;
  } else {
    Place.Result = TSongPlace::TResult::Found;
  }
  return Place;
}

}  // namespace wavenard
