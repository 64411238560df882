#pragma once

#include <FLAC++/decoder.h>

#include <QFile>
#include <QString>
#include <vector>

namespace wavenard::test {

// A FLAC file decoded with libFLAC: its header and its samples, channel after channel.
struct TDecodedFlac {
  bool Ok = false;
  unsigned SampleRate = 0;
  unsigned Channels = 0;
  unsigned BitsPerSample = 0;
  quint64 TotalSamples = 0;  // as the header says
  std::vector<std::vector<int>> Samples;

  double Seconds() const {
    return SampleRate > 0 && !Samples.empty() ? double(Samples[0].size()) / SampleRate : 0;
  }
};

inline TDecodedFlac DecodeFlac(const QString& AFileName) {
  class TDecoder final : public FLAC::Decoder::File {
   public:
    TDecodedFlac Result;
    bool Failed = false;

   protected:
    ::FLAC__StreamDecoderWriteStatus write_callback(const ::FLAC__Frame* AFrame,
                                                    const FLAC__int32* const ABuffer[]) override {
      Result.Samples.resize(AFrame->header.channels);
      for (unsigned Channel = 0; Channel < AFrame->header.channels; ++Channel) {
        Result.Samples[Channel].insert(Result.Samples[Channel].end(), ABuffer[Channel],
                                       ABuffer[Channel] + AFrame->header.blocksize);
      }
      return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }
    void metadata_callback(const ::FLAC__StreamMetadata* AMetadata) override {
      if (AMetadata->type == FLAC__METADATA_TYPE_STREAMINFO) {
        Result.SampleRate = AMetadata->data.stream_info.sample_rate;
        Result.Channels = AMetadata->data.stream_info.channels;
        Result.BitsPerSample = AMetadata->data.stream_info.bits_per_sample;
        Result.TotalSamples = AMetadata->data.stream_info.total_samples;
      }
    }
    void error_callback(::FLAC__StreamDecoderErrorStatus) override { Failed = true; }
  };
  TDecoder Decoder;
  Decoder.set_md5_checking(true);
  if (Decoder.init(QFile::encodeName(AFileName).toStdString()) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
    return {};
  }
  const bool Done = Decoder.process_until_end_of_stream();
  const bool Finished = Decoder.finish();  // false when the checksum does not match
  Decoder.Result.Ok = Done && Finished && !Decoder.Failed;
  return Decoder.Result;
}

}  // namespace wavenard::test
