#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "config/file_store.h"
#include "config/object_text.h"
#include "config/system_ini.h"
#include "support/message_box.h"

namespace wavenard {
namespace {

// Saving must not stop for a box; a benchmark that shows one has failed.
class TFailingBoxPresenter final : public TBoxPresenter {
 protected:
  int Present(const TBoxRequest& ARequest) override {
    qFatal("unexpected box: %s", qPrintable(ARequest.Text));
  }
};

QString NoSpecialFolder(int) {
  return {};
}

// A record as it stands after start-up: read with no file, so completed to 7 outputs and 4 inputs,
// with a microphone chosen.
struct TBenchSystemIni {
  QTemporaryDir Folder;
  TFailingBoxPresenter Boxes;
  TSystemIni Record{TFolders(Folder.path() + QLatin1Char('/'), Folder.path() + QLatin1Char('/')), Boxes,
                    NoSpecialFolder};

  TBenchSystemIni() {
    qint32 Tag = 0;
    Record.Read(Tag);
    Record.Inputs.Items(0).Method = 1;
    Record.Inputs.Items(0).DeviceID =
        QStringLiteral("{0.0.1.00000000}.{5f8e2a1c-7b3d-4e90-a6c2-1d9f0b7e4a33}");
    Record.Inputs.Items(0).DeviceName2 = QStringLiteral("Microphone (USB Audio Device)");
  }
};

void BM_WriteSystemIniText(benchmark::State& AState) {
  TBenchSystemIni Bench;
  qint64 Bytes = 0;
  for (auto _ : AState) {
    const QByteArray Text = WriteObjectText(Bench.Record);
    Bytes = Text.size();
    benchmark::DoNotOptimize(Text.constData());
  }
  AState.counters["bytes"] = static_cast<double>(Bytes);
}
BENCHMARK(BM_WriteSystemIniText)->Unit(benchmark::kMicrosecond);

// The text and the file write, as the first step of a save.
void BM_WriteSystemIniFile(benchmark::State& AState) {
  TBenchSystemIni Bench;
  const QString FileName = Bench.Record.FileName();
  for (auto _ : AState) {
    WriteRecordFile(FileName, [&Bench] { return WriteObjectText(Bench.Record); });
  }
}
BENCHMARK(BM_WriteSystemIniFile)->Unit(benchmark::kMicrosecond);

// A whole save: the file and its backup copy.
void BM_SaveSystemIni(benchmark::State& AState) {
  TBenchSystemIni Bench;
  for (auto _ : AState) {
    Bench.Record.Save();
  }
}
BENCHMARK(BM_SaveSystemIni)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace wavenard

int main(int argc, char** argv) {
  QCoreApplication Application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
