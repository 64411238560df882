#pragma once

#include <QString>
#include <QtGlobal>
#include <vector>

namespace wavenard {

// A take's sound in memory: 16-bit samples, interleaved.
struct TTakeAudio {
  int SampleRate = 0;
  int Channels = 0;
  std::vector<qint16> Samples;

  qint64 Frames() const { return Channels > 0 ? qint64(Samples.size()) / Channels : 0; }
};

// Decodes the 16-bit FLAC file open as AFd from its start, leaving the descriptor's offset where
// it was not. Raises ERecordingFailure naming AFileName.
TTakeAudio DecodeTake(int AFd, const QString& AFileName);

}  // namespace wavenard
