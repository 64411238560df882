// Reading a station's playlist answer of 10,000 tracks: our scanner into a playlist, side by side
// with pugixml over the same document.
//
// What each side does, per iteration:
// - ours: ReadPlaylist from the answer as the request worker has it, a QString (UTF-16) already
//   decoded, to a TPlaylist of 10,000 owned rows with two owned QStrings each; every part of the
//   document is scanned, every attribute copied and normalised, references resolved.
// - pugixml: load_buffer_inplace over a fresh copy of the same document as UTF-8 bytes, the copy
//   made outside the measured time (parse_default: references and attribute blanks converted), then
//   CASTTITLE and DURATION of every TRACK read as char pointers into that buffer; no per-row copies.
// - pugixml + rows: as pugixml, and the two values copied into a TPlaylist as QStrings.
// MB/s counts the UTF-8 bytes of the document on every side; the time ratio is ours over pugixml.

#include "remote/playlist.h"
#include "remote/playlist_reading.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <QByteArray>
#include <QString>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

namespace {

using namespace wavenard;

constexpr int TrackCount = 10'000;

// About a dozen attributes a track, as a real station sends them, with the odd reference and
// non-ASCII letter.
QString MakeAnswer(int ATracks) {
  static const char* const Artists[] = {
      "Simon &amp; Garfunkel",
      "Beyonc\xc3\xa9",
      "The Beatles",
      "Guns N&apos; Roses",
      "Sigur R&#243;s",
      "AC/DC",
      "Earth, Wind &amp; Fire",
      "M\xc3\xb6tley Cr\xc3\xbc"
      "e",
  };
  QString Text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<PLAYLIST>\r\n");
  for (int I = 0; I < ATracks; ++I) {
    const QString Artist = QString::fromUtf8(Artists[I % std::size(Artists)]);
    const QString Title = QStringLiteral("Song number %1").arg(I);
    Text +=
        QStringLiteral(
            "<TRACK ID=\"%1\" POS=\"%2\" TYPE=\"0\" FILENAME=\"D:\\Music\\Rotation\\%3 - %4.mp3\" "
            "ARTIST=\"%3\" TITLE=\"%4\" CASTTITLE=\"%3 - %4\" DURATION=\"03:%5\" "
            "STARTTIME=\"2024-06-11 14:%6:%7\" INTRO=\"12.5\" OUTRO=\"4.2\" GENRE=\"Pop\" YEAR=\"%8\" />\r\n")
            .arg(100000 + I)
            .arg(I + 1)
            .arg(Artist, Title)
            .arg(I % 60, 2, 10, QChar(u'0'))
            .arg((I / 60) % 60, 2, 10, QChar(u'0'))
            .arg(I % 60, 2, 10, QChar(u'0'))
            .arg(1960 + I % 64);
  }
  Text += QStringLiteral("</PLAYLIST>\r\n");
  return Text;
}

struct TDocument {
  QString Text = MakeAnswer(TrackCount);
  QByteArray Utf8 = Text.toUtf8();
};

const TDocument& Document() {
  static const TDocument Instance;
  return Instance;
}

void RunOurs(const TDocument& ADocument) {
  TPlaylist Playlist;
  ReadPlaylist(ADocument.Text, Playlist);
  if (Playlist.Count() != TrackCount) {
    std::abort();
  }
  benchmark::DoNotOptimize(Playlist.Items(TrackCount - 1).Title.constData());
}

// pugixml parses in place; the caller hands it a fresh copy of the document each time, made outside
// the measured time, so that pugixml's figure holds no copy and no fresh memory at all.
class TPugixmlInput final {
 public:
  explicit TPugixmlInput(const QByteArray& ADocument)
      : FDocument(ADocument), FBuffer(size_t(ADocument.size())) {}
  char* Refresh() {
    std::memcpy(FBuffer.data(), FDocument.constData(), FBuffer.size());
    return FBuffer.data();
  }
  size_t Size() const { return FBuffer.size(); }

