#pragma once

#include <sys/types.h>

#include <cstddef>

namespace wavenard {

// The descriptor calls the program makes itself. Each of them goes on after a signal interrupted
// it and returns 0 when it worked, else the system's error code.

// A descriptor owned: closed when the holder goes, or earlier by Close(), which tells how the
// close went.
class TPosixFile final {
 public:
  TPosixFile() = default;
  explicit TPosixFile(int AFd) : FFd(AFd) {}
  ~TPosixFile();
  TPosixFile(TPosixFile&& AOther) noexcept;
  TPosixFile& operator=(TPosixFile&& AOther) noexcept;
  TPosixFile(const TPosixFile&) = delete;
  TPosixFile& operator=(const TPosixFile&) = delete;

  // Opens APath with AFlags as given (O_CLOEXEC is the caller's to add); a descriptor held
  // before is closed first.
  int Open(const char* APath, int AFlags, mode_t AMode = 0);
  int Fd() const { return FFd; }
  bool IsOpen() const { return FFd >= 0; }
  // Gives the descriptor up, unclosed.
  int Release();
  // Closes now, so that a failure of the close itself is seen. An interrupted close has freed
  // the descriptor all the same and counts as done.
  int Close();

 private:
  int FFd = -1;
};

// Reads into ABuffer until it is full or the file ends; ADone tells how many bytes arrived, also
// when a read failed on the way.
int ReadFull(int AFd, void* ABuffer, size_t ASize, size_t& ADone);
// The same from AOffset on, leaving the file's offset where it was.
int ReadFullAt(int AFd, void* ABuffer, size_t ASize, off_t AOffset, size_t& ADone);
// Writes all of AData at the file's offset. A write that takes nothing fails with EIO.
int WriteFull(int AFd, const void* AData, size_t ASize);
// The same at AOffset, leaving the file's offset where it was.
int WriteFullAt(int AFd, const void* AData, size_t ASize, off_t AOffset);

}  // namespace wavenard
