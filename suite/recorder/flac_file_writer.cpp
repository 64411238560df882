#include "suite/recorder/flac_file_writer.h"

#include <FLAC++/encoder.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <array>
#include <cerrno>
#include <type_traits>
#include <vector>

#include "suite/recorder/held_take.h"
#include "suite/recorder/recording_failure.h"
#include "support/posix_file.h"
#include "support/system_error.h"

extern "C" FLAC__bool FLAC__stream_encoder_set_do_md5(FLAC__StreamEncoder* AEncoder, FLAC__bool AValue);

namespace wavenard {

namespace {

// Where STREAMINFO's fields lie in the file: after "fLaC" and the block's 4-byte header.
constexpr off_t StreamInfoOffset = 8;
constexpr off_t FrameSizesOffset = StreamInfoOffset + 4;
constexpr off_t TotalSamplesOffset = StreamInfoOffset + 13;
constexpr off_t Md5Offset = StreamInfoOffset + 18;
constexpr size_t Md5Size = 16;
// How many seconds of sound may be written before the header's length is brought up to date.
constexpr int StampSeconds = 2;

// Writes the 36-bit sample count into STREAMINFO without moving the file's offset; the 4 bits
// it shares a byte with (of the sample size) stay. Returns 0 or the error code.
int StampTotalSamples(int AFd, quint64 ASamples) {
  unsigned char Total[5];
  size_t Read = 0;
  if (const int Error = ReadFullAt(AFd, Total, 1, TotalSamplesOffset, Read)) {
    return Error;
  }
  if (Read != 1) {
    return EIO;
  }
  Total[0] = static_cast<unsigned char>((Total[0] & 0xF0) | ((ASamples >> 32) & 0x0F));
  for (int I = 1; I < 5; ++I) {
    Total[I] = static_cast<unsigned char>(ASamples >> (8 * (4 - I)));
  }
  return WriteFullAt(AFd, Total, sizeof Total, TotalSamplesOffset);
}

}  // namespace

// The encoder writes through our own descriptor, so that we know where the last whole frame
// ends and can keep the file open (and locked) for as long as the recording lasts. Frames are
// gathered and written a few at a time, and always by the end of each Write, so the file never
// lags behind what the recorder has handed over.
class TFlacFileWriter::TEncoder final : public FLAC::Encoder::Stream {
 public:
  // How much encoded sound is gathered before it is written.
  static constexpr size_t FlushBytes = 256 * 1024;

  int Fd = -1;
  // Where the descriptor stands: what has been written, or where the encoder last sought.
  off_t Offset = 0;
  // The end of the last complete write: the header or a whole frame.
  off_t GoodEnd = 0;
  quint64 SamplesInFile = 0;
  // The count the header says while the file grows, and how far it may fall behind.
  quint64 StampedSamples = 0;
  quint64 StampInterval = 0;
  int LastError = 0;
  std::vector<qint32> Buffer;
  // Whole frames (or the header) not written yet, and the samples they hold.
  std::vector<FLAC__byte> Pending;
  quint64 PendingSamples = 0;

  // Not in libFLAC's public header, though the library has long exported it.
  void SetOwnChecksum(bool AOwn) { FLAC__stream_encoder_set_do_md5(encoder_, AOwn); }

  QString FailureReason() const {
    return LastError != 0 ? SysErrorDescription(LastError) : QString::fromUtf8(get_state().as_cstring());
  }

  // Writes what is gathered; false with LastError set when that fails.
  bool Flush() {
    if (Pending.empty()) {
      return true;
    }
    if (const int Error = WriteFull(Fd, Pending.data(), Pending.size())) {
      LastError = Error;
      return false;
    }
    Offset += static_cast<off_t>(Pending.size());
    GoodEnd = std::max(GoodEnd, Offset);
    SamplesInFile += PendingSamples;
    Pending.clear();
    // Frames only follow the header, so STREAMINFO is in place by now. The encoder writes the
    // final count itself when it finishes; a failed stamp is tried again with the next write.
    if (PendingSamples > 0 && SamplesInFile - StampedSamples >= StampInterval &&
        StampTotalSamples(Fd, SamplesInFile) == 0) {
      StampedSamples = SamplesInFile;
    }
    PendingSamples = 0;
    return true;
  }

