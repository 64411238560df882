// Reading a station's playlist answer of 10,000 tracks: our scanner into a playlist, side by side
// with pugixml over the same document.
//
// What each side does, per iteration:
// - ours: ReadPlaylist from the answer as the request worker has it, a QString (UTF-16) already
//   decoded, to a TPlaylist of 10,000 owned rows with two owned QStrings each, and the playlist
//   freed; every part of the document is scanned and every attribute found, while only the two
//   values a row needs are copied and normalised (references resolved).
// - pugixml: load_buffer_inplace over a fresh copy of the same document as UTF-8 bytes, the copy
//   made outside the measured time (parse_default: references and attribute blanks converted in
//   every attribute), then CASTTITLE and DURATION of every TRACK read as char pointers into that
//   buffer, no per-row copies, and the document freed.
// - pugixml + rows: as pugixml, and the two values copied into a TPlaylist as QStrings.
// MB/s counts the UTF-8 bytes of the document on every side; the time ratio is ours over pugixml.
//
// Memory freed by one iteration stays with the process for the next, as it does in a client that
// runs for hours: otherwise the allocator hands the top of its heap back to the system after each
// iteration, and the figures of both sides measure page faults as much as reading, depending on
// where their blocks happened to lie.

#include "bench/playlist_answer.h"
#include "remote/playlist.h"
#include "remote/playlist_reading.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <malloc.h>
#include <QByteArray>
#include <QString>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

namespace {

using namespace wavenard;

constexpr int TrackCount = 10'000;

struct TDocument {
  QString Text = bench::MakePlaylistAnswer(TrackCount);
  QByteArray Utf8 = Text.toUtf8();
};

const TDocument& Document() {
  static const TDocument Instance;
  return Instance;
}

// Reads every cache line of the answer text, as the decoding that precedes the reading does.
void Warm(const QString& AText) {
  const char16_t* Chars = reinterpret_cast<const char16_t*>(AText.constData());
  char16_t Sum = 0;
  for (qsizetype I = 0; I < AText.size(); I += 32) {
    Sum += Chars[I];
  }
  benchmark::DoNotOptimize(Sum);
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
    AState.PauseTiming();
    Warm(Document().Text);
    AState.ResumeTiming();
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

// Both sides in turn within each iteration, so that they share the machine's conditions, taking
// turns at going first; each side's input is read or written just before its run, as its own
// source would have left it. The counters give both throughputs and the ratio of their CPU times
// (goal: at most 1.5).
void BM_OursVersusPugixml(benchmark::State& AState) {
  TPugixmlInput Input(Document().Utf8);
  double Ours = 0;
  double Pugixml = 0;
  bool OursFirst = true;
  for (auto _ : AState) {
    for (int Turn = 0; Turn < 2; ++Turn) {
      if ((Turn == 0) == OursFirst) {
        Warm(Document().Text);
        const double Start = ThreadSeconds();
        RunOurs(Document());
        Ours += ThreadSeconds() - Start;
      } else {
        char* Buffer = Input.Refresh();
        const double Start = ThreadSeconds();
        RunPugixml(Buffer, Input.Size());
        Pugixml += ThreadSeconds() - Start;
      }
    }
    OursFirst = !OursFirst;
  }
  const double Megabytes = double(Document().Utf8.size()) / 1e6 * double(AState.iterations());
  AState.counters["ours_ms"] = Ours * 1e3 / double(AState.iterations());
  AState.counters["pugixml_ms"] = Pugixml * 1e3 / double(AState.iterations());
  AState.counters["ours_MB/s"] = Megabytes / Ours;
  AState.counters["pugixml_MB/s"] = Megabytes / Pugixml;
  AState.counters["time_ratio"] = Ours / Pugixml;
}

BENCHMARK(BM_ReadPlaylist)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pugixml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PugixmlWithRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursVersusPugixml)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int AArgc, char** AArgv) {
  // Keep freed memory in the process (see above); 32 MB is the largest mmap threshold allowed.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  benchmark::Initialize(&AArgc, AArgv);
  if (benchmark::ReportUnrecognizedArguments(AArgc, AArgv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
