#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "tests/testsupport/wait_until.h"
#include "tests/tools/sim_client.h"
#include "tools/station-sim/station_sim.h"

namespace wavenard::sim {
namespace {

using test::Query;

class StationSimFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    TTrackList List;
    for (const char* Title : {"Alpha", "Bravo", "Charlie"}) {
      List.Append(TTrack{.Type = "Song", .Title = Title, .DurationMs = 180000});
    }
    FStation.SetPlaylist(List);
    ASSERT_TRUE(FStation.Start());
    FClient = test::SimClient(FStation.Port());
  }

  const std::string FPlaylist = Query("u", "p", "action=getplaylist2");
  const std::string FDelete = Query("u", "p", "action=delete&pos=1");
  TStationSim FStation{"u", "p"};
  std::unique_ptr<httplib::Client> FClient;
};

TEST_F(StationSimFaults, ADelayedAnswerComesWithTheWorkDone) {
  FStation.SetDelay(50);
  const auto Result = FClient->Get(FDelete.c_str());
  ASSERT_TRUE(Result);
  EXPECT_EQ(Result->body, "OK");
  EXPECT_EQ(FStation.Playlist().Count(), 2u);
}

// While the delay runs the request is logged, but neither the answer nor the work is done; a
// stop ends the delay at once (a bound with a wide margin: the delay would last ten minutes).
TEST_F(StationSimFaults, DelayHoldsTheAnswerAndTheWorkBackUntilStopCutsItShort) {
  FStation.SetDelay(600000);
  auto Pending = std::async(std::launch::async, [this] { return FClient->Get(FDelete.c_str()); });
  ASSERT_TRUE(test::WaitUntil([this] { return !FStation.Requests().empty(); }));
  EXPECT_EQ(Pending.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
  EXPECT_EQ(FStation.Playlist().Count(), 3u);
  const auto Start = std::chrono::steady_clock::now();
  FStation.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(30));
  Pending.wait();
  EXPECT_EQ(FStation.Playlist().Count(), 3u);
}

TEST_F(StationSimFaults, FixedStatusReplacesEveryAnswerAndDoesNothing) {
  struct TCase {
    int Status;
    bool EmptyBody;
    bool Post;
  } Cases[] = {{500, false, false}, {503, true, false}, {404, true, false},
               {204, false, false}, {500, false, true}, {401, true, true}};
  for (const TCase& Case : Cases) {
    FStation.SetStatus(Case.Status, Case.EmptyBody);
    const auto Result =
        Case.Post ? FClient->Post("/", test::UploadForm("u", "p", "t.flac", "1", test::FlacFile(8000, 8000)),
                                  "application/x-www-form-urlencoded")
                  : FClient->Get(FDelete.c_str());
    ASSERT_TRUE(Result) << Case.Status;
    EXPECT_EQ(Result->status, Case.Status);
    EXPECT_EQ(Result->body.empty(), Case.EmptyBody || Case.Status == 204)
        << Case.Status << ": " << Result->body;
  }
  FStation.SetStatus(0);
  EXPECT_EQ(FStation.Playlist().Count(), 3u);
}

