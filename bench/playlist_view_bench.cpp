// The playlist window's row update for a long playlist: rebinding the rows in place (same
// length) and rebuilding them (another length), each alone and with the repaint that follows,
// both after comparing the new list with the one shown to mark the rows that are new; and the
// repaint once more as the window has it when the station stopped answering: the title column
// fitted to the width, the rows drawn muted, the live indicator told of each refresh.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <QTime>
#include <memory>

#include "app/live_indicator.h"
#include "app/playlist_changes.h"
#include "app/playlist_view_model.h"
#include "app/playlist_view_setup.h"
#include "app/virtual_tree_playlist.h"
#include "bench/fixed_dpi.h"
#include "remote/playlist.h"
#include "support/dpi.h"

namespace {

using namespace wavenard;

constexpr int Rows = 10000;

using bench::TFixedDpi;

// ACount rows from AFirst on: the top row playing out shifts the window one row further.
std::unique_ptr<TPlaylist> MakePlaylist(int AFirst, int ACount) {
  auto List = std::make_unique<TPlaylist>();
  for (int Row = AFirst; Row < AFirst + ACount; ++Row) {
    List->Add(std::make_unique<TPlaylistItem>(
        TPlaylistItem{QStringLiteral("Artist %1 - Title of track %1").arg(Row), QStringLiteral("3:45")}));
  }
  return List;
}

// The window's cells for a list of sample tracks.
struct TSampleTexts final : TCellTextSource {
  QString CellText(int ARow, int AColumn) const override {
    switch (AColumn) {
      case 0:
        return QString::number(ARow + 1);
      case 1:
        return QStringLiteral("Artist %1 - Title of track %1").arg(ARow);
      default:
        return QStringLiteral("3:45");
    }
  }
};

struct TShownList {
  // AStale: fitted columns, muted rows and the indicator, as a window whose station is gone.
  explicit TShownList(bool AStale = false) : Stale(AStale) {
    Model.SetTextSource(&Texts);
    ConfigurePlaylistView(View, Model);
    if (Stale) {
      FitPlaylistColumns(View, 608);
      SetPlaylistMuted(View, true);
    }
    View.resize(Stale ? 1200 : 608, 350);
    View.show();
    UpdatePlaylistRows(View, Model, Rows);
    View.SetVerticalScrollOffset(Rows / 2);
    QApplication::processEvents();
  }

  TFixedDpi DpiSource;
  TDpiCache Dpi{DpiSource};
  const TSampleTexts Texts;
  TPlaylistViewModel Model;
  TVirtualTreePlaylist View{Dpi};
  TLiveIndicator Indicator;
  const bool Stale;
};

// What the window does with a new list: compare it with the one shown, mark the new rows,
// update the rows.
void Update(TShownList& AList, const TPlaylist& AOld, const TPlaylist& ANew) {
  TPlaylistChanges Changes = ComparePlaylists(AOld, ANew);
  AList.Model.MarkNewRows(std::move(Changes.NewRows));
  UpdatePlaylistRows(AList.View, AList.Model, ANew.Count());
  if (AList.Stale) {
    AList.Indicator.RefreshStarted();
    AList.Indicator.RefreshFailed(QTime::currentTime());
  }
}

// Arg 0: the update alone; 1: with the repaint of the visible rows; 2: the repaint of a stale
// list with its title column fitted to a wide window.
// The top row played out and one row came in at the end: same length, one row marked.
void Rebind(benchmark::State& AState) {
  TShownList List(AState.range(0) == 2);
  const auto Before = MakePlaylist(0, Rows);
  const auto After = MakePlaylist(1, Rows);
  for (auto _ : AState) {
    Update(List, *Before, *After);
    if (AState.range(0) != 0) {
      List.View.viewport()->repaint();
    }
  }
  AState.counters["offset"] = List.View.VerticalScrollOffset();
}
BENCHMARK(Rebind)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// One row more and one row less by turns.
void Rebuild(benchmark::State& AState) {
  TShownList List(AState.range(0) == 2);
  const auto Shorter = MakePlaylist(0, Rows);
  const auto Longer = MakePlaylist(0, Rows + 1);
  bool Grow = true;
  for (auto _ : AState) {
    Update(List, Grow ? *Shorter : *Longer, Grow ? *Longer : *Shorter);
    Grow = !Grow;
    if (AState.range(0) != 0) {
      List.View.viewport()->repaint();
    }
  }
  AState.counters["offset"] = List.View.VerticalScrollOffset();
}
BENCHMARK(Rebuild)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The comparison alone, for the share of the update it takes.
void Compare(benchmark::State& AState) {
  const auto Before = MakePlaylist(0, Rows);
  const auto After = MakePlaylist(1, Rows);
  for (auto _ : AState) {
    benchmark::DoNotOptimize(ComparePlaylists(*Before, *After));
  }
}
BENCHMARK(Compare)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("offscreen")).toUtf8());
  QApplication Application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
