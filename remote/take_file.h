#pragma once

#include <QString>
#include <optional>

namespace wavenard {

// A take the recorder has finished with, as found in the voice-tracks folder.
struct TFinishedTake {
  QString Path;
  qint64 DurationMs = 0;
};

// Whether AFileName (no folder) is named like a take: it ends with ".flac" and is no hidden
// file (the recorder writes a changed take to a hidden file first).
bool IsTakeName(const QString& AFileName);

// The take at APath when it is finished: named like a take, a regular file that nobody else
// holds open or locked (the recorder holds it until the presenter keeps it), beginning with
// "fLaC" and a stream information block that counts at least one sample. Otherwise none, also
// when it cannot be read.
std::optional<TFinishedTake> ReadFinishedTake(const QString& APath);

}  // namespace wavenard
