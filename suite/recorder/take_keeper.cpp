#include "suite/recorder/take_keeper.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <span>
#include <stop_token>
#include <thread>
#include <vector>

#include "suite/recorder/flac_file_writer.h"
#include "suite/recorder/held_take.h"
#include "suite/recorder/recording_failure.h"
#include "suite/recorder/take_processing.h"

namespace wavenard {

namespace {

// Gets the kept sound ready for the encoder on a worker thread, a few pieces ahead of it: applies
// the plan's gain, works out the MD5 that the FLAC header carries and widens the samples to what
// the encoder takes. The encoder, on the calling thread, is left with nothing but encoding and
// writing, and the kept take is never copied whole.
class TKeptSound final {
 public:
  TKeptSound(const TTakeAudio& AAudio, const TTakePlan& APlan)
      : FAudio(AAudio), FPlan(APlan), FWorker([this](std::stop_token AStop) { Prepare(AStop); }) {}
  // Stops the worker and waits for it.
  ~TKeptSound() = default;
  Q_DISABLE_COPY_MOVE(TKeptSound)

  // The next piece of interleaved samples, valid until the next call; empty after the last.
  std::span<const qint32> Next() {
    std::unique_lock Lock(FMutex);
    if (FHanded) {
      ++FTaken;
      FHanded = false;
      FChanged.notify_all();
    }
    FChanged.wait(Lock, [this] { return FReady > FTaken || FDone; });
    if (FReady > FTaken) {
      FHanded = true;
      return FSlots[size_t(FTaken % Slots)];
    }
    if (FFailure) {
      std::rethrow_exception(FFailure);
    }
    return {};
  }

  // The MD5 of the 16-bit little-endian samples of all the pieces, once Next came back empty.
  QByteArray Checksum() {
    const std::scoped_lock Lock(FMutex);
    return FChecksum;
  }

 private:
  static constexpr qint64 PieceFrames = 32768;
  static constexpr int Slots = 3;

  void Prepare(const std::stop_token& AStop) {
    try {
      QCryptographicHash Hash(QCryptographicHash::Md5);
      std::vector<qint16> Piece(size_t(PieceFrames * FAudio.Channels));
      const qint64 Frames = FPlan.EndFrame - FPlan.FirstFrame;
      for (qint64 From = 0; From < Frames; From += PieceFrames) {
        const qint64 Count = std::min(PieceFrames, Frames - From);
        const size_t Samples = size_t(Count * FAudio.Channels);
        ApplyPlan(FAudio, FPlan, From, Count, Piece.data());
        std::unique_lock Lock(FMutex);
        if (!FChanged.wait(Lock, AStop, [this] { return FReady - FTaken < Slots; })) {
          return;
        }
        Lock.unlock();
        // The encoder is done with this slot and takes no other until it is counted ready.
        std::vector<qint32>& Slot = FSlots[size_t(FReady % Slots)];
        Slot.assign(Piece.data(), Piece.data() + Samples);
        qToLittleEndian<qint16>(Piece.data(), qsizetype(Samples), Piece.data());
        Hash.addData(
            QByteArrayView(reinterpret_cast<const char*>(Piece.data()), qsizetype(Samples * sizeof(qint16))));
        Lock.lock();
        ++FReady;
        FChanged.notify_all();
      }
      const std::scoped_lock Lock(FMutex);
      FChecksum = Hash.result();
      FDone = true;
    } catch (...) {
      const std::scoped_lock Lock(FMutex);
      FFailure = std::current_exception();
      FDone = true;
    }
    FChanged.notify_all();
  }

  const TTakeAudio& FAudio;
  const TTakePlan& FPlan;
  std::array<std::vector<qint32>, Slots> FSlots;
  std::mutex FMutex;
  std::condition_variable_any FChanged;
  // Pieces made ready by the worker, and taken by the encoder and done with.
  qint64 FReady = 0;
  qint64 FTaken = 0;
  // The encoder holds the piece after the taken ones.
  bool FHanded = false;
  bool FDone = false;
  std::exception_ptr FFailure;
  QByteArray FChecksum;
  // Last: it starts once all the above is in place, and stops before any of it goes.
  std::jthread FWorker;
};

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
  std::unique_ptr<THeldTake> Part;
  try {
    TKeptSound Sound(AAudio, APlan);
    for (std::span<const qint32> Piece = Sound.Next(); !Piece.empty(); Piece = Sound.Next()) {
      Writer.Write(Piece.data(), qint64(Piece.size()) / AAudio.Channels);
    }
    Part = Writer.FinishHeld(Sound.Checksum());
  } catch (...) {
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
