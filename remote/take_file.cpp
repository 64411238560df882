#include "remote/take_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cstring>

#include "remote/upload_body.h"

namespace wavenard {

namespace {

// "fLaC", a metadata block header and the 34 bytes of the stream information.
constexpr int HeaderSize = 4 + 4 + 34;

struct TDescriptor {
  int Fd;
  ~TDescriptor() { ::close(Fd); }
};

bool ReadAll(int AFd, unsigned char* ABuffer, size_t ASize) {
  size_t Done = 0;
  while (Done < ASize) {
    const ssize_t Count = ::pread(AFd, ABuffer + Done, ASize - Done, static_cast<off_t>(Done));
    if (Count < 0 && errno == EINTR) {
      continue;
    }
    if (Count <= 0) {
      return false;
    }
    Done += static_cast<size_t>(Count);
  }
  return true;
}

}  // namespace

bool IsTakeName(const QString& AFileName) {
  return !AFileName.startsWith(u'.') && AFileName.endsWith(QLatin1String(".flac"), Qt::CaseInsensitive);
}

std::optional<TFinishedTake> ReadFinishedTake(const QString& APath) {
  if (!IsTakeName(QFileInfo(APath).fileName())) {
    return std::nullopt;
  }
  // Non-blocking, so that a FIFO cannot hold the open.
  const int Fd = ::open(QFile::encodeName(APath).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (Fd < 0) {
    return std::nullopt;
  }
  const TDescriptor File{Fd};
  struct stat Status {};
  if (::fstat(Fd, &Status) != 0 || !S_ISREG(Status.st_mode) || IsOpenElsewhere(Fd)) {
    return std::nullopt;
  }
  unsigned char Header[HeaderSize];
  // The first block must be the stream information (type 0), 34 bytes long.
  if (!ReadAll(Fd, Header, sizeof(Header)) || std::memcmp(Header, "fLaC", 4) != 0 ||
      (Header[4] & 0x7F) != 0 || Header[5] != 0 || Header[6] != 0 || Header[7] != 34) {
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
