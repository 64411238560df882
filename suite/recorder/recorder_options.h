#pragma once

#include <QString>

namespace wavenard {

// What the recorder does to a take before it keeps it, as the presenter last chose it. Stored in
// the recorder's own file in the settings folder, "pellorin.ini", which no other program reads.
struct TRecorderOptions {
  static constexpr double DefaultTarget = -23.0;  // LUFS, EBU R128
  static constexpr double MinTarget = -40.0;
  static constexpr double MaxTarget = -6.0;

  bool Trim = true;
  bool Normalise = true;
  double TargetLoudness = DefaultTarget;

  // The options in AFileName; what is missing or unreadable keeps its default.
  static TRecorderOptions Load(const QString& AFileName);
  // Writes them to AFileName, private to the user. Raises EFileFailure.
  void Save(const QString& AFileName) const;

  bool operator==(const TRecorderOptions&) const = default;
};

}  // namespace wavenard
