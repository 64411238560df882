#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "suite/recorder/recorder_options.h"
#include "suite/recorder/take_audio.h"

namespace wavenard {

// Below this level (dBFS) sound counts as silence at the start and the end of a take.
constexpr double SilenceLevel = -50.0;
// How much of the silence is kept before the first and after the last sound.
constexpr double SilencePadSeconds = 0.25;
// The highest true peak (dBTP) a normalised take may have.
constexpr double TruePeakCeiling = -1.0;

// A take's integrated loudness (LUFS, EBU R128) and true peak (dBTP); -inf for silence.
struct TLoudness {
  double Integrated = 0;
  double TruePeak = 0;
};

// Measures loudness while the sound arrives, so that nothing is left to measure after Stop.
class TLoudnessMeter final {
 public:
  TLoudnessMeter(int ASampleRate, int AChannels);
  ~TLoudnessMeter();
  Q_DISABLE_COPY_MOVE(TLoudnessMeter)

  void Add(const qint16* ASamples, qint64 AFrames);
  TLoudness Result() const;

 private:
  struct TState;

  std::unique_ptr<TState> FState;
  int FChannels;
};

// What keeping a take will do to it: the frames kept and the gain, from its measured loudness.
struct TTakePlan {
  qint64 FirstFrame = 0;
  qint64 EndFrame = 0;  // one past the last kept
  // Of the kept part, before the gain; -inf for silence.
  double MeasuredLoudness = 0;  // LUFS
  double MeasuredTruePeak = 0;  // dBTP
  double Gain = 0;              // dB
  // The gain is less than the target asked for, so that the true peak stays below the ceiling.
  bool CeilingLimited = false;
  // Nothing rises above the silence level: the take is kept as it is.
  bool Silent = false;

  double ResultLoudness() const { return MeasuredLoudness + Gain; }
  double ResultTruePeak() const { return MeasuredTruePeak + Gain; }
  bool ChangesTake(qint64 AFrames) const { return FirstFrame > 0 || EndFrame < AFrames || Gain != 0; }
};

// The part of AAudio that is kept when silence is trimmed: from SilencePadSeconds before the first
// sample above SilenceLevel to as long after the last; none when there is no such sample.
std::optional<std::pair<qint64, qint64>> SoundRange(const TTakeAudio& AAudio);

// Measures the part of AAudio that AOptions keep (integrated loudness by EBU R128, true peak) and
// finds the gain to the target, lowered where the true peak would pass the ceiling. A take that
// holds nothing but silence is neither trimmed nor raised: its noise would be all that is heard.
// AMeasured, when given, is the loudness of all of AAudio, measured while it was recorded: what
// trimming takes away is silence, which the measure's gates leave out anyway.
TTakePlan PlanTake(const TTakeAudio& AAudio, const TRecorderOptions& AOptions,
                   const std::optional<TLoudness>& AMeasured = std::nullopt);

// The kept part of AAudio with the plan's gain applied.
std::vector<qint16> ApplyPlan(const TTakeAudio& AAudio, const TTakePlan& APlan);
// The same for AFrames frames from the kept part's frame AFrom on, into AOut.
void ApplyPlan(const TTakeAudio& AAudio, const TTakePlan& APlan, qint64 AFrom, qint64 AFrames, qint16* AOut);

// "-23.0 LUFS", "−∞" for silence.
QString FormatLoudness(double ALufs, const QString& AUnit);

}  // namespace wavenard
