#include "suite/recorder/take_keeper.h"

#include <unistd.h>

#include <QFile>

#include "suite/recorder/flac_file_writer.h"
#include "suite/recorder/held_take.h"
#include "suite/recorder/recording_failure.h"
#include "suite/recorder/take_processing.h"

namespace wavenard {

void KeepTake(THeldTake& ATake, const TTakeAudio& AAudio, const TTakePlan& APlan) {
  if (!APlan.ChangesTake(AAudio.Frames())) {
    ATake.Keep();
    return;
  }
  const std::vector<qint16> Samples = ApplyPlan(AAudio, APlan);
  const QString PartName = ATake.PartFileName();
  TFlacFileWriter Writer;
  Writer.Open(ATake.CreatePart(), PartName, AAudio.SampleRate, AAudio.Channels,
              TFlacFileWriter::RewriteCompression);
  std::unique_ptr<THeldTake> Part;
  try {
    Writer.Write(Samples.data(), qint64(Samples.size()) / AAudio.Channels);
    Part = Writer.FinishHeld();
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
