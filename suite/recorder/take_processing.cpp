#include "suite/recorder/take_processing.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace wavenard {

namespace {

// Keeps the true peak measured by libebur128 and what rounding to 16 bits adds below the ceiling.
constexpr double CeilingMargin = 0.1;

double Decibels(double AAmplitude) {
  return AAmplitude > 0 ? 20 * std::log10(AAmplitude) : -HUGE_VAL;
}

}  // namespace

struct TLoudnessMeter::TState {
  ebur128_state* Meter;

  ~TState() {
    if (Meter != nullptr) {
      ebur128_destroy(&Meter);
    }
  }
};

TLoudnessMeter::TLoudnessMeter(int ASampleRate, int AChannels)
    : FState(
          new TState{ebur128_init(static_cast<unsigned>(AChannels), static_cast<unsigned long>(ASampleRate),
                                  EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK)}),
      FChannels(AChannels) {}

TLoudnessMeter::~TLoudnessMeter() = default;

void TLoudnessMeter::Add(const qint16* ASamples, qint64 AFrames) {
  if (FState->Meter != nullptr && AFrames > 0) {
    ebur128_add_frames_short(FState->Meter, ASamples, static_cast<size_t>(AFrames));
  }
}

TLoudness TLoudnessMeter::Result() const {
  TLoudness Result{-HUGE_VAL, -HUGE_VAL};
  ebur128_state* const Meter = FState->Meter;
  if (Meter == nullptr) {
    return Result;
  }
  double Loudness = -HUGE_VAL;
  if (ebur128_loudness_global(Meter, &Loudness) == EBUR128_SUCCESS) {
    Result.Integrated = Loudness;
  }
  double Peak = 0;
  for (int Channel = 0; Channel < FChannels; ++Channel) {
    double ChannelPeak = 0;
    if (ebur128_true_peak(Meter, static_cast<unsigned>(Channel), &ChannelPeak) == EBUR128_SUCCESS) {
      Peak = std::max(Peak, ChannelPeak);
    }
  }
  Result.TruePeak = Decibels(Peak);
  return Result;
}

std::optional<std::pair<qint64, qint64>> SoundRange(const TTakeAudio& AAudio) {
  const int Threshold = int(std::lround(32768 * std::pow(10.0, SilenceLevel / 20)));
  const qint64 Frames = AAudio.Frames();
  const auto Loud = [&](qint64 AFrame) {
    for (int Channel = 0; Channel < AAudio.Channels; ++Channel) {
      if (std::abs(int{AAudio.Samples[size_t(AFrame * AAudio.Channels + Channel)]}) > Threshold) {
        return true;
      }
    }
    return false;
  };
  qint64 First = 0;
  while (First < Frames && !Loud(First)) {
    ++First;
  }
  if (First == Frames) {
    return std::nullopt;
  }
  qint64 Last = Frames - 1;
  while (!Loud(Last)) {
    --Last;
  }
  const qint64 Pad = qint64(std::lround(SilencePadSeconds * AAudio.SampleRate));
  return std::make_pair(std::max<qint64>(First - Pad, 0), std::min(Last + 1 + Pad, Frames));
}

TTakePlan PlanTake(const TTakeAudio& AAudio, const TRecorderOptions& AOptions,
                   const std::optional<TLoudness>& AMeasured) {
  TTakePlan Plan;
  Plan.EndFrame = AAudio.Frames();
  const std::optional<std::pair<qint64, qint64>> Sound = SoundRange(AAudio);
  Plan.Silent = !Sound.has_value();
  if (AOptions.Trim && Sound) {
    std::tie(Plan.FirstFrame, Plan.EndFrame) = *Sound;
  }
  TLoudness Measured;
  if (AMeasured) {
    Measured = *AMeasured;
  } else {
    TLoudnessMeter Meter(AAudio.SampleRate, AAudio.Channels);
    Meter.Add(AAudio.Samples.data() + Plan.FirstFrame * AAudio.Channels, Plan.EndFrame - Plan.FirstFrame);
    Measured = Meter.Result();
  }
  Plan.MeasuredLoudness = Measured.Integrated;
  Plan.MeasuredTruePeak = Measured.TruePeak;
  // Silence stays silence: there is no loudness to bring to the target.
  if (AOptions.Normalise && !Plan.Silent && std::isfinite(Plan.MeasuredLoudness) &&
      std::isfinite(Plan.MeasuredTruePeak)) {
    Plan.Gain = AOptions.TargetLoudness - Plan.MeasuredLoudness;
    const double Highest = TruePeakCeiling - CeilingMargin - Plan.MeasuredTruePeak;
    if (Plan.Gain > Highest) {
      Plan.Gain = Highest;
      Plan.CeilingLimited = true;
    }
  }
  return Plan;
}

void ApplyPlan(const TTakeAudio& AAudio, const TTakePlan& APlan, qint64 AFrom, qint64 AFrames, qint16* AOut) {
  const auto Begin = AAudio.Samples.begin() + (APlan.FirstFrame + AFrom) * AAudio.Channels;
  const auto End = Begin + AFrames * AAudio.Channels;
  if (APlan.Gain == 0) {
    std::copy(Begin, End, AOut);
    return;
  }
  const float Factor = float(std::pow(10.0, APlan.Gain / 20));
  // Rounded half away from zero without a branch: std::lrint is a library call per sample here,
  // and a test of the sign is a guess the processor gets wrong half the time.
  std::transform(Begin, End, AOut, [Factor](qint16 ASample) {
    const float Scaled = std::clamp(float(ASample) * Factor, -32768.0F, 32767.0F);
    return static_cast<qint16>(Scaled + std::copysign(0.5F, Scaled));
  });
}

std::vector<qint16> ApplyPlan(const TTakeAudio& AAudio, const TTakePlan& APlan) {
  const qint64 Frames = APlan.EndFrame - APlan.FirstFrame;
  std::vector<qint16> Result(size_t(Frames * AAudio.Channels));
  ApplyPlan(AAudio, APlan, 0, Frames, Result.data());
  return Result;
}

QString FormatLoudness(double AValue, const QString& AUnit) {
  if (!std::isfinite(AValue)) {
    return QStringLiteral("\u2212\u221E ") + AUnit;
  }
  const QString Number = QString::number(std::abs(AValue), 'f', 1);
  return (AValue < -0.05 ? QStringLiteral("\u2212") : QString()) + Number + u' ' + AUnit;
}

}  // namespace wavenard
