#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>
#include <QRandomGenerator>

#include "remote/query_encoding.h"
#include "remote/upload_body.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

// The "vt" value built the slow way: Qt's Base64 in lines of 76 characters, a line break after
// every full line of 57 bytes, then the query encoding.
QByteArray ReferenceValue(const QByteArray& AContent) {
  QByteArray Text;
  for (qsizetype Start = 0; Start < AContent.size(); Start += 57) {
    const QByteArray Line = AContent.mid(Start, 57);
    Text += Line.toBase64();
    if (Line.size() == 57) {
      Text += "\r\n";
    }
  }
  return EncodeQueryValue(QString::fromLatin1(Text));
}

TEST(UploadBody, TheWorkedExample) {
  EXPECT_EQ(BuildUploadBody(u"studio"_qs, u""_qs, u"take 1.flac"_qs, 3, "fLaC"),
            "user=studio&pass=&action=wavenard&fn=take+1.flac&pos=3&vt=ZkxhQw%3D%3D");
}

TEST(UploadBody, FieldsAreEncodedAndInOrder) {
  EXPECT_EQ(BuildUploadBody(u"a b"_qs, u"x&y"_qs, u"Grüße an alle.flac"_qs, -1, ""),
            "user=a+b&pass=x%26y&action=wavenard&fn=Gr%C3%BC%C3%9Fe+an+alle.flac&pos=-1&vt=");
}

TEST(UploadBody, LineBreaksFollowFullLinesOnly) {
  const QByteArray Head = "user=u&pass=p&action=wavenard&fn=f&pos=1&vt=";
  const QByteArray Line57(57, 'A');
  const QByteArray Body57 = BuildUploadBody(u"u"_qs, u"p"_qs, u"f"_qs, 1, Line57);
  EXPECT_EQ(Body57, Head + QByteArray("QUFB").repeated(19) + "%0D%0A");
  const QByteArray Body58 = BuildUploadBody(u"u"_qs, u"p"_qs, u"f"_qs, 1, Line57 + 'A');
  EXPECT_EQ(Body58, Head + QByteArray("QUFB").repeated(19) + "%0D%0AQQ%3D%3D");
  const QByteArray Body56 = BuildUploadBody(u"u"_qs, u"p"_qs, u"f"_qs, 1, Line57.left(56));
  EXPECT_FALSE(Body56.endsWith("%0D%0A")) << "a line ending in padding gets no break";
}

// Every size around the line and group boundaries, with bytes that give '+', '/' and '=' often.
TEST(UploadBody, MatchesTheReferenceForEverySizeAndContent) {
  QRandomGenerator Random(57);
  for (const int Size : {0, 1, 2, 3, 4, 55, 56, 57, 58, 59, 113, 114, 115, 170, 171, 172, 1000, 4099}) {
    QByteArray RandomContent(Size, Qt::Uninitialized);
    for (char& Byte : RandomContent) {
      Byte = static_cast<char>(Random.bounded(256));
    }
    for (const QByteArray& Content : {RandomContent, QByteArray(Size, '\xFF'), QByteArray(Size, '\xFB')}) {
      const QByteArray Body = BuildUploadBody(u"u"_qs, u""_qs, u"f"_qs, 2, Content);
      EXPECT_EQ(Body, "user=u&pass=&action=wavenard&fn=f&pos=2&vt=" + ReferenceValue(Content))
          << "size " << Size;
    }
  }
}

TEST(ExtractFileName, KeepsThePartAfterTheLastFolder) {
  EXPECT_EQ(ExtractFileName(u"/home/me/take 1.flac"_qs), u"take 1.flac"_qs);
  EXPECT_EQ(ExtractFileName(u"take.flac"_qs), u"take.flac"_qs);
  EXPECT_EQ(ExtractFileName(u"/home/me/"_qs), u""_qs);
}

class ReadVoiceTrackFileTest : public ::testing::Test {
 protected:
  test::TTempFolder FFolder;
};

TEST_F(ReadVoiceTrackFileTest, ReadsTheWholeFile) {
  QByteArray Content(100'000, Qt::Uninitialized);
  for (qsizetype I = 0; I < Content.size(); ++I) {
    Content[I] = static_cast<char>(I * 7);
  }
  EXPECT_EQ(ReadVoiceTrackFile(FFolder.Write(u"take.flac"_qs, Content)), Content);
  EXPECT_EQ(ReadVoiceTrackFile(FFolder.Write(u"empty.flac"_qs, {})), QByteArray());
}

TEST_F(ReadVoiceTrackFileTest, FailuresNameTheFileAndTheReason) {
  const QString Locked = FFolder.Write(u"locked.flac"_qs, "fLaC");
  const int Holder = ::open(QFile::encodeName(Locked).constData(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(Holder, 0);
  ASSERT_EQ(::flock(Holder, LOCK_SH), 0);
  const QString Missing = FFolder.File(u"missing.flac"_qs);
  const struct {
    QString Path;
    QString Message;
  } Cases[] = {
      {Missing, u"Cannot open file \"%1\". No such file or directory"_qs.arg(Missing)},
      {Locked, u"Cannot open file \"%1\". The file is being used by another program"_qs.arg(Locked)},
      {FFolder.Path(), u"Cannot open file \"%1\". Is a directory"_qs.arg(FFolder.Path())},
  };
  for (const auto& Case : Cases) {
    try {
      ReadVoiceTrackFile(Case.Path);
      ADD_FAILURE() << "no failure for " << Case.Path.toStdString();
    } catch (const EFileFailure& E) {
      EXPECT_EQ(E.Message(), Case.Message);
    }
  }
  ::close(Holder);
  EXPECT_EQ(ReadVoiceTrackFile(Locked), "fLaC") << "readable once the other holder let go";
}

// Any other open descriptor counts, also one of this process and one without any lock.
TEST_F(ReadVoiceTrackFileTest, AFileOpenElsewhereIsRefusedUntilItIsClosed) {
  const QString Path = FFolder.Write(u"take.flac"_qs, "fLaC");
  for (const int Mode : {O_WRONLY, O_RDONLY}) {
    SCOPED_TRACE(Mode == O_WRONLY ? "open for writing" : "open for reading");
    const int Holder = ::open(QFile::encodeName(Path).constData(), Mode | O_CLOEXEC);
    ASSERT_GE(Holder, 0);
    EXPECT_THROW(ReadVoiceTrackFile(Path), EFileFailure);
    ::close(Holder);
    EXPECT_EQ(ReadVoiceTrackFile(Path), "fLaC");
  }
}

TEST_F(ReadVoiceTrackFileTest, RefusesFilesOfTwoGibibytesWithoutReadingThem) {
  const QString Path = FFolder.Write(u"huge.flac"_qs, {});
  ASSERT_EQ(::truncate(QFile::encodeName(Path).constData(), 0x80000000LL), 0);
  try {
    ReadVoiceTrackFile(Path);
    ADD_FAILURE() << "a 2 GiB file was read";
  } catch (const EFileFailure& E) {
    EXPECT_EQ(E.Message(), u"Cannot send file \"%1\". A voice track must be smaller than 2 GiB"_qs.arg(Path));
  }
}

}  // namespace
}  // namespace wavenard
