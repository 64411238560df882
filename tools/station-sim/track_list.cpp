#include "tools/station-sim/track_list.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace wavenard::sim {

namespace {

std::vector<std::string_view> Split(std::string_view AText, char ASeparator) {
  std::vector<std::string_view> Parts;
  size_t Start = 0;
  while (true) {
    const size_t End = AText.find(ASeparator, Start);
    if (End == std::string_view::npos) {
      Parts.push_back(AText.substr(Start));
      return Parts;
    }
    Parts.push_back(AText.substr(Start, End - Start));
    Start = End + 1;
  }
}

std::string_view Trim(std::string_view AText) {
  const size_t First = AText.find_first_not_of(" \t\r");
  if (First == std::string_view::npos) {
    return {};
  }
  return AText.substr(First, AText.find_last_not_of(" \t\r") - First + 1);
}

bool ParseDigits(std::string_view AText, int64_t& AValue) {
  if (AText.empty() || AText.size() > 9) {
    return false;
  }
  const auto [End, Error] = std::from_chars(AText.data(), AText.data() + AText.size(), AValue);
  return Error == std::errc() && End == AText.data() + AText.size() &&
         std::all_of(AText.begin(), AText.end(), [](char C) { return C >= '0' && C <= '9'; });
}

std::string FormatTimeOfDay(int64_t ASeconds) {
  const int64_t Seconds = ASeconds % (24 * 3600);
  char Buffer[16];
  std::snprintf(Buffer, sizeof Buffer, "%02d:%02d:%02d", static_cast<int>(Seconds / 3600),
                static_cast<int>(Seconds / 60 % 60), static_cast<int>(Seconds % 60));
  return Buffer;
}

}  // namespace

std::string TTrack::CastTitle() const {
  return Artist.empty() ? Title : Artist + " - " + Title;
}

std::string FormatDuration(int64_t AMs) {
  const int64_t Seconds = std::max<int64_t>(0, (AMs + 500) / 1000);
  char Buffer[32];
  if (Seconds < 3600) {
    std::snprintf(Buffer, sizeof Buffer, "%d:%02d", static_cast<int>(Seconds / 60),
                  static_cast<int>(Seconds % 60));
  } else {
    std::snprintf(Buffer, sizeof Buffer, "%lld:%02d:%02d", static_cast<long long>(Seconds / 3600),
                  static_cast<int>(Seconds / 60 % 60), static_cast<int>(Seconds % 60));
  }
  return Buffer;
}

int64_t ParseDuration(std::string_view AText) {
  const std::vector<std::string_view> Fields = Split(AText, ':');
  if (Fields.size() < 2 || Fields.size() > 3) {
    return -1;
  }
  int64_t Total = 0;
  for (size_t I = 0; I < Fields.size(); ++I) {
    int64_t Value = 0;
    if (!ParseDigits(Fields[I], Value)) {
      return -1;
    }
    // Every field after the first counts up to 59 and is written with two digits.
    if (I > 0 && (Fields[I].size() != 2 || Value > 59)) {
      return -1;
    }
    Total = Total * 60 + Value;
  }
  return Total * 1000;
}

bool IsValidUtf8(std::string_view AText) {
  size_t I = 0;
  while (I < AText.size()) {
    const auto Lead = static_cast<unsigned char>(AText[I]);
    size_t Length = 0;
    uint32_t CodePoint = 0;
    if (Lead < 0x80) {
      ++I;
      continue;
    } else if ((Lead & 0xE0) == 0xC0) {
      Length = 2;
      CodePoint = Lead & 0x1F;
    } else if ((Lead & 0xF0) == 0xE0) {
      Length = 3;
      CodePoint = Lead & 0x0F;
    } else if ((Lead & 0xF8) == 0xF0) {
      Length = 4;
      CodePoint = Lead & 0x07;
    } else {
      return false;
    }
    if (I + Length > AText.size()) {
      return false;
    }
    for (size_t K = 1; K < Length; ++K) {
      const auto Next = static_cast<unsigned char>(AText[I + K]);
      if ((Next & 0xC0) != 0x80) {
        return false;
      }
      CodePoint = (CodePoint << 6) | (Next & 0x3F);
    }
    static constexpr uint32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (CodePoint < Smallest[Length] || CodePoint > 0x10FFFF ||
        (CodePoint >= 0xD800 && CodePoint <= 0xDFFF)) {
      return false;
    }
    I += Length;
  }
  return true;
}

std::string EscapeXmlAttribute(std::string_view AText) {
  std::string Result;
  Result.reserve(AText.size());
  for (char Char : AText) {
    switch (Char) {
      case '&':
        Result += "&amp;";
        break;
      case '<':
        Result += "&lt;";
        break;
      case '>':
        Result += "&gt;";
        break;
      case '"':
        Result += "&quot;";
        break;
      case '\'':
        Result += "&apos;";
        break;
      case '\t':
        Result += "&#9;";
        break;
      case '\n':
        Result += "&#10;";
        break;
      case '\r':
        Result += "&#13;";
        break;
      default:
        if (static_cast<unsigned char>(Char) >= 0x20) {
          Result.push_back(Char);
        }
    }
  }
  return Result;
}

