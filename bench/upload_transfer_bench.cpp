// Posting the voice-track form over loopback to a server that only reads it: MB/s of body
// bytes, with and without the progress that the status panel follows (second argument 1).
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <atomic>

#include "bench/sink_server.h"
#include "remote/http_exchange.h"

namespace {

void PostUploadForm(benchmark::State& AState) {
  const QByteArray Form =
      "user=studio&pass=secret&action=wavenard&fn=take+1.flac&pos=3&vt=" + QByteArray(AState.range(0), 'A');
  const bool WithProgress = AState.range(1) != 0;
  const wavenard::bench::TSinkServer Server;
  const QString URL = QStringLiteral("http://127.0.0.1:%1").arg(Server.Port());
  std::atomic<qint64> Sent{0};
  const wavenard::TTransferProgress Progress = [&Sent](qint64 ASent, qint64) { Sent = ASent; };
  for (auto _ : AState) {
    const wavenard::THttpAnswer Answer = wavenard::PerformHttpExchange(
        URL, &Form, wavenard::THttpLimits{}, [] { return false; }, WithProgress ? Progress : nullptr);
    benchmark::DoNotOptimize(Answer.Body.constData());
  }
  AState.SetBytesProcessed(AState.iterations() * Form.size());
  AState.counters["progress"] = WithProgress ? 1 : 0;
}

BENCHMARK(PostUploadForm)
    ->Args({1 << 20, 0})
    ->Args({1 << 20, 1})
    ->Args({100 << 20, 0})
    ->Args({100 << 20, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
