// Building the voice-track form body: MB/s of file bytes, and the time against a memcpy of
// the body's size (what a build that only moved bytes would cost).
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QRandomGenerator>
#include <chrono>
#include <cstring>

#include "remote/upload_body.h"

namespace {

QByteArray RandomContent(qsizetype ASize) {
  QByteArray Content(ASize, Qt::Uninitialized);
  QRandomGenerator Random(1);
  Random.fillRange(reinterpret_cast<quint32*>(Content.data()), ASize / 4);
  return Content;
}

double SecondsPerMemcpy(qsizetype ASize) {
  QByteArray Source(ASize, 'x');
  QByteArray Target(ASize, Qt::Uninitialized);
  constexpr int Rounds = 5;
  const auto Start = std::chrono::steady_clock::now();
  for (int I = 0; I < Rounds; ++I) {
    std::memcpy(Target.data(), Source.constData(), static_cast<size_t>(ASize));
    benchmark::ClobberMemory();
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count() / Rounds;
}

void BuildUploadBody(benchmark::State& AState) {
  const QByteArray Content = RandomContent(AState.range(0));
  qsizetype BodySize = 0;
  double Seconds = 0;
  for (auto _ : AState) {
    const auto Start = std::chrono::steady_clock::now();
    const QByteArray Body = wavenard::BuildUploadBody(QStringLiteral("studio"), QStringLiteral("secret"),
                                                      QStringLiteral("take 1.flac"), 3, Content);
    Seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    BodySize = Body.size();
    benchmark::DoNotOptimize(Body.constData());
  }
  AState.SetBytesProcessed(AState.iterations() * Content.size());
  AState.counters["body_bytes"] = static_cast<double>(BodySize);
  AState.counters["vs_memcpy"] =
      Seconds / static_cast<double>(AState.iterations()) / SecondsPerMemcpy(BodySize);
}

BENCHMARK(BuildUploadBody)->Arg(1 << 20)->Arg(100 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