TTrackList TTrackList::Parse(std::string_view AText) {
  if (AText.substr(0, 3) == "\xEF\xBB\xBF") {
    AText.remove_prefix(3);
  }
  if (!IsValidUtf8(AText)) {
    throw TPlaylistFileError("the playlist file is not UTF-8 text");
  }
  TTrackList List;
  size_t LineNumber = 0;
  for (std::string_view Line : Split(AText, '\n')) {
    ++LineNumber;
    if (!Line.empty() && Line.back() == '\r') {
      Line.remove_suffix(1);
    }
    if (Trim(Line).empty() || Trim(Line).front() == '#') {
      continue;
    }
    const auto Fail = [LineNumber](const std::string& AWhat) {
      throw TPlaylistFileError("line " + std::to_string(LineNumber) + ": " + AWhat);
    };
    const std::vector<std::string_view> Fields = Split(Line, '\t');
    if (Fields.size() < 2 || Fields.size() > 5) {
      Fail("expected 2 to 5 tab-separated fields (title, duration, type, artist, file)");
    }
    TTrack Track;
    Track.Title = Trim(Fields[0]);
    if (Track.Title.empty()) {
      Fail("empty title");
    }
    Track.DurationMs = ParseDuration(Trim(Fields[1]));
    if (Track.DurationMs < 0) {
      Fail("duration \"" + std::string(Fields[1]) + "\" is not m:ss or h:mm:ss");
    }
    if (Fields.size() > 2 && !Trim(Fields[2]).empty()) {
      Track.Type = Trim(Fields[2]);
    }
    if (Fields.size() > 3) {
      Track.Artist = Trim(Fields[3]);
    }
    Track.FileName = Fields.size() > 4 ? std::string(Trim(Fields[4])) : std::string();
    if (Track.FileName.empty()) {
      Track.FileName = Track.CastTitle() + ".flac";
    }
    List.Append(std::move(Track));
  }
  return List;
}

TTrackList TTrackList::Load(const std::string& AFileName) {
  std::ifstream File(AFileName, std::ios::binary);
  if (!File) {
    throw TPlaylistFileError("cannot open \"" + AFileName + "\"");
  }
  std::ostringstream Content;
  Content << File.rdbuf();
  if (File.bad()) {
    throw TPlaylistFileError("cannot read \"" + AFileName + "\"");
  }
  return Parse(Content.str());
}

void TTrackList::Append(TTrack ATrack) {
  Insert(static_cast<int64_t>(FTracks.size()) + 1, std::move(ATrack));
}

void TTrackList::Insert(int64_t APosition, TTrack ATrack) {
  const int64_t Position = std::clamp<int64_t>(APosition, 1, static_cast<int64_t>(FTracks.size()) + 1);
  ATrack.Id = FNextId++;
  FTracks.insert(FTracks.begin() + (Position - 1), std::move(ATrack));
}

bool TTrackList::Delete(int64_t APosition) {
  if (APosition < 1 || APosition > static_cast<int64_t>(FTracks.size())) {
    return false;
  }
  FTracks.erase(FTracks.begin() + (APosition - 1));
  return true;
}

bool TTrackList::Move(int64_t AFrom, int64_t ATo) {
  const auto Count = static_cast<int64_t>(FTracks.size());
  if (AFrom < 1 || AFrom > Count || ATo < 1 || ATo > Count) {
    return false;
  }
  TTrack Track = std::move(FTracks[AFrom - 1]);
  FTracks.erase(FTracks.begin() + (AFrom - 1));
  FTracks.insert(FTracks.begin() + (ATo - 1), std::move(Track));
  return true;
}

std::string TTrackList::ToXml(std::string_view AEncoding) const {
  std::string Xml = "<?xml version=\"1.0\" encoding=\"" + EscapeXmlAttribute(AEncoding) + "\"?>\r\n";
  Xml += "<PLAYLIST COUNT=\"" + std::to_string(FTracks.size()) + "\">\r\n";
  int64_t Start = FStartTime;
  bool First = true;
  for (const TTrack& Track : FTracks) {
    const std::pair<const char*, std::string> Attributes[] = {
        {"ID", std::to_string(Track.Id)},
        {"TYPE", Track.Type},
        {"ARTIST", Track.Artist},
        {"TITLE", Track.Title},
        {"CASTTITLE", Track.CastTitle()},
        {"DURATION", FormatDuration(Track.DurationMs)},
        {"DURATIONMS", std::to_string(Track.DurationMs)},
        {"STARTTIME", FormatTimeOfDay(Start)},
        {"FILENAME", Track.FileName},
        {"STATUS", First ? "Playing" : "Queued"},
        {"ADDEDBY", Track.AddedBy},
    };
    Xml += "<TRACK";
    for (const auto& [Name, Value] : Attributes) {
      Xml += ' ';
      Xml += Name;
      Xml += "=\"" + EscapeXmlAttribute(Value) + '"';
    }
    Xml += "/>\r\n";
    Start += (Track.DurationMs + 500) / 1000;
    First = false;
  }
  Xml += "</PLAYLIST>\r\n";
  return Xml;
}

}  // namespace wavenard::sim
