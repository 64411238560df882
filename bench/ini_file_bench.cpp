#include <benchmark/benchmark.h>

#include <QByteArray>

#include "config/ini_file.h"

namespace wavenard {
namespace {

// An INI text of N sections of two entries each; reading time must grow with N, not N squared.
QByteArray ManySections(int ACount) {
  QByteArray Text;
  for (int I = 0; I < ACount; ++I) {
    Text += "[Section" + QByteArray::number(I) + "]\r\nKey=Value\r\nOther=" + QByteArray::number(I) + "\r\n";
  }
  return Text;
}

void BM_ReadIniSections(benchmark::State& AState) {
  const QByteArray Text = ManySections(static_cast<int>(AState.range(0)));
  for (auto _ : AState) {
    const TIniFile Ini(Text);
    benchmark::DoNotOptimize(Ini.ReadString(QStringLiteral("section1"), QStringLiteral("key")));
  }
  AState.SetComplexityN(AState.range(0));
}
BENCHMARK(BM_ReadIniSections)
    ->Arg(10'000)
    ->Arg(20'000)
    ->Arg(40'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace
}  // namespace wavenard

BENCHMARK_MAIN();
