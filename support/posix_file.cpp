#include "support/posix_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace wavenard {

namespace {

// Calls ATransfer(position, left) until ASize bytes are done; a transfer of 0 bytes ends it,
// with AAtEnd as the result.
template <class F>
int TransferFull(size_t ASize, size_t& ADone, int AAtEnd, F ATransfer) {
  ADone = 0;
  while (ADone < ASize) {
    const ssize_t Count = ATransfer(ADone, ASize - ADone);
    if (Count < 0) {
      if (errno == EINTR) {
        continue;
      }
      return errno != 0 ? errno : EIO;
    }
    if (Count == 0) {
      return AAtEnd;
    }
    ADone += static_cast<size_t>(Count);
  }
  return 0;
}

}  // namespace

TPosixFile::~TPosixFile() {
  Close();
}

TPosixFile::TPosixFile(TPosixFile&& AOther) noexcept : FFd(AOther.Release()) {}

TPosixFile& TPosixFile::operator=(TPosixFile&& AOther) noexcept {
  if (this != &AOther) {
    Close();
    FFd = AOther.Release();
  }
  return *this;
}

int TPosixFile::Open(const char* APath, int AFlags, mode_t AMode) {
  Close();
  do {
    FFd = ::open(APath, AFlags, AMode);
  } while (FFd < 0 && errno == EINTR);
  return FFd < 0 ? errno : 0;
}

int TPosixFile::Release() {
  return std::exchange(FFd, -1);
}

int TPosixFile::Close() {
  const int Fd = Release();
  if (Fd < 0 || ::close(Fd) == 0 || errno == EINTR) {
    return 0;
  }
  return errno;
}

int ReadFull(int AFd, void* ABuffer, size_t ASize, size_t& ADone) {
  auto* Bytes = static_cast<char*>(ABuffer);
  return TransferFull(ASize, ADone, 0, [&](size_t ADoneSoFar, size_t ALeft) {
    return ::read(AFd, Bytes + ADoneSoFar, ALeft);
  });
}

int ReadFullAt(int AFd, void* ABuffer, size_t ASize, off_t AOffset, size_t& ADone) {
  auto* Bytes = static_cast<char*>(ABuffer);
  return TransferFull(ASize, ADone, 0, [&](size_t ADoneSoFar, size_t ALeft) {
    return ::pread(AFd, Bytes + ADoneSoFar, ALeft, AOffset + static_cast<off_t>(ADoneSoFar));
  });
}

int WriteFull(int AFd, const void* AData, size_t ASize) {
  const auto* Bytes = static_cast<const char*>(AData);
  size_t Done = 0;
  return TransferFull(ASize, Done, EIO, [&](size_t ADoneSoFar, size_t ALeft) {
    return ::write(AFd, Bytes + ADoneSoFar, ALeft);
  });
}

int WriteFullAt(int AFd, const void* AData, size_t ASize, off_t AOffset) {
  const auto* Bytes = static_cast<const char*>(AData);
  size_t Done = 0;
  return TransferFull(ASize, Done, EIO, [&](size_t ADoneSoFar, size_t ALeft) {
    return ::pwrite(AFd, Bytes + ADoneSoFar, ALeft, AOffset + static_cast<off_t>(ADoneSoFar));
  });
}

}  // namespace wavenard
