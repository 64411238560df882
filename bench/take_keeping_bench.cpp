#include <benchmark/benchmark.h>
#include <fcntl.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cmath>
#include <memory>
#include <vector>

#include "suite/recorder/flac_file_writer.h"
#include "suite/recorder/held_take.h"
#include "suite/recorder/level_meter.h"
#include "suite/recorder/take_keeper.h"
#include "suite/recorder/take_processing.h"
#include "suite/recorder/take_waveform.h"

namespace wavenard {
namespace {

constexpr int Rate = 48000;

// A minute of 48 kHz stereo as a presenter records it: a second of room noise, speech-like
// bursts of tones and noise with pauses, and two seconds of room noise at the end.
const TTakeAudio& OneMinute() {
  static const TTakeAudio Audio = [] {
    TTakeAudio Result;
    Result.SampleRate = Rate;
    Result.Channels = 2;
    QRandomGenerator Random(11);
    const qint64 Frames = qint64(Rate) * 60;
    Result.Samples.reserve(size_t(Frames) * 2);
    for (qint64 Frame = 0; Frame < Frames; ++Frame) {
      const double T = double(Frame) / Rate;
      const bool Speaking = T > 1 && T < 58 && std::fmod(T, 3.0) < 2.4;
      const double Envelope = Speaking ? 0.5 + 0.5 * std::sin(2 * 3.14159265 * 4 * T) : 0;
      for (int Channel = 0; Channel < 2; ++Channel) {
        const double Voice =
            5000 * std::sin(2 * 3.14159265 * 160 * T) + 2500 * std::sin(2 * 3.14159265 * 640 * T);
        const double Noise = Random.bounded(60) - 30;
        Result.Samples.push_back(
            static_cast<qint16>(Envelope * (Voice + Random.bounded(2000) - 1000) + Noise));
      }
    }
    return Result;
  }();
  return Audio;
}

// What a minute costs after Stop: finding the silence to trim and the gain, the waveform shown for
// review, and on Keep, encoding into the part file and putting it in place. Loudness and true
// peak were measured while it was recorded (BM_MeasureOneMinuteStereo48k), and the sound is at
// hand from the recording; the take to replace is made untimed.
void BM_KeepOneMinuteStereo48k(benchmark::State& AState) {
  const TTakeAudio& Audio = OneMinute();
  TLoudnessMeter Meter(Rate, 2);
  Meter.Add(Audio.Samples.data(), Audio.Frames());
  const TLoudness Measured = Meter.Result();
  QTemporaryDir Dir;
  const QString Name = Dir.filePath(QStringLiteral("VT.flac"));
  const std::vector<qint16> Short(size_t(Rate) * 2, 1000);
  TTakeWaveform Waveform;
  Waveform.resize(640, Waveform.sizeHint().height());
  for (auto _ : AState) {
    AState.PauseTiming();
    QFile::remove(Name);
    TFlacFileWriter Writer;
    Writer.Open(Name, Rate, 2);
    Writer.Write(Short.data(), Rate);
    std::unique_ptr<THeldTake> Take = Writer.FinishHeld();
    AState.ResumeTiming();
    const TTakePlan Plan = PlanTake(Audio, TRecorderOptions{}, Measured);
    Waveform.ShowTake(&Audio);
    Waveform.ShowKept(Plan.FirstFrame, Plan.EndFrame);
    KeepTake(*Take, Audio, Plan);
    benchmark::DoNotOptimize(Plan.Gain);
  }
}
BENCHMARK(BM_KeepOneMinuteStereo48k)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// The loudness measure that runs beside the encoder while recording, for a minute of sound.
void BM_MeasureOneMinuteStereo48k(benchmark::State& AState) {
  const TTakeAudio& Audio = OneMinute();
  for (auto _ : AState) {
    TLoudnessMeter Meter(Rate, 2);
    for (qint64 Frame = 0; Frame < Audio.Frames(); Frame += Rate / 50) {
      Meter.Add(Audio.Samples.data() + Frame * 2, std::min<qint64>(Rate / 50, Audio.Frames() - Frame));
    }
    benchmark::DoNotOptimize(Meter.Result().Integrated);
  }
}
BENCHMARK(BM_MeasureOneMinuteStereo48k)->Unit(benchmark::kMillisecond);

// Encoding alone, as the kept take is written again.
void BM_EncodeOneMinuteStereo48k(benchmark::State& AState) {
  const TTakeAudio& Audio = OneMinute();
  QTemporaryDir Dir;
  int Number = 0;
  for (auto _ : AState) {
    TFlacFileWriter Writer;
    const QByteArray Name = QFile::encodeName(Dir.filePath(QStringLiteral("%1.flac").arg(Number++)));
    Writer.Open(::open(Name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644),
                QFile::decodeName(Name), Rate, 2, TFlacFileWriter::RewriteCompression);
    Writer.Write(Audio.Samples.data(), Audio.Frames());
    Writer.Finish();
    AState.PauseTiming();
    QFile::remove(Writer.FileName());
    AState.ResumeTiming();
  }
}
BENCHMARK(BM_EncodeOneMinuteStereo48k)->Unit(benchmark::kMillisecond)->UseRealTime();

// The meter's share of the way from sound to screen, per tick: the level of a 30 ms piece, the
// meter's update and one paint. The rest is the capture buffer asked of the sound server (50 ms)
// and the tick (at most 30 ms).
void BM_MeterTick(benchmark::State& AState) {
  TLevelMeter Meter;
  Meter.resize(480, Meter.sizeHint().height());
  QImage Screen(Meter.size(), QImage::Format_ARGB32);
  const TTakeAudio& Audio = OneMinute();
  qint64 Frame = 0;
  for (auto _ : AState) {
    int Peak = 0;
    const qint64 Count = Rate * 30 / 1000;
    for (qint64 I = Frame * 2; I < (Frame + Count) * 2; ++I) {
      Peak = std::max(Peak, std::abs(int{Audio.Samples[size_t(I)]}));
    }
    Frame = (Frame + Count) % (Audio.Frames() - Count);
    Meter.ShowPeak(Peak / 32768.0);
    Meter.render(&Screen);
  }
}
BENCHMARK(BM_MeterTick)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace wavenard

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication Application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
