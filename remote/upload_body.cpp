#include "remote/upload_body.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "remote/query_encoding.h"
#include "support/posix_file.h"
#include "support/system_error.h"

namespace wavenard {

namespace {

constexpr char Base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// 19 groups of three bytes make one line of 76 characters.
constexpr qsizetype LineBytes = 57;
constexpr QByteArrayView EncodedLineBreak = "%0D%0A";
constexpr QByteArrayView EncodedPadding = "%3D";
constexpr qint64 MaxFileSize = 0x7FFFFFFF;

// One Base64 character after the query encoding: itself, or "%2B" for '+' and "%2F" for '/'.
struct TCharCode {
  char Bytes[3];
  quint8 Length;
};

constexpr TCharCode EncodeSextet(unsigned ASextet) {
  const char Char = Base64Alphabet[ASextet];
  if (Char == '+') {
    return {{'%', '2', 'B'}, 3};
  }
  if (Char == '/') {
    return {{'%', '2', 'F'}, 3};
  }
  return {{Char, 0, 0}, 1};
}

// Two Base64 characters (twelve bits of input) after the query encoding, padded to eight bytes
// so that an entry is copied with one fixed-size store.
struct TPairCode {
  char Bytes[7];
  quint8 Length;
};

constexpr std::array<TPairCode, 4096> MakePairTable() {
  std::array<TPairCode, 4096> Table{};
  for (unsigned Bits = 0; Bits < 4096; ++Bits) {
    TPairCode& Entry = Table[Bits];
    for (const TCharCode Code : {EncodeSextet(Bits >> 6), EncodeSextet(Bits & 63)}) {
      for (quint8 I = 0; I < Code.Length; ++I) {
        Entry.Bytes[Entry.Length++] = Code.Bytes[I];
      }
    }
  }
  return Table;
}

constexpr std::array<TPairCode, 4096> PairTable = MakePairTable();

// How many of the two characters of twelve bits of input encode to three bytes; a table of
// its own is denser in the cache than the lengths inside PairTable.
constexpr std::array<quint8, 4096> MakeWideTable() {
  std::array<quint8, 4096> Table{};
  for (unsigned Bits = 0; Bits < 4096; ++Bits) {
    Table[Bits] = static_cast<quint8>((PairTable[Bits].Length - 2) / 2);
  }
  return Table;
}

constexpr std::array<quint8, 4096> WideTable = MakeWideTable();

inline quint32 GroupBits(const uchar* AData) {
  return (quint32{AData[0]} << 16) | (quint32{AData[1]} << 8) | AData[2];
}

// Size of the encoded Base64 text of AData.
qsizetype EncodedBase64Size(const uchar* AData, qsizetype ASize) {
  const qsizetype Groups = ASize / 3;
  qsizetype Wide = 0;
  for (qsizetype I = 0; I < Groups; ++I) {
    const quint32 Bits = GroupBits(AData + 3 * I);
    Wide += WideTable[Bits >> 12] + WideTable[Bits & 0xFFF];
  }
  qsizetype Size = 4 * Groups + 2 * Wide;
  const uchar* Tail = AData + 3 * Groups;
  switch (ASize % 3) {
    case 1:
      Size += PairTable[quint32{Tail[0]} << 4].Length + 2 * EncodedPadding.size();
      break;
    case 2: {
      const quint32 Bits = (quint32{Tail[0]} << 16) | (quint32{Tail[1]} << 8);
      Size += PairTable[Bits >> 12].Length + EncodeSextet((Bits >> 6) & 63).Length + EncodedPadding.size();
      break;
    }
    default:
      break;
  }
  return Size + (ASize / LineBytes) * EncodedLineBreak.size();
}

class TBodyWriter {
 public:
  TBodyWriter(char* AStart, char* AEnd) : FOut(AStart), FEnd(AEnd) {}

  void Append(QByteArrayView ABytes) {
    std::memcpy(FOut, ABytes.data(), static_cast<size_t>(ABytes.size()));
    FOut += ABytes.size();
  }

  void AppendPair(quint32 ABits) {
    const TPairCode& Code = PairTable[ABits];
    // Away from the end the whole entry is stored; the bytes past its length are overwritten
    // by what follows.
    if (FEnd - FOut >= static_cast<qsizetype>(sizeof(Code.Bytes))) {
      std::memcpy(FOut, Code.Bytes, sizeof(Code.Bytes));
    } else {
      std::memcpy(FOut, Code.Bytes, Code.Length);
    }
    FOut += Code.Length;
  }

  void AppendGroup(const uchar* AData) {
    const quint32 Bits = GroupBits(AData);
    AppendPair(Bits >> 12);
    AppendPair(Bits & 0xFFF);
  }

  void AppendBase64(const uchar* AData, qsizetype ASize) {
    const qsizetype Lines = ASize / LineBytes;
    for (qsizetype Line = 0; Line < Lines; ++Line) {
      const uchar* LineData = AData + Line * LineBytes;
      for (qsizetype I = 0; I < LineBytes; I += 3) {
        AppendGroup(LineData + I);
      }
      Append(EncodedLineBreak);
    }
    const uchar* Rest = AData + Lines * LineBytes;
    const qsizetype RestSize = ASize - Lines * LineBytes;
    qsizetype I = 0;
    for (; I + 3 <= RestSize; I += 3) {
      AppendGroup(Rest + I);
    }
    if (RestSize - I == 1) {
      AppendPair(quint32{Rest[I]} << 4);
      Append(EncodedPadding);
      Append(EncodedPadding);
    } else if (RestSize - I == 2) {
      const quint32 Bits = (quint32{Rest[I]} << 16) | (quint32{Rest[I + 1]} << 8);
      AppendPair(Bits >> 12);
      const TCharCode Code = EncodeSextet((Bits >> 6) & 63);
      Append(QByteArrayView(Code.Bytes, Code.Length));
      Append(EncodedPadding);
    }
  }