 private:
  const QByteArray& FDocument;
  std::vector<char> FBuffer;
};

template <typename TVisit>
void ParseWithPugixml(char* ABuffer, size_t ASize, TVisit AVisit) {
  pugi::xml_document Xml;
  Xml.load_buffer_inplace(ABuffer, ASize, pugi::parse_default, pugi::encoding_utf8);
  int Tracks = 0;
  for (const pugi::xml_node Track : Xml.child("PLAYLIST").children("TRACK")) {
    AVisit(Track.attribute("CASTTITLE").value(), Track.attribute("DURATION").value());
    ++Tracks;
  }
  if (Tracks != TrackCount) {
    std::abort();
  }
}

void RunPugixml(char* ABuffer, size_t ASize) {
  size_t Read = 0;
  ParseWithPugixml(ABuffer, ASize, [&Read](const char* ATitle, const char* ADuration) {
    Read += std::strlen(ATitle) + std::strlen(ADuration);
  });
  benchmark::DoNotOptimize(Read);
}

void RunPugixmlRows(char* ABuffer, size_t ASize) {
  TPlaylist Playlist;
  ParseWithPugixml(ABuffer, ASize, [&Playlist](const char* ATitle, const char* ADuration) {
    auto Item = std::make_unique<TPlaylistItem>();
    Item->Title = QString::fromUtf8(ATitle);
    Item->Duration = QString::fromUtf8(ADuration);
    Playlist.Add(std::move(Item));
  });
  benchmark::DoNotOptimize(Playlist.Count());
}

void SetThroughput(benchmark::State& AState) {
  const double Megabytes = double(Document().Utf8.size()) / 1e6;
  AState.counters["MB/s"] =
      benchmark::Counter(Megabytes * double(AState.iterations()), benchmark::Counter::kIsRate);
  AState.counters["document_MB"] = Megabytes;
}

void BM_ReadPlaylist(benchmark::State& AState) {
  for (auto _ : AState) {
    RunOurs(Document());
  }
  SetThroughput(AState);
}

void BM_Pugixml(benchmark::State& AState) {
  TPugixmlInput Input(Document().Utf8);
  for (auto _ : AState) {
    AState.PauseTiming();
    char* Buffer = Input.Refresh();
    AState.ResumeTiming();
    RunPugixml(Buffer, Input.Size());
  }
  SetThroughput(AState);
}

void BM_PugixmlWithRows(benchmark::State& AState) {
  TPugixmlInput Input(Document().Utf8);
  for (auto _ : AState) {
    AState.PauseTiming();
    char* Buffer = Input.Refresh();
    AState.ResumeTiming();
    RunPugixmlRows(Buffer, Input.Size());
  }
  SetThroughput(AState);
}

// The thread's CPU time in seconds: the machine may be shared, and waiting for a core is no
// part of either side's cost.
double ThreadSeconds() {
  timespec Now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &Now);
  return double(Now.tv_sec) + double(Now.tv_nsec) / 1e9;
}

// Both sides in turn within each iteration, so that they share the machine's conditions; the
// counters give both throughputs and the ratio of their CPU times (goal: at most 1.5).
void BM_OursVersusPugixml(benchmark::State& AState) {
  TPugixmlInput Input(Document().Utf8);
  double Ours = 0;
  double Pugixml = 0;
  for (auto _ : AState) {
    char* Buffer = Input.Refresh();
    const double Start = ThreadSeconds();
    RunOurs(Document());
    const double Middle = ThreadSeconds();
    RunPugixml(Buffer, Input.Size());
    Ours += Middle - Start;
    Pugixml += ThreadSeconds() - Middle;
  }
  const double Megabytes = double(Document().Utf8.size()) / 1e6 * double(AState.iterations());
  AState.counters["ours_MB/s"] = Megabytes / Ours;
  AState.counters["pugixml_MB/s"] = Megabytes / Pugixml;
  AState.counters["time_ratio"] = Ours / Pugixml;
}

BENCHMARK(BM_ReadPlaylist)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pugixml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PugixmlWithRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursVersusPugixml)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
