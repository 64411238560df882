#include "remote/take_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <cstring>

#include "remote/upload_body.h"
#include "support/posix_file.h"

namespace wavenard {

namespace {

// "fLaC", a metadata block header and the 34 bytes of the stream information.
constexpr int HeaderSize = 4 + 4 + 34;

}  // namespace

bool IsTakeName(const QString& AFileName) {
  return !AFileName.startsWith(u'.') && AFileName.endsWith(QLatin1String(".flac"), Qt::CaseInsensitive);
}

std::optional<TFinishedTake> ReadFinishedTake(const QString& APath) {
  if (!IsTakeName(QFileInfo(APath).fileName())) {
    return std::nullopt;
  }
  // Non-blocking, so that a FIFO cannot hold the open.
  TPosixFile File;
  if (File.Open(QFile::encodeName(APath).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK) != 0) {
    return std::nullopt;
  }
  const int Fd = File.Fd();
  struct stat Status {};
  if (::fstat(Fd, &Status) != 0 || !S_ISREG(Status.st_mode) || IsOpenElsewhere(Fd)) {
    return std::nullopt;
  }
  unsigned char Header[HeaderSize];
  // The first block must be the stream information (type 0), 34 bytes long.
  size_t Read = 0;
  if (ReadFullAt(Fd, Header, sizeof(Header), 0, Read) != 0 || Read < sizeof(Header) ||
      std::memcmp(Header, "fLaC", 4) != 0 || (Header[4] & 0x7F) != 0 || Header[5] != 0 || Header[6] != 0 ||
      Header[7] != 34) {
    return std::nullopt;
  }
  const unsigned char* Info = Header + 8;
  // After the block and frame sizes: 20 bits of sample rate, 3 of channels, 5 of sample size,
  // 36 of the sample count.
  const quint32 Rate = (quint32(Info[10]) << 12) | (quint32(Info[11]) << 4) | (quint32(Info[12]) >> 4);
  const quint64 Samples = (quint64(Info[13] & 0x0F) << 32) | (quint64(Info[14]) << 24) |
                          (quint64(Info[15]) << 16) | (quint64(Info[16]) << 8) | quint64(Info[17]);
  if (Rate == 0 || Samples == 0) {
    return std::nullopt;
  }
  return TFinishedTake{APath, static_cast<qint64>(Samples * 1000 / Rate)};
}

}  // namespace wavenard
