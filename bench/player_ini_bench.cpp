#include <benchmark/benchmark.h>

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <stdexcept>

#include "config/object_text.h"
#include "config/player_ini.h"
#include "support/message_box.h"
#include "tests/config/every_value.h"

namespace wavenard {
namespace {

class TSilentBoxes final : public TBoxPresenter {
 protected:
  int Present(const TBoxRequest&) override { return IDOK; }
};

// A settings folder whose "player.ini" sets every property, with two entries in each collection.
class TPlayerIniFolder {
 public:
  TPlayerIniFolder() {
    TPlayerIni Record(Folders(), Boxes, Random);
    int Counter = 0;
    test::SetEveryValue(Record, Counter);
    Text = WriteObjectText(Record);
    QFile File(Record.FileName());
    if (!File.open(QIODevice::WriteOnly) || File.write(Text) != Text.size()) {
      throw std::runtime_error("cannot write player.ini");
    }
  }

  TFolders Folders() const { return TFolders(Dir.path() + '/', Dir.path() + '/'); }

  QTemporaryDir Dir;
  TSilentBoxes Boxes;
  QRandomGenerator Random{1};
  QByteArray Text;
};

// The start-up path: the record built and its file read.
void BM_CreateAndReadPlayerIni(benchmark::State& AState) {
  TPlayerIniFolder Folder;
  const TFolders Folders = Folder.Folders();
  for (auto _ : AState) {
    TPlayerIni Record(Folders, Folder.Boxes, Folder.Random);
    Record.Read();
    if (!Record.ReadSuccessful()) {
      AState.SkipWithError("player.ini was not read");
    }
    benchmark::DoNotOptimize(Record.UID());
  }
  AState.counters["bytes"] = static_cast<double>(Folder.Text.size());
}
BENCHMARK(BM_CreateAndReadPlayerIni)->Unit(benchmark::kMicrosecond);

// The text alone applied to a record, without the file.
void BM_ApplyPlayerIniText(benchmark::State& AState) {
  TPlayerIniFolder Folder;
  TPlayerIni Record(Folder.Folders(), Folder.Boxes, Folder.Random);
  for (auto _ : AState) {
    ReadObjectText(Folder.Text, Record);
  }
}
BENCHMARK(BM_ApplyPlayerIniText)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace wavenard

BENCHMARK_MAIN();
