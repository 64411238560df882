#include <benchmark/benchmark.h>

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cmath>
#include <vector>

#include "suite/recorder/flac_file_writer.h"

namespace wavenard {
namespace {

constexpr int Rate = 48000;
constexpr int Channels = 2;
// The sound server hands the recorder about 20 ms at a time.
constexpr int ChunkFrames = Rate / 50;

// One second of 48 kHz stereo: a voice-like mix of tones with some noise, or plain noise, which
// is the hardest case for the encoder.
std::vector<qint16> OneSecond(bool ANoise) {
  QRandomGenerator Random(7);
  std::vector<qint16> Samples;
  Samples.reserve(size_t(Rate) * Channels);
  for (int Frame = 0; Frame < Rate; ++Frame) {
    const double T = double(Frame) / Rate;
    for (int Channel = 0; Channel < Channels; ++Channel) {
      const double Noise = Random.bounded(2000) - 1000;
      const double Tone = 6000 * std::sin(2 * 3.14159265 * (180 + Channel * 3) * T) +
                          3000 * std::sin(2 * 3.14159265 * 720 * T) +
                          1500 * std::sin(2 * 3.14159265 * 2400 * T);
      Samples.push_back(static_cast<qint16>(ANoise ? Noise * 20 : Tone + Noise));
    }
  }
  return Samples;
}

// CPU time to encode one second of 48 kHz stereo into a file, as the recorder does while it
// records (the file is created, written in 20 ms pieces and completed each time).
void BM_EncodeOneSecondStereo48k(benchmark::State& AState) {
  const std::vector<qint16> Samples = OneSecond(AState.range(0) != 0);
  QTemporaryDir Dir;
  int Number = 0;
  for (auto _ : AState) {
    TFlacFileWriter Writer;
    Writer.Open(Dir.filePath(QStringLiteral("%1.flac").arg(Number++)), Rate, Channels);
    for (int Frame = 0; Frame < Rate; Frame += ChunkFrames) {
      Writer.Write(Samples.data() + size_t(Frame) * Channels, ChunkFrames);
    }
    Writer.Finish();
    AState.PauseTiming();
    QFile::remove(Writer.FileName());
    AState.ResumeTiming();
  }
  AState.SetLabel(AState.range(0) != 0 ? "noise" : "tones and noise");
  AState.counters["audio_s"] = benchmark::Counter(double(AState.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EncodeOneSecondStereo48k)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace wavenard

BENCHMARK_MAIN();
