#include "suite/recorder/take_audio.h"

#include <FLAC++/decoder.h>

#include "suite/recorder/recording_failure.h"
#include "support/posix_file.h"
#include "support/system_error.h"

namespace wavenard {

namespace {

// Reads through pread, so the take is decoded through the descriptor that holds it.
class TTakeDecoder final : public FLAC::Decoder::Stream {
 public:
  explicit TTakeDecoder(int AFd) : FFd(AFd) {}

  TTakeAudio Audio;
  QString Failure;

 protected:
  ::FLAC__StreamDecoderReadStatus read_callback(FLAC__byte ABuffer[], size_t* ABytes) override {
    size_t Count = 0;
    if (const int Error = ReadFullAt(FFd, ABuffer, *ABytes, FOffset, Count)) {
      Failure = SysErrorDescription(Error);
      return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    }
    *ABytes = Count;
    FOffset += static_cast<off_t>(Count);
    return Count == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM
                      : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
  }

  ::FLAC__StreamDecoderWriteStatus write_callback(const ::FLAC__Frame* AFrame,
                                                  const FLAC__int32* const ABuffer[]) override {
    if (int(AFrame->header.channels) != Audio.Channels || AFrame->header.bits_per_sample != 16) {
      Failure = QStringLiteral("The file is not the 16-bit sound it was recorded as");
      return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    const size_t Start = Audio.Samples.size();
    Audio.Samples.resize(Start + size_t(AFrame->header.blocksize) * size_t(Audio.Channels));
    qint16* Out = Audio.Samples.data() + Start;
    for (unsigned Frame = 0; Frame < AFrame->header.blocksize; ++Frame) {
      for (int Channel = 0; Channel < Audio.Channels; ++Channel) {
        *Out++ = static_cast<qint16>(ABuffer[Channel][Frame]);
      }
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  }

  void metadata_callback(const ::FLAC__StreamMetadata* AMetadata) override {
    if (AMetadata->type == FLAC__METADATA_TYPE_STREAMINFO) {
      Audio.SampleRate = int(AMetadata->data.stream_info.sample_rate);
      Audio.Channels = int(AMetadata->data.stream_info.channels);
      Audio.Samples.reserve(size_t(AMetadata->data.stream_info.total_samples) * size_t(Audio.Channels));
    }
  }

  void error_callback(::FLAC__StreamDecoderErrorStatus AStatus) override {
    Failure = QString::fromUtf8(FLAC__StreamDecoderErrorStatusString[AStatus]);
  }

 private:
  int FFd;
  off_t FOffset = 0;
};

}  // namespace

TTakeAudio DecodeTake(int AFd, const QString& AFileName) {
  TTakeDecoder Decoder(AFd);
  const auto Fail = [&AFileName](const QString& AReason) {
    throw ERecordingFailure(QStringLiteral("Cannot read file \"%1\". %2").arg(AFileName, AReason));
  };
  if (Decoder.init() != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
    Fail(QString::fromUtf8(Decoder.get_state().as_cstring()));
  }
  const bool Done = Decoder.process_until_end_of_stream();
  Decoder.finish();
  if (!Done || !Decoder.Failure.isEmpty() || Decoder.Audio.Channels == 0) {
    Fail(Decoder.Failure.isEmpty() ? QStringLiteral("It is no FLAC file") : Decoder.Failure);
  }
  return std::move(Decoder.Audio);
}

}  // namespace wavenard
