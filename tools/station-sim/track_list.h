#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace wavenard::sim {

// One entry of the station's playlist. Texts are UTF-8.
struct TTrack {
  int64_t Id = 0;  // assigned by the list
  std::string Type = "Song";
  std::string Artist{};
  std::string Title{};
  int64_t DurationMs = 0;
  std::string FileName{};
  std::string AddedBy = "automation";

  // The title a station shows on air: "Artist - Title", or the title alone.
  std::string CastTitle() const;
};

// A playlist file that cannot be read, with the line it failed on.
class TPlaylistFileError final : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "m:ss" below an hour, "h:mm:ss" from an hour on; rounded to the nearest second.
std::string FormatDuration(int64_t AMs);

// Parses "m:ss" or "h:mm:ss" (seconds and minutes below 60 after the first field). -1 if malformed.
int64_t ParseDuration(std::string_view AText);

// True when the bytes are well-formed UTF-8 without overlong forms or surrogates.
bool IsValidUtf8(std::string_view AText);

// Escapes a text for an XML attribute value in double quotes. Tab, line feed and carriage
// return become character references so that they survive attribute normalisation; other
// control characters cannot appear in XML 1.0 and are left out.
std::string EscapeXmlAttribute(std::string_view AText);

// The station's playlist: an ordered list of tracks with 1-based positions.
class TTrackList {
 public:
  // Playlist file: UTF-8 text, one track per line, fields separated by tabs:
  //   title, duration ("m:ss" or "h:mm:ss"), then optionally type, artist and file name.
  // Blank lines and lines starting with "#" are skipped. Throws TPlaylistFileError.
  static TTrackList Parse(std::string_view AText);
  static TTrackList Load(const std::string& AFileName);

  size_t Count() const { return FTracks.size(); }
  const std::vector<TTrack>& Tracks() const { return FTracks; }

  // Appends a track and gives it the next id.
  void Append(TTrack ATrack);
  // Inserts so that the track takes position APosition, clamped to 1 .. Count() + 1.
  void Insert(int64_t APosition, TTrack ATrack);
  // False when the position is not 1 .. Count().
  bool Delete(int64_t APosition);
  // Takes the track at AFrom out and puts it back so that it stands at ATo afterwards.
  // False when either position is not 1 .. Count().
  bool Move(int64_t AFrom, int64_t ATo);

  // The first track starts at this time of day; the others follow back to back.
  void SetStartTime(int ASecondsOfDay) { FStartTime = ASecondsOfDay; }

  // The playlist document: a declaration naming AEncoding, a root element, and one empty
  // TRACK element per track in order, each on a line of its own.
  std::string ToXml(std::string_view AEncoding = "utf-8") const;

 private:
  std::vector<TTrack> FTracks;
  int64_t FNextId = 1001;
  int FStartTime = 18 * 3600;
};

}  // namespace wavenard::sim