  // Cuts the file back to its last whole frame and makes the header say so. The frame sizes and
  // the checksum become "unknown", which every decoder accepts. Returns 0 or the error code.
  int Repair() {
    if (SamplesInFile == 0) {
      return 0;  // the file goes
    }
    if (::ftruncate(Fd, GoodEnd) != 0) {
      return errno;
    }
    const std::array<unsigned char, 6> NoFrameSizes{};
    const std::array<unsigned char, Md5Size> NoMd5{};
    if (const int Error = WriteFullAt(Fd, NoFrameSizes.data(), NoFrameSizes.size(), FrameSizesOffset)) {
      return Error;
    }
    if (const int Error = StampTotalSamples(Fd, SamplesInFile)) {
      return Error;
    }
    return WriteFullAt(Fd, NoMd5.data(), NoMd5.size(), Md5Offset);
  }

 protected:
  ::FLAC__StreamEncoderWriteStatus write_callback(const FLAC__byte AData[], size_t ABytes, uint32_t ASamples,
                                                  uint32_t) override {
    Pending.insert(Pending.end(), AData, AData + ABytes);
    PendingSamples += ASamples;
    if (Pending.size() >= FlushBytes && !Flush()) {
      return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    }
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
  }

  ::FLAC__StreamEncoderSeekStatus seek_callback(FLAC__uint64 AOffset) override {
    if (!Flush()) {
      return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    }
    if (::lseek(Fd, static_cast<off_t>(AOffset), SEEK_SET) < 0) {
      LastError = errno;
      return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    }
    Offset = static_cast<off_t>(AOffset);
    return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
  }

