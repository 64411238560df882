#include "suite/recorder/take_keeper.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <future>
#include <vector>

#include "suite/recorder/flac_file_writer.h"
#include "suite/recorder/held_take.h"
#include "suite/recorder/recording_failure.h"
#include "suite/recorder/take_processing.h"

namespace wavenard {

namespace {

// Hands AUse the kept sound a piece at a time, with the plan's gain applied, so that the kept
// take is never copied whole: AUse(samples, frames).
template <class F>
void ForEachKeptPiece(const TTakeAudio& AAudio, const TTakePlan& APlan, F&& AUse) {
  constexpr qint64 PieceFrames = 32768;
  std::vector<qint16> Piece(size_t(PieceFrames * AAudio.Channels));
  const qint64 Frames = APlan.EndFrame - APlan.FirstFrame;
  for (qint64 From = 0; From < Frames; From += PieceFrames) {
    const qint64 Count = std::min(PieceFrames, Frames - From);
    ApplyPlan(AAudio, APlan, From, Count, Piece.data());
    AUse(Piece.data(), Count);
  }
}

// The MD5 of the kept sound as a FLAC header carries it: 16-bit samples, little-endian, interleaved.
QByteArray KeptChecksum(const TTakeAudio& AAudio, const TTakePlan& APlan) {
  QCryptographicHash Hash(QCryptographicHash::Md5);
  ForEachKeptPiece(AAudio, APlan, [&](qint16* ASamples, qint64 AFrames) {
    const qsizetype Count = qsizetype(AFrames * AAudio.Channels);
    qToLittleEndian<qint16>(ASamples, Count, ASamples);
    Hash.addData(QByteArrayView(reinterpret_cast<const char*>(ASamples), Count * qsizetype(sizeof(qint16))));
  });
  return Hash.result();
}

}  // namespace

void KeepTake(THeldTake& ATake, const TTakeAudio& AAudio, const TTakePlan& APlan) {
  if (!APlan.ChangesTake(AAudio.Frames())) {
    ATake.Keep();
    return;
  }
  const QString PartName = ATake.PartFileName();
  TFlacFileWriter Writer;
  Writer.Open(ATake.CreatePart(), PartName, AAudio.SampleRate, AAudio.Channels,
              TFlacFileWriter::RewriteCompression, TFlacFileWriter::TChecksum::Caller);
  // Worked out beside the encoder, on another core when there is one.
  std::future<QByteArray> Checksum = std::async([&AAudio, &APlan] { return KeptChecksum(AAudio, APlan); });
  std::unique_ptr<THeldTake> Part;
  try {
    ForEachKeptPiece(AAudio, APlan,
                     [&](const qint16* ASamples, qint64 AFrames) { Writer.Write(ASamples, AFrames); });
    Part = Writer.FinishHeld(Checksum.get());
  } catch (const ERecordingFailure&) {
    // What a failed write leaves of the part is of no use: the take itself is still whole.
    ::unlink(QFile::encodeName(PartName).constData());
    throw;
  }
  if (Part == nullptr) {
    ATake.Keep();
    return;
  }
  ATake.Replace(*Part);
}

}  // namespace wavenard
