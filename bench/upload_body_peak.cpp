// Peak memory of preparing an upload as the worker does it: a file of the given size in
// MiB (100 unless given) is written in small pieces, then read whole and turned into the form
// body. Prints the peak resident size against the file's size; run it under
// /usr/bin/time -v to see the same figure from outside.
#include <sys/resource.h>

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include "remote/upload_body.h"

int main(int argc, char** argv) {
  const qint64 MiB = 1 << 20;
  const qint64 Size = (argc > 1 ? std::atoll(argv[1]) : 100) * MiB;
  QTemporaryDir Folder;
  const QString Path = Folder.filePath(QStringLiteral("take.flac"));
  {
    QFile File(Path);
    if (!File.open(QIODevice::WriteOnly)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(Path));
      return 1;
    }
    QByteArray Piece(MiB, Qt::Uninitialized);
    QRandomGenerator Random(1);
    for (qint64 Done = 0; Done < Size; Done += MiB) {
      Random.fillRange(reinterpret_cast<quint32*>(Piece.data()), MiB / 4);
      File.write(Piece.constData(), std::min(MiB, Size - Done));
    }
  }
  rusage Before{};
  getrusage(RUSAGE_SELF, &Before);
  qint64 BodySize = 0;
  {
    const QByteArray Content = wavenard::ReadVoiceTrackFile(Path);
    const QByteArray Body = wavenard::BuildUploadBody(QStringLiteral("studio"), QStringLiteral("secret"),
                                                      QStringLiteral("take 1.flac"), 3, Content);
    BodySize = Body.size();
  }
  rusage After{};
  getrusage(RUSAGE_SELF, &After);
  const double PeakMiB = static_cast<double>(After.ru_maxrss) / 1024.0;
  std::printf("file %.1f MiB, body %.1f MiB, peak resident %.1f MiB (%.2f x the file; %.1f MiB before)\n",
              static_cast<double>(Size) / MiB, static_cast<double>(BodySize) / MiB, PeakMiB,
              PeakMiB * MiB / static_cast<double>(Size), static_cast<double>(Before.ru_maxrss) / 1024.0);
  return 0;
}
