#include <gtest/gtest.h>

#include <QStringList>

#include "app/playlist_changes.h"
#include "remote/playlist.h"

namespace wavenard {
namespace {

// Rows written "title/duration".
std::unique_ptr<TPlaylist> List(const QStringList& ARows) {
  auto Result = std::make_unique<TPlaylist>();
  for (const QString& Row : ARows) {
    Result->Add(std::make_unique<TPlaylistItem>(TPlaylistItem{Row.section('/', 0, 0), Row.section('/', 1)}));
  }
  return Result;
}

TEST(ComparePlaylists, MarksTheRowsThatAreNewByTitleAndDuration) {
  struct TCase {
    const char* Name;
    QStringList Old;
    QStringList New;
    std::vector<bool> Marked;
    QString Summary;
  };
  const TCase Cases[] = {
      {"unchanged", {"A/1:00", "B/2:00"}, {"A/1:00", "B/2:00"}, {false, false}, ""},
      {"top row played out",
       {"A/1:00", "B/2:00", "C/3:00"},
       {"B/2:00", "C/3:00"},
       {false, false},
       "1 row removed"},
      {"played out and one appended",
       {"A/1:00", "B/2:00", "C/3:00"},
       {"B/2:00", "C/3:00", "D/4:00"},
       {false, false, true},
       "1 row added, 1 removed"},
      {"voice track inserted",
       {"A/1:00", "B/2:00"},
       {"A/1:00", "VT/0:03", "B/2:00"},
       {false, true, false},
       "1 row added"},
      {"reordered",
       {"A/1:00", "B/2:00", "C/3:00"},
       {"C/3:00", "A/1:00", "B/2:00"},
       {false, false, false},
       ""},
      {"a third copy",
       {"A/1:00", "A/1:00"},
       {"A/1:00", "A/1:00", "A/1:00"},
       {false, false, true},
       "1 row added"},
      {"same title, other duration", {"A/1:00"}, {"A/1:01"}, {true}, "1 row added, 1 removed"},
      {"texts split differently", {"ab/c"}, {"a/bc"}, {true}, "1 row added, 1 removed"},
      {"two added, one removed",
       {"A/1", "B/2"},
       {"B/2", "C/3", "D/4"},
       {false, true, true},
       "2 rows added, 1 removed"},
      {"all removed", {"A/1", "B/2"}, {}, {}, "2 rows removed"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const TPlaylistChanges Changes = ComparePlaylists(*List(Case.Old), *List(Case.New));
    EXPECT_EQ(Changes.NewRows, Case.Marked);
    EXPECT_EQ(Changes.Summary(), Case.Summary);
    EXPECT_EQ(Changes.Empty(), Case.Summary.isEmpty());
  }
}

// Rows that repeat the row before share its texts, as read from the station; a row whose texts
// only begin where the other's do is still compared by what it holds.
TEST(ComparePlaylists, RowsThatShareTheirTexts) {
  const TPlaylistItem Shared{QStringLiteral("abc"), QStringLiteral("1:00")};
  TPlaylist Old;
  for (int I = 0; I < 3; ++I) {
    Old.Add(std::make_unique<TPlaylistItem>(Shared));
  }
  Old.Add(std::make_unique<TPlaylistItem>(TPlaylistItem{QStringLiteral("a"), QStringLiteral("1:00")}));
  TPlaylist New;
  for (int I = 0; I < 4; ++I) {
    New.Add(std::make_unique<TPlaylistItem>(Shared));
  }
  New.Add(std::make_unique<TPlaylistItem>(
      TPlaylistItem{QString::fromRawData(Shared.Title.constData(), 1), Shared.Duration}));
  const TPlaylistChanges Changes = ComparePlaylists(Old, New);
  EXPECT_EQ(Changes.NewRows, (std::vector<bool>{false, false, false, true, false}));
  EXPECT_EQ(Changes.Summary(), "1 row added");
}

}  // namespace
}  // namespace wavenard