  char* Position() const { return FOut; }

 private:
  char* FOut;
  char* const FEnd;
};

// A large buffer is written once from start to end; on huge pages it costs a small part of
// the page faults that ordinary pages would.
void AdviseHugePages(QByteArray& ABuffer) {
#ifdef MADV_HUGEPAGE
  constexpr quintptr HugePage = quintptr{2} << 20;
  if (ABuffer.size() < static_cast<qsizetype>(2 * HugePage)) {
    return;
  }
  const auto Start = (reinterpret_cast<quintptr>(ABuffer.data()) + HugePage - 1) & ~(HugePage - 1);
  const auto End =
      (reinterpret_cast<quintptr>(ABuffer.data()) + static_cast<quintptr>(ABuffer.size())) & ~(HugePage - 1);
  if (End > Start) {
    ::madvise(reinterpret_cast<void*>(Start), End - Start, MADV_HUGEPAGE);
  }
#else
  Q_UNUSED(ABuffer)
#endif
}

[[noreturn]] void ThrowOpenFailure(const QString& AFN, const QString& AReason) {
  throw EFileFailure(QStringLiteral("Cannot open file \"%1\". %2").arg(AFN, AReason));
}

}  // namespace

// A write lease is granted only while no other descriptor is open; it is given back at once.
bool IsOpenElsewhere(int AFd) {
  // The break of the lease (another open while it is held) is signalled to this process;
  // SIGURG is ignored unless handled, where the default SIGIO would end the program.
  ::fcntl(AFd, F_SETSIG, SIGURG);
  if (::fcntl(AFd, F_SETLEASE, F_WRLCK) == 0) {
    ::fcntl(AFd, F_SETLEASE, F_UNLCK);
  } else if (errno == EAGAIN) {
    return true;
  }
  // On NFS an exclusive flock needs a descriptor open for writing; only a lock held by
  // someone else counts.
  return ::flock(AFd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

QString ExtractFileName(const QString& APath) {
  return APath.mid(APath.lastIndexOf(u'/') + 1);
}

QByteArray ReadVoiceTrackFile(const QString& AFN) {
  // Non-blocking, so that a FIFO cannot hold the open; reads of a regular file do not care.
  TPosixFile File;
  if (const int Error = File.Open(QFile::encodeName(AFN).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
    ThrowOpenFailure(AFN, SysErrorDescription(Error));
  }
  const int Fd = File.Fd();
  if (IsOpenElsewhere(Fd)) {
    ThrowOpenFailure(AFN, QStringLiteral("The file is being used by another program"));
  }
  struct stat Status {};
  if (::fstat(Fd, &Status) != 0) {
    ThrowOpenFailure(AFN, SysErrorDescription(errno));
  }
  if (S_ISDIR(Status.st_mode)) {
    ThrowOpenFailure(AFN, SysErrorDescription(EISDIR));
  }
  if (!S_ISREG(Status.st_mode)) {
    ThrowOpenFailure(AFN, QStringLiteral("Not a regular file"));
  }
  if (Status.st_size > MaxFileSize) {
    throw EFileFailure(
        QStringLiteral("Cannot send file \"%1\". A voice track must be smaller than 2 GiB").arg(AFN));
  }
  QByteArray Content(static_cast<qsizetype>(Status.st_size), Qt::Uninitialized);
  AdviseHugePages(Content);
  size_t Done = 0;
  const size_t Size = static_cast<size_t>(Content.size());
  if (ReadFull(Fd, Content.data(), Size, Done) != 0 || Done < Size) {
    throw EFileFailure(QStringLiteral("Stream read error"));
  }
  return Content;
}

QByteArray BuildUploadBody(const QString& AUser, const QString& APass, const QString& AFileName, int AIndex,
                           QByteArrayView AContent) {
  // No value can hold '"' or '&' after its encoding, so no pair ever needs quoting.
  QByteArray Head = "user=";
  AppendQueryValue(Head, AUser);
  Head += "&pass=";
  AppendQueryValue(Head, APass);
  Head += "&action=wavenard&fn=";
  AppendQueryValue(Head, AFileName);
  Head += "&pos=" + QByteArray::number(AIndex) + "&vt=";

  const auto* Data = reinterpret_cast<const uchar*>(AContent.data());
  const qsizetype Size = AContent.size();
  QByteArray Body(Head.size() + EncodedBase64Size(Data, Size), Qt::Uninitialized);
  AdviseHugePages(Body);
  TBodyWriter Writer(Body.data(), Body.data() + Body.size());
  Writer.Append(Head);
  Writer.AppendBase64(Data, Size);
  Q_ASSERT(Writer.Position() == Body.data() + Body.size());
  return Body;
}

}  // namespace wavenard
