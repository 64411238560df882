#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <memory>

namespace wavenard {

class THeldTake;

// Encodes 16-bit interleaved samples into a new FLAC file while they arrive. The file is created
// (never replaced), held open for writing and locked until Finish, so that nobody sends it while
// it grows. Every couple of seconds of sound the header is made to say how many samples the file
// holds, so a recorder that is killed leaves a file whose length is known. When a write fails (disk full,
// file too large, device error) the file is cut back to the last whole frame and its header is made to say
// how long it is, so what was recorded up to the failure stays a valid FLAC file; a file that holds no audio
// at all is removed.
class TFlacFileWriter final {
 public:
  // While recording, the encoder must keep up with the sound on a busy machine; a finished take
  // that is written again must be done at once after Keep, where a little size matters less
  // (level 1 packs speech as tightly as level 2, in less time).
  static constexpr int RecordingCompression = 5;
  static constexpr int RewriteCompression = 1;

  TFlacFileWriter();
  ~TFlacFileWriter();
  Q_DISABLE_COPY_MOVE(TFlacFileWriter)

  // Creates AFileName for AChannels (1 or 2) channels at ASampleRate. Raises ERecordingFailure;
  // the file is then not there.
  void Open(const QString& AFileName, int ASampleRate, int AChannels);
  // Who works out the checksum of the sound that the header carries: the encoder, or the caller,
  // who can do it beside the encoder on another core and hands it to FinishHeld.
  enum class TChecksum { Encoder, Caller };

  // The same for a file the caller has just created as AFd, which the writer takes over.
  void Open(int AFd, const QString& AFileName, int ASampleRate, int AChannels,
            int ACompression = RecordingCompression, TChecksum AChecksum = TChecksum::Encoder);
  // Encodes AFrames frames of AChannels samples each. Raises ERecordingFailure after the file
  // has been closed as described above.
  void Write(const qint16* ASamples, qint64 AFrames);
  // The same for samples already widened to 32 bits, each within the 16-bit range, as the
  // encoder takes them.
  void Write(const qint32* ASamples, qint64 AFrames);
  // Encodes what is still buffered, completes the header and closes the file. Raises
  // ERecordingFailure when that fails; the file is closed (or removed when empty) all the same.
  void Finish();
  // The same, but the complete file stays open and locked and is handed over; none when it was
  // removed for holding nothing. AChecksum is the MD5 of the sound when the caller works it out.
  std::unique_ptr<THeldTake> FinishHeld(const QByteArray& AChecksum = {});

  bool IsOpen() const;
  const QString& FileName() const { return FFileName; }
  int SampleRate() const { return FSampleRate; }
  int Channels() const { return FChannels; }
  // The frames handed to Write since Open.
  qint64 FramesWritten() const { return FFramesWritten; }
  // Whether the file is still there after Finish or a failure (it is removed when empty).
  bool FileKept() const { return FFileKept; }

 private:
  class TEncoder;

  void Encode(const qint32* ASamples, qint64 AFrames);
  void FlushOrAbandon();
  [[noreturn]] void Abandon(const QString& AReason);
  void Close(bool AKeep);

  std::unique_ptr<TEncoder> FEncoder;
  QString FFileName;
  int FSampleRate = 0;
  int FChannels = 0;
  qint64 FFramesWritten = 0;
  bool FFileKept = false;
};

}  // namespace wavenard
