// The same work as xml_scanner_bench, once per side, for counting instructions under callgrind
// (scripts/xml_scanner_instructions): the machine may be shared, and counted instructions do not
// depend on what else runs. Each side is one function, so that callgrind can count it alone.

#include "bench/playlist_answer.h"
#include "remote/playlist.h"
#include "remote/playlist_reading.h"

#include <pugixml.hpp>

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using namespace wavenard;

constexpr int TrackCount = 10'000;

// The rows made and freed, as in the benchmark.
[[gnu::noinline]] int CountOurs(const QString& AText) {
  TPlaylist Playlist;
  ReadPlaylist(AText, Playlist);
  return Playlist.Count();
}

// Parsing a copy of the UTF-8 text in place and reading both attributes of every TRACK.
[[gnu::noinline]] int CountPugixml(char* ABuffer, size_t ASize) {
  pugi::xml_document Xml;
  Xml.load_buffer_inplace(ABuffer, ASize, pugi::parse_default, pugi::encoding_utf8);
  int Tracks = 0;
  size_t Read = 0;
  for (const pugi::xml_node Track : Xml.child("PLAYLIST").children("TRACK")) {
    Read +=
        std::strlen(Track.attribute("CASTTITLE").value()) + std::strlen(Track.attribute("DURATION").value());
    ++Tracks;
  }
  return Read > 0 ? Tracks : 0;
}

}  // namespace

int main() {
  const QString Text = bench::MakePlaylistAnswer(TrackCount);
  const QByteArray Utf8 = Text.toUtf8();
  std::vector<char> Buffer(Utf8.begin(), Utf8.end());
  const int Ours = CountOurs(Text);
  const int Pugixml = CountPugixml(Buffer.data(), Buffer.size());
  std::printf("document: %.3f MB UTF-8; rows: ours %d, pugixml %d\n", double(Utf8.size()) / 1e6, Ours,
              Pugixml);
  return Ours == TrackCount && Pugixml == TrackCount ? EXIT_SUCCESS : EXIT_FAILURE;
}