TEST_F(StationSimFaults, DropBeforeAnsweringClosesWithoutAByte) {
  FStation.SetDrop(TDrop::BeforeAnswer);
  EXPECT_EQ(test::RawExchange(FStation.Port(), "GET " + FDelete + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"),
            "");
  const auto Result = FClient->Get(FPlaylist.c_str());
  EXPECT_FALSE(Result);
  // The station did its work; only the answer was lost.
  EXPECT_EQ(FStation.Playlist().Count(), 2u);
}

TEST_F(StationSimFaults, DropHalfwaySendsHeadersAndHalfTheBody) {
  FStation.SetDrop(TDrop::HalfBody);
  const std::string Full = FStation.Playlist().ToXml();
  const std::string Answer =
      test::RawExchange(FStation.Port(), "GET " + FPlaylist + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  ASSERT_EQ(Answer.rfind("HTTP/1.1 200", 0), 0u) << Answer;
  EXPECT_NE(Answer.find("Content-Length: " + std::to_string(Full.size()) + "\r\n"), std::string::npos)
      << Answer;
  const std::string Body = Answer.substr(Answer.find("\r\n\r\n") + 4);
  EXPECT_EQ(Body, Full.substr(0, Full.size() / 2));
  EXPECT_FALSE(FClient->Get(FPlaylist.c_str()));
}

TEST_F(StationSimFaults, RedirectsChainToTheSameTargetThenAnswer) {
  FStation.SetRedirects(3);
  for (int Hop = 0; Hop < 3; ++Hop) {
    const auto Result = FClient->Get(FDelete.c_str());
    ASSERT_TRUE(Result);
    EXPECT_EQ(Result->status, 302);
    EXPECT_EQ(Result->get_header_value("Location"),
              "http://127.0.0.1:" + std::to_string(FStation.Port()) + FDelete);
  }
  EXPECT_EQ(FStation.Playlist().Count(), 3u);
  EXPECT_EQ(FClient->Get(FDelete.c_str())->body, "OK");

  FClient->set_follow_location(true);
  const auto Followed = FClient->Get(FDelete.c_str());
  ASSERT_TRUE(Followed);
  EXPECT_EQ(Followed->body, "OK");
  EXPECT_EQ(FStation.Playlist().Count(), 1u);
  EXPECT_EQ(FStation.Requests().size(), 8u);
}

TEST_F(StationSimFaults, PostIsRedirectedWithStatus307) {
  FStation.SetRedirects(2);
  const std::string Form = test::UploadForm("u", "p", "t.flac", "1", test::FlacFile(8000, 8000));
  for (int Status : {307, 307, 200}) {
    const auto Result = FClient->Post("/", Form, "application/x-www-form-urlencoded");
    ASSERT_TRUE(Result);
    EXPECT_EQ(Result->status, Status);
  }
  EXPECT_EQ(FStation.Playlist().Count(), 4u);
  FStation.SetRedirects(1, 302);
  EXPECT_EQ(FClient->Post("/", Form, "application/x-www-form-urlencoded")->status, 302);
}

TEST_F(StationSimFaults, ControlPathSetsAndResetsSwitches) {
  const auto Set = FClient->Get("/sim/faults?status=502&delay_ms=5");
  ASSERT_TRUE(Set);
  EXPECT_EQ(Set->status, 200);
  EXPECT_NE(Set->body.find("status=502\n"), std::string::npos) << Set->body;
  EXPECT_EQ(FClient->Get(FPlaylist.c_str())->status, 502);

  const auto Refused = FClient->Get("/sim/faults?status=502&drop=sometimes");
  ASSERT_TRUE(Refused);
  EXPECT_EQ(Refused->status, 400);

  ASSERT_TRUE(FClient->Get("/sim/faults?reset=1&redirects=1"));
  EXPECT_EQ(FStation.Faults().Status, 0);
  EXPECT_EQ(FStation.Faults().DelayMs, 0);
  EXPECT_EQ(FClient->Get(FPlaylist.c_str())->status, 302);
  EXPECT_EQ(FStation.Requests().size(), 2u);  // control requests are not logged
}

TEST_F(StationSimFaults, SlowLinkRedirectTargetAndUploadAnswerType) {
  const auto Set = FClient->Get(
      "/sim/faults?bandwidth_kbps=1000&redirect_to=http://127.0.0.1:9&upload_content_type=text/"
      "plain%3B%20charset%3Dx-odd");
  ASSERT_TRUE(Set);
  ASSERT_EQ(Set->status, 200) << Set->body;
  for (const char* Line : {"bandwidth_kbps=1000\n", "redirect_to=http://127.0.0.1:9\n",
                           "upload_content_type=text/plain; charset=x-odd\n"}) {
    EXPECT_NE(Set->body.find(Line), std::string::npos) << Set->body;
  }
  EXPECT_EQ(FClient->Get("/sim/faults?redirect_to=127.0.0.1:9")->status, 400);

  // About 600 kB of form at 1000 kB/s.
  const std::string Form = test::UploadForm("u", "p", "t.flac", "1", test::FlacFile(8000, 8000, 450000));
  const auto Start = std::chrono::steady_clock::now();
  const auto Upload = FClient->Post("/", Form, "application/x-www-form-urlencoded");
  ASSERT_TRUE(Upload);
  EXPECT_EQ(Upload->body, "OK");
  EXPECT_EQ(Upload->get_header_value("Content-Type"), "text/plain; charset=x-odd");
  EXPECT_GE(std::chrono::steady_clock::now() - Start, std::chrono::milliseconds(500));
  EXPECT_EQ(FStation.Playlist().Count(), 4u);

  FStation.SetRedirects(1);
  const auto Moved = FClient->Get(FDelete.c_str());
  ASSERT_TRUE(Moved);
  EXPECT_EQ(Moved->status, 302);
  EXPECT_EQ(Moved->get_header_value("Location"), "http://127.0.0.1:9" + FDelete);
  EXPECT_EQ(FStation.BrokenBodies(), 0);
}

TEST_F(StationSimFaults, PlaylistInAnotherCharsetOrAsRawBody) {
  TTrackList List;
  List.Append(TTrack{.Type = "Song",
                     .Title = "Caf\xC3\xA9 \xE2\x82\xAC \xD0\xB4",
                     .DurationMs = 1000});  // e acute, euro, Cyrillic de
  FStation.SetPlaylist(List);
  ASSERT_TRUE(FStation.SetPlaylistCharset("windows-1252"));
  EXPECT_FALSE(FStation.SetPlaylistCharset("no-such-set"));
  auto Result = FClient->Get(FPlaylist.c_str());
  ASSERT_TRUE(Result);
  EXPECT_EQ(Result->get_header_value("Content-Type"), "text/xml; charset=windows-1252");
  EXPECT_NE(Result->body.find("encoding=\"windows-1252\""), std::string::npos);
  EXPECT_NE(Result->body.find("CASTTITLE=\"Caf\xE9 \x80 &#1076;\""), std::string::npos) << Result->body;

  FStation.SetPlaylistBody("OK\r\n", "text/plain");
  Result = FClient->Get(FPlaylist.c_str());
  ASSERT_TRUE(Result);
  EXPECT_EQ(Result->body, "OK\r\n");
  EXPECT_EQ(Result->get_header_value("Content-Type"), "text/plain");
  // Credentials are still checked before the canned answer.
  EXPECT_EQ(FClient->Get(Query("u", "x", "action=getplaylist2").c_str())->status, 401);
}

}  // namespace
}  // namespace wavenard::sim
