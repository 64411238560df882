#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "tests/testsupport/temp_folder.h"
#include "tests/tools/sim_client.h"
#include "tools/station-sim/station_sim.h"

namespace wavenard::sim {
namespace {

using test::Query;
using test::TitlesOf;

class StationSimContract : public ::testing::Test {
 protected:
  void SetUp() override {
    TTrackList List;
    List.Append(TTrack{.Type = "Song", .Artist = "Artist A", .Title = "Alpha", .DurationMs = 225000});
    List.Append(TTrack{.Type = "Jingle", .Title = "Bravo", .DurationMs = 8000});
    List.Append(TTrack{.Type = "News", .Title = "Charlie", .DurationMs = 90000});
    FStation.SetPlaylist(List);
    FStation.SetStoreFolder(FStore.File("store").toStdString());
    ASSERT_TRUE(FStation.Start());
    FClient = test::SimClient(FStation.Port());
  }

  std::string Get(const std::string& ATarget, int AStatus = 200) {
    const auto Result = FClient->Get(ATarget.c_str());
    if (!Result) {
      ADD_FAILURE() << ATarget << ": " << httplib::to_string(Result.error());
      return {};
    }
    EXPECT_EQ(Result->status, AStatus) << ATarget << ": " << Result->body;
    return Result->body;
  }

  std::vector<std::string> Titles() {
    return TitlesOf(Get(Query("studio", "s3cret", "action=getplaylist2")));
  }

  httplib::Result Upload(const std::string& ABody) {
    return FClient->Post("/", ABody, "application/x-www-form-urlencoded");
  }

