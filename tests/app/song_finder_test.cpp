#include <gtest/gtest.h>

#include <QStringList>
#include <memory>

#include "app/song_finder.h"
#include "remote/playlist.h"

namespace wavenard {
namespace {

// "Title|duration" per row.
std::unique_ptr<TPlaylist> ListOf(const QStringList& ARows) {
  auto List = std::make_unique<TPlaylist>();
  for (const QString& Row : ARows) {
    List->Add(std::make_unique<TPlaylistItem>(TPlaylistItem{Row.section(u'|', 0, 0), Row.section(u'|', 1)}));
  }
  return List;
}

TEST(SongFinder, FindsTheSongMeantAfterTheListMoved) {
  using R = TSongPlace::TResult;
  struct TCase {
    const char* Name;
    QStringList Before;
    int Row;
    QStringList After;
    R Result;
    int Found;
  };
  const QStringList Base{"News|2:00", "Glass Mountain|3:10", "Copper Rain|4:00", "Jingle|0:05"};
  const TCase Cases[] = {
      {"unchanged", Base, 2, Base, R::Found, 2},
      {"a row added above",
       Base,
       2,
       {"Early|1:00", "News|2:00", "Glass Mountain|3:10", "Copper Rain|4:00"},
       R::Found,
       3},
      {"the top played out",
       Base,
       2,
       {"Glass Mountain|3:10", "Copper Rain|4:00", "Jingle|0:05"},
       R::Found,
       1},
      {"played out itself", Base, 0, {"Glass Mountain|3:10", "Copper Rain|4:00"}, R::Gone, -1},
      {"same title, other duration is another song", Base, 2, {"News|2:00", "Copper Rain|3:59"}, R::Gone, -1},
      {"second of two equals, moved down",
       {"Jingle|0:05", "A|1:00", "Jingle|0:05", "B|1:00"},
       2,
       {"X|1:00", "Jingle|0:05", "A|1:00", "Jingle|0:05", "B|1:00"},
       R::Found,
       3},
      {"first of two equals",
       {"Jingle|0:05", "A|1:00", "Jingle|0:05"},
       0,
       {"A|1:00", "Jingle|0:05", "B|1:00", "Jingle|0:05"},
       R::Found,
       1},
      {"one of two equals played out",
       {"Jingle|0:05", "A|1:00", "Jingle|0:05"},
       2,
       {"A|1:00", "Jingle|0:05"},
       R::Ambiguous,
       -1},
      {"a third equal added",
       {"Jingle|0:05", "Jingle|0:05"},
       1,
       {"Jingle|0:05", "Jingle|0:05", "Jingle|0:05"},
       R::Ambiguous,
       -1},
      {"the list emptied", Base, 1, {}, R::Gone, -1},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const TSongRef Song = RememberSong(*ListOf(Case.Before), Case.Row);
    EXPECT_EQ(Song.Title, Case.Before[Case.Row].section(u'|', 0, 0));
    const TSongPlace Place = FindSong(*ListOf(Case.After), Song);
    EXPECT_EQ(Place.Result, Case.Result);
    EXPECT_EQ(Place.Row, Case.Found);
  }
}

}  // namespace
}  // namespace wavenard
