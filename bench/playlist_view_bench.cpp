// The playlist window's row update for a long playlist: rebinding the rows in place (same
// length) and rebuilding them (another length), each alone and with the repaint that follows.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>

#include "app/playlist_view_model.h"
#include "app/playlist_view_setup.h"
#include "app/virtual_tree_playlist.h"
#include "support/dpi.h"

namespace {

using namespace wavenard;

constexpr int Rows = 10000;

class TFixedDpi final : public TDpiSource {
 public:
  std::optional<QString> CurrentMonitor() override { return QStringLiteral("M"); }
  int MonitorDpi(const QString&) override { return 96; }
  int ScreenDpi() override { return 96; }
  std::int64_t Now() override { return 0; }
};

struct TShownList {
  TShownList() {
    ConfigurePlaylistView(View, Model);
    View.resize(608, 350);
    View.show();
    UpdatePlaylistRows(View, Model, Rows);
    View.SetVerticalScrollOffset(Rows / 2);
    QApplication::processEvents();
  }

  TFixedDpi DpiSource;
  TDpiCache Dpi{DpiSource};
  TPlaylistViewModel Model{[](int ARow, int AColumn) {
    switch (AColumn) {
      case 0:
        return QString::number(ARow + 1);
      case 1:
        return QStringLiteral("Artist %1 - Title of track %1").arg(ARow);
      default:
        return QStringLiteral("3:45");
    }
  }};
  TVirtualTreePlaylist View{Dpi};
};

// Arg 0: the update alone; 1: with the repaint of the visible rows.
void Rebind(benchmark::State& AState) {
  TShownList List;
  for (auto _ : AState) {
    UpdatePlaylistRows(List.View, List.Model, Rows);
    if (AState.range(0) != 0) {
      List.View.viewport()->repaint();
    }
  }
  AState.counters["offset"] = List.View.VerticalScrollOffset();
}
BENCHMARK(Rebind)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void Rebuild(benchmark::State& AState) {
  TShownList List;
  int Count = Rows;
  for (auto _ : AState) {
    Count = Count == Rows ? Rows + 1 : Rows;
    UpdatePlaylistRows(List.View, List.Model, Count);
    if (AState.range(0) != 0) {
      List.View.viewport()->repaint();
    }
  }
  AState.counters["offset"] = List.View.VerticalScrollOffset();
}
BENCHMARK(Rebuild)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("offscreen")).toUtf8());
  QApplication Application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