  test::TTempFolder FStore;
  TStationSim FStation{"studio", "s3cret"};
  std::unique_ptr<httplib::Client> FClient;
};

TEST_F(StationSimContract, PlaylistIsAnXmlDocumentOfTrackElementsInOrder) {
  const auto Result = FClient->Get(Query("studio", "s3cret", "action=getplaylist2").c_str());
  ASSERT_TRUE(Result);
  EXPECT_EQ(Result->status, 200);
  EXPECT_EQ(Result->get_header_value("Content-Type"), "text/xml; charset=utf-8");
  EXPECT_EQ(Result->body.rfind("<?xml", 0), 0u);
  const auto Tracks = test::TracksOf(Result->body);
  ASSERT_EQ(Tracks.size(), 3u);
  EXPECT_EQ(Tracks[0].at("CASTTITLE"), "Artist A - Alpha");
  EXPECT_EQ(Tracks[0].at("DURATION"), "3:45");
  EXPECT_EQ(Tracks[1].at("CASTTITLE"), "Bravo");
  EXPECT_EQ(Tracks[1].at("DURATION"), "0:08");
  EXPECT_EQ(Tracks[2].at("DURATION"), "1:30");
}

TEST_F(StationSimContract, EditsAnswerOkAndChangeThePlaylist) {
  struct TCase {
    const char* Action;
    const char* Answer;
    std::vector<std::string> After;
  } Cases[] = {
      {"action=move&pos1=1&pos2=3", "OK", {"Bravo", "Charlie", "Artist A - Alpha"}},
      {"action=move&pos1=3&pos2=1", "OK", {"Artist A - Alpha", "Bravo", "Charlie"}},
      {"action=delete&pos=2", "OK", {"Artist A - Alpha", "Charlie"}},
      {"action=delete&pos=3", "Invalid position", {"Artist A - Alpha", "Charlie"}},
      {"action=delete&pos=0", "Invalid position", {"Artist A - Alpha", "Charlie"}},
      {"action=delete&pos=x", "Invalid position", {"Artist A - Alpha", "Charlie"}},
      {"action=delete", "Invalid position", {"Artist A - Alpha", "Charlie"}},
      {"action=move&pos1=1&pos2=3", "Invalid position", {"Artist A - Alpha", "Charlie"}},
      {"action=move&pos1=-1&pos2=1", "Invalid position", {"Artist A - Alpha", "Charlie"}},
      {"action=shuffle", "Unknown action", {"Artist A - Alpha", "Charlie"}},
      {"action=wavenard", "Voice tracks are posted as a form", {"Artist A - Alpha", "Charlie"}},
      {"action=delete&pos=1", "OK", {"Charlie"}},
  };
  for (const TCase& Case : Cases) {
    EXPECT_EQ(Get(Query("studio", "s3cret", Case.Action)), Case.Answer) << Case.Action;
    EXPECT_EQ(Titles(), Case.After) << Case.Action;
  }
}

TEST_F(StationSimContract, WrongCredentialsAreRefusedAndChangeNothing) {
  const char* const Targets[] = {
      "/?user=studio&pass=wrong&action=delete&pos=1",
      "/?user=Studio&pass=s3cret&action=delete&pos=1",
      "/?user=studio&pass=S3CRET&action=getplaylist2",
      "/?user=studio&action=delete&pos=1",
      "/?pass=s3cret&action=delete&pos=1",
      "/?action=getplaylist2",
  };
  for (const char* Target : Targets) {
    EXPECT_EQ(Get(Target, 401), "Wrong user name or password") << Target;
  }
  EXPECT_EQ(Titles().size(), 3u);
}

TEST(StationSimCredentials, EncodedCharactersAreDecodedBeforeTheCheck) {
  TStationSim Station("a b+c", "x&y=%");
  ASSERT_TRUE(Station.Start());
  const auto Client = test::SimClient(Station.Port());
  const auto Good = Client->Get("/?user=a+b%2Bc&pass=x%26y%3D%25&action=getplaylist2");
  ASSERT_TRUE(Good);
  EXPECT_EQ(Good->status, 200);
  const auto Bad = Client->Get("/?user=a+b+c&pass=x%26y%3D%25&action=getplaylist2");
  ASSERT_TRUE(Bad);
  EXPECT_EQ(Bad->status, 401);
}

TEST_F(StationSimContract, VoiceTrackIsStoredAndInsertedAtItsPosition) {
  // Large enough that the form is far beyond the few kilobytes an HTTP library allows by default.
  const std::string Flac = test::FlacFile(44100, 441000, 40000);
  const auto Result = Upload(test::UploadForm("studio", "s3cret", "take 1.flac", "2", Flac));
  ASSERT_TRUE(Result);
  EXPECT_EQ(Result->status, 200);
  EXPECT_EQ(Result->body, "OK");

  const auto Tracks = test::TracksOf(Get(Query("studio", "s3cret", "action=getplaylist2")));
  ASSERT_EQ(Tracks.size(), 4u);
  EXPECT_EQ(Tracks[1].at("CASTTITLE"), "take 1");
  EXPECT_EQ(Tracks[1].at("DURATION"), "0:10");
  EXPECT_EQ(Tracks[1].at("TYPE"), "VoiceTrack");
  EXPECT_EQ(Tracks[2].at("CASTTITLE"), "Bravo");

  QFile Stored(FStore.File("store/take 1.flac"));
  ASSERT_TRUE(Stored.open(QIODevice::ReadOnly));
  EXPECT_EQ(Stored.readAll().toStdString(), Flac);
}

TEST_F(StationSimContract, VoiceTrackPositionsAreClampedToThePlaylist) {
  const std::string Flac = test::FlacFile(48000, 48000 * 75);
  ASSERT_TRUE(Upload(test::UploadForm("studio", "s3cret", "Last.FLAC", "99", Flac)));
  ASSERT_TRUE(Upload(test::UploadForm("studio", "s3cret", "first.flac", "0", Flac)));
  EXPECT_EQ(Titles(), (std::vector<std::string>{"first", "Artist A - Alpha", "Bravo", "Charlie", "Last"}));
  EXPECT_EQ(test::TracksOf(Get(Query("studio", "s3cret", "action=getplaylist2")))[0].at("DURATION"), "1:15");
}

TEST_F(StationSimContract, VoiceTrackNamesStayInsideTheStore) {
  const std::string Flac = test::FlacFile(44100, 44100);
  const std::pair<const char*, const char*> Names[] = {
      {"../../escape.flac", "escape.flac"},
      {"C:\\Users\\studio\\Voice\\windows.flac", "windows.flac"},
      {"/etc/absolute.flac", "absolute.flac"},
  };
  for (const auto& [Sent, Stored] : Names) {
    const auto Result = Upload(test::UploadForm("studio", "s3cret", Sent, "1", Flac));
    ASSERT_TRUE(Result);
    EXPECT_EQ(Result->body, "OK") << Sent;
    EXPECT_TRUE(QFile::exists(FStore.File(QString("store/") + Stored))) << Sent;
  }
  EXPECT_FALSE(QFile::exists(FStore.File("escape.flac")));
  EXPECT_EQ(QDir(FStore.Path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"store"});

  // A second file of the same name does not replace the first.
  ASSERT_TRUE(Upload(test::UploadForm("studio", "s3cret", "escape.flac", "1", test::FlacFile(8000, 8000))));
  EXPECT_TRUE(QFile::exists(FStore.File("store/escape (2).flac")));
  QFile First(FStore.File("store/escape.flac"));
  ASSERT_TRUE(First.open(QIODevice::ReadOnly));
  EXPECT_EQ(First.readAll().toStdString(), Flac);
}

TEST_F(StationSimContract, BadUploadsAreRefusedAndChangeNothing) {
  const std::string Flac = test::FlacFile(44100, 441000);
  const std::string Good = test::UploadForm("studio", "s3cret", "take.flac", "1", Flac);
  struct TCase {
    const char* Name;
    std::string Body;
    int Status;
    const char* Answer;
  } Cases[] = {
      {"not a FLAC", test::UploadForm("studio", "s3cret", "take.flac", "1", "RIFF....WAVEfmt "), 400,
       "The voice track is not a FLAC file"},
      {"empty file", test::UploadForm("studio", "s3cret", "take.flac", "1", ""), 400,
       "The voice track is not a FLAC file"},
      {"Base64 with raw blanks", "user=studio&pass=s3cret&action=wavenard&fn=t.flac&pos=1&vt=ZkxhQw+Zm9v",
       400, "The voice track is not valid Base64"},
      {"wrong password", test::UploadForm("studio", "nope", "take.flac", "1", Flac), 401,
       "Wrong user name or password"},
      {"no credentials", Good.substr(Good.find("&action")), 401, "Wrong user name or password"},
      {"empty name", test::UploadForm("studio", "s3cret", "", "1", Flac), 400, "Invalid file name"},
      {"dot dot", test::UploadForm("studio", "s3cret", "..", "1", Flac), 400, "Invalid file name"},
      {"folder only", test::UploadForm("studio", "s3cret", "voice/", "1", Flac), 400, "Invalid file name"},
      {"control character", test::UploadForm("studio", "s3cret", "a\nb.flac", "1", Flac), 400,
       "Invalid file name"},
      {"position not a number", test::UploadForm("studio", "s3cret", "take.flac", "two", Flac), 400,
       "Invalid position"},
      {"broken escape", "user=studio&pass=s3cret&action=wavenard&fn=t%2.flac&pos=1&vt=", 400,
       "The form is not properly encoded"},
      {"other action", "user=studio&pass=s3cret&action=delete&pos=1", 200, "Unknown action"},
  };
  for (const TCase& Case : Cases) {
    const auto Result = Upload(Case.Body);
    ASSERT_TRUE(Result) << Case.Name;
    EXPECT_EQ(Result->status, Case.Status) << Case.Name;
    EXPECT_EQ(Result->body, Case.Answer) << Case.Name;
  }
  EXPECT_EQ(Titles().size(), 3u);
  EXPECT_FALSE(QDir(FStore.File("store")).exists() &&
               !QDir(FStore.File("store")).entryList(QDir::NoDotAndDotDot | QDir::Files).isEmpty());

  const auto Wrong = FClient->Post("/", Good, "text/plain");
  ASSERT_TRUE(Wrong);
  EXPECT_EQ(Wrong->status, 400);
}

TEST_F(StationSimContract, LogsEveryRequestTargetAsItArrived) {
  const std::string Target = "/?user=studio&pass=s3cret&action=getplaylist2&x=%7E'";
  Get(Target);
  Get("/sim/faults");
  ASSERT_TRUE(Upload(test::UploadForm("studio", "s3cret", "t.flac", "1", test::FlacFile(8000, 8000))));
  EXPECT_EQ(FStation.Requests(), (std::vector<std::string>{"GET " + Target, "POST /"}));
}

}  // namespace
}  // namespace wavenard::sim
