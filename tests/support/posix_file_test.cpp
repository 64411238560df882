#include "support/posix_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <QFile>
#include <atomic>
#include <cerrno>
#include <thread>

#include "tests/testsupport/temp_folder.h"
#include "tests/testsupport/wait_until.h"

namespace wavenard {
namespace {

QByteArray Native(const QString& APath) {
  return QFile::encodeName(APath);
}

TEST(PosixFile, OpensClosesOnceAndTellsTheErrorCode) {
  const test::TTempFolder Folder;
  TPosixFile Missing;
  EXPECT_EQ(Missing.Open(Native(Folder.File("missing")).constData(), O_RDONLY | O_CLOEXEC), ENOENT);
  EXPECT_FALSE(Missing.IsOpen());
  EXPECT_EQ(Missing.Close(), 0);

  TPosixFile File;
  ASSERT_EQ(File.Open(Native(Folder.Write("a", "abc")).constData(), O_RDONLY | O_CLOEXEC), 0);
  const int Fd = File.Fd();
  TPosixFile Moved(std::move(File));
  EXPECT_FALSE(File.IsOpen());
  EXPECT_EQ(Moved.Fd(), Fd);
  EXPECT_EQ(Moved.Close(), 0);
  EXPECT_FALSE(Moved.IsOpen());
  EXPECT_EQ(::fcntl(Fd, F_GETFD), -1) << "the descriptor is closed";

  // A failing close is told as such: no process has a descriptor that high.
  TPosixFile Stale(1 << 30);
  EXPECT_EQ(Stale.Close(), EBADF);
}

TEST(PosixFile, ReadsAndWritesWholeAtTheOffsetOrAtAPlace) {
  const test::TTempFolder Folder;
  TPosixFile File;
  ASSERT_EQ(File.Open(Native(Folder.File("f")).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600), 0);
  EXPECT_EQ(WriteFull(File.Fd(), "abcdef", 6), 0);
  EXPECT_EQ(WriteFullAt(File.Fd(), "XY", 2, 1), 0);
  EXPECT_EQ(::lseek(File.Fd(), 0, SEEK_CUR), 6) << "a write at a place leaves the offset";

  char Buffer[8] = {};
  size_t Done = 99;
  EXPECT_EQ(ReadFullAt(File.Fd(), Buffer, sizeof Buffer, 0, Done), 0);
  EXPECT_EQ(QByteArray(Buffer, static_cast<qsizetype>(Done)), "aXYdef") << "the file's end ends the read";
  EXPECT_EQ(::lseek(File.Fd(), 0, SEEK_CUR), 6);
  EXPECT_EQ(ReadFull(File.Fd(), Buffer, sizeof Buffer, Done), 0);
  EXPECT_EQ(Done, 0U);
  ASSERT_EQ(::lseek(File.Fd(), 2, SEEK_SET), 2);
  EXPECT_EQ(ReadFull(File.Fd(), Buffer, 3, Done), 0);
  EXPECT_EQ(QByteArray(Buffer, static_cast<qsizetype>(Done)), "Yde");

  TPosixFile ReadOnly;
  ASSERT_EQ(ReadOnly.Open(Native(Folder.File("f")).constData(), O_RDONLY | O_CLOEXEC), 0);
  EXPECT_EQ(WriteFull(ReadOnly.Fd(), "x", 1), EBADF);
  EXPECT_EQ(WriteFullAt(ReadOnly.Fd(), "x", 1, 0), EBADF);
}

std::atomic<int> Interruptions{0};

void CountInterruption(int) {
  ++Interruptions;
}

// A read that a signal interrupts before anything arrived goes on waiting; so does a read after
// part of the bytes came.
TEST(PosixFile, AReadGoesOnAfterASignal) {
  struct sigaction Action {};
  Action.sa_handler = CountInterruption;
  sigemptyset(&Action.sa_mask);
  Action.sa_flags = 0;  // no restart: the read itself sees EINTR
  struct sigaction Former {};
  ASSERT_EQ(sigaction(SIGUSR1, &Action, &Former), 0);
  int Pipe[2];
  ASSERT_EQ(::pipe2(Pipe, O_CLOEXEC), 0);
  const TPosixFile ReadEnd(Pipe[0]);
  const TPosixFile WriteEnd(Pipe[1]);

  std::atomic<int> Result{-1};
  char Buffer[4] = {};
  size_t Done = 0;
  std::thread Reader([&] { Result = ReadFull(ReadEnd.Fd(), Buffer, sizeof Buffer, Done); });
  const pthread_t ReaderThread = Reader.native_handle();
  const auto Interrupt = [&] {
    for (int I = 0; I < 3; ++I) {
      const int Before = Interruptions;
      ASSERT_EQ(pthread_kill(ReaderThread, SIGUSR1), 0);
      ASSERT_TRUE(test::WaitUntil([&] { return Interruptions > Before; }));
    }
  };
  Interrupt();
  ASSERT_EQ(WriteFull(WriteEnd.Fd(), "ab", 2), 0);
  Interrupt();
  ASSERT_EQ(WriteFull(WriteEnd.Fd(), "cd", 2), 0);
  Reader.join();
  EXPECT_EQ(Result, 0);
  EXPECT_EQ(QByteArray(Buffer, static_cast<qsizetype>(Done)), "abcd");
  sigaction(SIGUSR1, &Former, nullptr);
}

}  // namespace
}  // namespace wavenard
