#include <gtest/gtest.h>

#include <functional>

#include "tests/tools/sim_client.h"
#include "tools/station-sim/base64_decoder.h"
#include "tools/station-sim/fault_settings.h"
#include "tools/station-sim/flac_header.h"
#include "tools/station-sim/track_list.h"

namespace wavenard::sim {
namespace {

TEST(StationSimBase64, DecodesWhatTheClientSendsAndRefusesTheRest) {
  const std::string Long(100, 'x');  // two lines of 76 characters and more
  struct TCase {
    std::string Text;
    std::optional<std::string> Bytes;
  } Cases[] = {
      {"", std::string()},
      {"Zg==", std::string("f")},
      {"Zm8=", std::string("fo")},
      {"Zm9v", std::string("foo")},
      {"Zm9v\r\nYmFy", std::string("foobar")},
      {test::Base64Lines(Long), Long},
      {test::Base64Lines(std::string("\0\xFF\xFE", 3)), std::string("\0\xFF\xFE", 3)},
      {"Zm9", std::nullopt},       // not a whole group
      {"Zm=v", std::nullopt},      // padding inside
      {"Zg==Zg==", std::nullopt},  // padding before the end
      {"Z===", std::nullopt},
      {"Zm9v YmFy", std::nullopt},  // a "+" decoded as a blank by a careless client
      {"Zm9v!", std::nullopt},
  };
  for (const TCase& Case : Cases) {
    EXPECT_EQ(DecodeBase64(Case.Text), Case.Bytes) << Case.Text;
  }
}

TEST(StationSimFlac, ReadsRateAndLengthFromStreamInfo) {
  const std::string Valid = test::FlacFile(44100, 441000);
  struct TCase {
    const char* Name;
    std::string Bytes;
    int64_t DurationMs;  // -1: refused
  } Cases[] = {
      {"ten seconds", Valid, 10000},
      {"high bits of the sample count", test::FlacFile(48000, uint64_t{1} << 32), 89478485},
      {"rounded to the nearest ms", test::FlacFile(44100, 22), 0},
      {"unknown length", test::FlacFile(8000, 0), 0},
      {"after an ID3 tag", std::string("ID3\x04\0\0\0\0\0\x05", 10) + "abcde" + Valid, 10000},
      {"cut short", Valid.substr(0, 41), -1},
      {"wrong magic", "fLaX" + Valid.substr(4), -1},
      {"first block not STREAMINFO", Valid.substr(0, 4) + '\x84' + Valid.substr(5), -1},
      {"sample rate zero", test::FlacFile(0, 1000), -1},
      {"a text file", "OK", -1},
  };
  for (const TCase& Case : Cases) {
    const auto Info = ReadFlacHeader(Case.Bytes);
    if (Case.DurationMs < 0) {
      EXPECT_FALSE(Info) << Case.Name;
    } else {
      ASSERT_TRUE(Info) << Case.Name;
      EXPECT_EQ(Info->DurationMs(), Case.DurationMs) << Case.Name;
    }
  }
}

TEST(StationSimTrackList, DurationsAsTheStationWritesThem) {
  const std::pair<int64_t, const char*> Formatted[] = {{0, "0:00"},       {10000, "0:10"},
                                                       {59500, "1:00"},   {225000, "3:45"},
                                                       {754000, "12:34"}, {3723000, "1:02:03"}};
  for (const auto& [Ms, Text] : Formatted) {
    EXPECT_EQ(FormatDuration(Ms), Text);
  }
  const std::pair<const char*, int64_t> Parsed[] = {{"3:45", 225000}, {"0:08", 8000},  {"1:02:03", 3723000},
                                                    {"3:4", -1},      {"3:60", -1},    {"x:10", -1},
                                                    {"", -1},         {"1:2:3:4", -1}, {"-1:00", -1}};
  for (const auto& [Text, Ms] : Parsed) {
    EXPECT_EQ(ParseDuration(Text), Ms) << Text;
  }
}

TEST(StationSimTrackList, ParsesPlaylistFilesAndNamesTheBadLine) {
  const TTrackList List = TTrackList::Parse(
      "\xEF\xBB\xBF# comment\r\n\r\nNews\t4:30\tNews\tNewsroom\tD:\\news.flac\r\nLate Song\t3:05\r\n");
  ASSERT_EQ(List.Count(), 2u);
  EXPECT_EQ(List.Tracks()[0].CastTitle(), "Newsroom - News");
  EXPECT_EQ(List.Tracks()[0].FileName, "D:\\news.flac");
  EXPECT_EQ(List.Tracks()[1].Type, "Song");
  EXPECT_EQ(List.Tracks()[1].DurationMs, 185000);

  const std::pair<const char*, const char*> Bad[] = {
      {"Ok\t1:00\nBroken\t1:75\n", "line 2"},
      {"Only a title\n", "line 1"},
      {"\t1:00\n", "empty title"},
      {"Caf\xE9\t1:00\n", "UTF-8"},
  };
  for (const auto& [Text, Expected] : Bad) {
    try {
      TTrackList::Parse(Text);
      ADD_FAILURE() << Text;
    } catch (const TPlaylistFileError& AError) {
      EXPECT_NE(std::string(AError.what()).find(Expected), std::string::npos) << AError.what();
    }
  }
  EXPECT_GE(TTrackList::Load(SAMPLE_PLAYLIST).Count(), 30u);
}

std::string Letters(const TTrackList& AList) {
  std::string Result;
  for (const TTrack& Track : AList.Tracks()) {
    Result += Track.Title;
  }
  return Result;
}

TEST(StationSimTrackList, EditsByOneBasedPosition) {
  struct TCase {
    const char* Name;
    std::function<bool(TTrackList&)> Edit;
    bool Done;
    const char* After;
  } Cases[] = {
      {"move forward", [](TTrackList& L) { return L.Move(1, 3); }, true, "BCADE"},
      {"move back", [](TTrackList& L) { return L.Move(5, 1); }, true, "EABCD"},
      {"move onto itself", [](TTrackList& L) { return L.Move(2, 2); }, true, "ABCDE"},
      {"move from 0", [](TTrackList& L) { return L.Move(0, 2); }, false, "ABCDE"},
      {"move past the end", [](TTrackList& L) { return L.Move(2, 6); }, false, "ABCDE"},
      {"delete last", [](TTrackList& L) { return L.Delete(5); }, true, "ABCD"},
      {"delete 0", [](TTrackList& L) { return L.Delete(0); }, false, "ABCDE"},
      {"delete past the end", [](TTrackList& L) { return L.Delete(6); }, false, "ABCDE"},
      {"insert before 0",
       [](TTrackList& L) {
         L.Insert(-3, TTrack{.Title = "X"});
         return true;
       },
       true, "XABCDE"},
      {"insert in the middle",
       [](TTrackList& L) {
         L.Insert(3, TTrack{.Title = "X"});
         return true;
       },
       true, "ABXCDE"},
      {"insert past the end",
       [](TTrackList& L) {
         L.Insert(99, TTrack{.Title = "X"});
         return true;
       },
       true, "ABCDEX"},
  };
  for (const TCase& Case : Cases) {
    TTrackList List;
    for (const char* Title : {"A", "B", "C", "D", "E"}) {
      List.Append(TTrack{.Type = "Song", .Title = Title});
    }
    EXPECT_EQ(Case.Edit(List), Case.Done) << Case.Name;
    EXPECT_EQ(Letters(List), Case.After) << Case.Name;
  }
}

TEST(StationSimTrackList, WritesEscapedTrackElementsInOrder) {
  TTrackList List;
  List.Append(
      TTrack{.Type = "Song", .Artist = "Mo & Jo", .Title = "<Live> \"at\" 'home'\tcut", .DurationMs = 61000});
  List.Append(TTrack{.Type = "Jingle", .Title = "Caf\xC3\xA9", .DurationMs = 8000});
  const std::string Xml = List.ToXml();
  EXPECT_EQ(Xml.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<PLAYLIST", 0), 0u) << Xml;
  EXPECT_NE(Xml.find("CASTTITLE=\"Mo &amp; Jo - &lt;Live&gt; &quot;at&quot; &apos;home&apos;&#9;cut\""),
            std::string::npos)
      << Xml;
  const auto Tracks = test::TracksOf(Xml);
  ASSERT_EQ(Tracks.size(), 2u);
  EXPECT_EQ(Tracks[0].at("DURATION"), "1:01");
  EXPECT_EQ(Tracks[1].at("CASTTITLE"), "Caf\xC3\xA9");
  EXPECT_EQ(Tracks[1].at("STARTTIME"), "18:01:01");  // back to back after the first
  EXPECT_GE(Tracks[0].size(), 10u);
}

TEST(StationSimFaultSettings, SwitchesAreSetByNameAndRefusedWhenWrong) {
  TFaultSettings Faults;
  EXPECT_EQ(Faults.Set("delay-ms", "250"), "");
  EXPECT_EQ(Faults.Set("drop", "half"), "");
  EXPECT_EQ(Faults.Set("empty_body", ""), "");
  EXPECT_EQ(Faults.Set("charset", "windows-1252"), "");
  EXPECT_EQ(Faults.DelayMs, 250);
  EXPECT_EQ(Faults.Drop, TDrop::HalfBody);
  EXPECT_TRUE(Faults.EmptyBody);
  const std::pair<const char*, const char*> Refused[] = {
      {"delay_ms", "-1"},         {"delay_ms", "abc"},   {"status", "42"},           {"status", "600"},
      {"redirect_status", "200"}, {"drop", "sometimes"}, {"charset", "no-such-set"}, {"colour", "blue"}};
  for (const auto& [Name, Value] : Refused) {
    EXPECT_NE(Faults.Set(Name, Value), "") << Name << "=" << Value;
  }
  EXPECT_EQ(Faults.DelayMs, 250);  // a refused value changes nothing
}

}  // namespace
}  // namespace wavenard::sim