  ::FLAC__StreamEncoderTellStatus tell_callback(FLAC__uint64* AOffset) override {
    *AOffset = static_cast<FLAC__uint64>(Offset) + Pending.size();
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
  }
};

TFlacFileWriter::TFlacFileWriter() = default;

TFlacFileWriter::~TFlacFileWriter() {
  if (IsOpen()) {
    try {
      Finish();
    } catch (const ERecordingFailure&) {
      // The file is closed; nobody is left to be told.
    }
  }
}

bool TFlacFileWriter::IsOpen() const {
  return FEncoder != nullptr;
}

void TFlacFileWriter::Open(const QString& AFileName, int ASampleRate, int AChannels) {
  const int Fd =
      ::open(QFile::encodeName(AFileName).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (Fd < 0) {
    throw ERecordingFailure(
        QStringLiteral("Cannot create file \"%1\". %2").arg(AFileName, SysErrorDescription(errno)));
  }
  Open(Fd, AFileName, ASampleRate, AChannels);
}

void TFlacFileWriter::Open(int AFd, const QString& AFileName, int ASampleRate, int AChannels,
                           int ACompression, TChecksum AChecksum) {
  Q_ASSERT(!IsOpen());
  FFileName = AFileName;
  FSampleRate = ASampleRate;
  FChannels = AChannels;
  FFramesWritten = 0;
  FFileKept = false;
  const auto Fail = [this](const QString& AReason) {
    throw ERecordingFailure(QStringLiteral("Cannot create file \"%1\". %2").arg(FFileName, AReason));
  };
  FEncoder = std::make_unique<TEncoder>();
  FEncoder->Fd = AFd;
  FEncoder->StampInterval = quint64(std::max(ASampleRate, 1)) * StampSeconds;
  if (AChannels < 1 || AChannels > 2 || ASampleRate < 1 || ASampleRate > 655350) {
    Close(false);
    Fail(QStringLiteral("The device gives %1 channels at %2 Hz").arg(AChannels).arg(ASampleRate));
  }
  // Held until the file is closed: a program that asks for the file exclusively is refused.
  if (::flock(AFd, LOCK_EX | LOCK_NB) != 0) {
    const int Error = errno;
    Close(false);
    Fail(SysErrorDescription(Error));
  }
  FEncoder->set_channels(static_cast<uint32_t>(AChannels));
  FEncoder->set_bits_per_sample(16);
  FEncoder->set_sample_rate(static_cast<uint32_t>(ASampleRate));
  FEncoder->set_compression_level(static_cast<uint32_t>(ACompression));
  FEncoder->SetOwnChecksum(AChecksum == TChecksum::Encoder);
  // The header is written at once, so a full disk refuses the recording before it starts.
  if (FEncoder->init() != FLAC__STREAM_ENCODER_INIT_STATUS_OK || !FEncoder->Flush()) {
    const QString Reason = FEncoder->FailureReason();
    Close(false);
    Fail(Reason);
  }
}

void TFlacFileWriter::Write(const qint16* ASamples, qint64 AFrames) {
  Q_ASSERT(IsOpen());
  // Converted a piece at a time: a whole take at once would need four times its size again.
  constexpr qint64 PieceFrames = 8192;
  for (qint64 Done = 0; Done < AFrames; Done += PieceFrames) {
    const qint64 Frames = std::min(PieceFrames, AFrames - Done);
    const qint16* const Piece = ASamples + Done * FChannels;
    FEncoder->Buffer.assign(Piece, Piece + Frames * FChannels);
    Encode(FEncoder->Buffer.data(), Frames);
  }
  FlushOrAbandon();
}

void TFlacFileWriter::Write(const qint32* ASamples, qint64 AFrames) {
  Q_ASSERT(IsOpen());
  Encode(ASamples, AFrames);
  FlushOrAbandon();
}

void TFlacFileWriter::Encode(const qint32* ASamples, qint64 AFrames) {
  static_assert(std::is_same_v<qint32, FLAC__int32>);
  FFramesWritten += AFrames;
  if (!FEncoder->process_interleaved(ASamples, static_cast<uint32_t>(AFrames))) {
    Abandon(FEncoder->FailureReason());
  }
}

void TFlacFileWriter::FlushOrAbandon() {
  if (!FEncoder->Flush()) {
    Abandon(FEncoder->FailureReason());
  }
}

void TFlacFileWriter::Finish() {
  if (const std::unique_ptr<THeldTake> Held = FinishHeld()) {
    Held->Keep();
  }
}

std::unique_ptr<THeldTake> TFlacFileWriter::FinishHeld(const QByteArray& AChecksum) {
  Q_ASSERT(IsOpen());
  if (!FEncoder->finish() || !FEncoder->Flush()) {
    Abandon(FEncoder->FailureReason());
  }
  if (AChecksum.size() == Md5Size) {
    if (const int Error = WriteFullAt(FEncoder->Fd, AChecksum.constData(), Md5Size, Md5Offset)) {
      Abandon(SysErrorDescription(Error));
    }
  }
  if (::fsync(FEncoder->Fd) != 0 && errno != EINVAL) {
    Abandon(SysErrorDescription(errno));
  }
  if (FEncoder->SamplesInFile == 0) {
    Close(false);
    return nullptr;
  }
  auto Held = std::make_unique<THeldTake>(FEncoder->Fd, FFileName);
  FEncoder.reset();
  FFileKept = true;
  return Held;
}

void TFlacFileWriter::Abandon(const QString& AReason) {
  QString Reason = AReason;
  FEncoder->finish();
  if (const int Error = FEncoder->Repair()) {
    Reason += QStringLiteral(". The file could not be completed either: ") + SysErrorDescription(Error);
  }
  Close(FEncoder->SamplesInFile > 0);
  throw ERecordingFailure(QStringLiteral("Cannot write file \"%1\". %2").arg(FFileName, Reason));
}

void TFlacFileWriter::Close(bool AKeep) {
  // Removed while still held, so nobody can take it in between.
  if (!AKeep) {
    ::unlink(QFile::encodeName(FFileName).constData());
  }
  ::close(FEncoder->Fd);
  FEncoder.reset();
  FFileKept = AKeep;
}

}  // namespace wavenard
