#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>

#include "remote/take_file.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

// "fLaC" and a stream information block of ASamples at 48 kHz.
QByteArray Flac(quint64 ASamples) {
  QByteArray Bytes("fLaC");
  Bytes += char(0x80);
  Bytes += QByteArray::fromHex("000022");
  Bytes += QByteArray::fromHex("10001000000000000000");
  const quint64 Packed = (quint64(48000) << 44) | (quint64(0) << 41) | (quint64(15) << 36) | ASamples;
  for (int Shift = 56; Shift >= 0; Shift -= 8) {
    Bytes += char((Packed >> Shift) & 0xFF);
  }
  return Bytes + QByteArray(16, '\0');
}

TEST(TakeFile, OnlyACompleteUnheldFlacTakeIsFinished) {
  test::TTempFolder Folder;
  struct TCase {
    const char* Name;
    QByteArray Content;
    qint64 DurationMs;  // -1: not finished
  };
  const TCase Cases[] = {
      {"VT 2026-12-10 19-04-12.flac", Flac(12 * 48000), 12000},
      {"VT 2026-12-10 19-04-12 (2).flac", Flac(48000 / 2), 500},
      {"Upper.FLAC", Flac(48000), 1000},
      {".VT 2026-12-10 19-04-12.flac.part", Flac(48000), -1},
      {".hidden.flac", Flac(48000), -1},
      {"take.wav", Flac(48000), -1},
      {"no samples yet.flac", Flac(0), -1},
      {"short.flac", Flac(48000).left(20), -1},
      {"not flac.flac", QByteArray(64, 'x'), -1},
      {"empty.flac", QByteArray(), -1},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::optional<TFinishedTake> Take = ReadFinishedTake(Folder.Write(Case.Name, Case.Content));
    ASSERT_EQ(Take.has_value(), Case.DurationMs >= 0);
    if (Take) {
      EXPECT_EQ(Take->DurationMs, Case.DurationMs);
      EXPECT_EQ(Take->Path, Folder.File(Case.Name));
    }
  }
  EXPECT_FALSE(ReadFinishedTake(Folder.File("missing.flac")));
  ASSERT_EQ(::mkdir(QFile::encodeName(Folder.File("folder.flac")).constData(), 0700), 0);
  EXPECT_FALSE(ReadFinishedTake(Folder.File("folder.flac")));
}

// The recorder holds its take open and locked until the presenter keeps it.
TEST(TakeFile, AHeldTakeIsNotFinishedUntilItsHolderLetsGo) {
  test::TTempFolder Folder;
  const QString Path = Folder.Write("VT 2026-12-10 19-04-12.flac", Flac(48000));
  const int Fd = ::open(QFile::encodeName(Path).constData(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(Fd, 0);
  ASSERT_EQ(::flock(Fd, LOCK_EX), 0);
  EXPECT_FALSE(ReadFinishedTake(Path));
  ::close(Fd);
  EXPECT_TRUE(ReadFinishedTake(Path));
}

}  // namespace
}  // namespace wavenard
