#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QObject>
#include <QTest>

#include "config/connection_settings.h"
#include "remote/request_worker.h"
#include "remote/upload_body.h"
#include "support/threads/hand_over.h"
#include "support/threads/worker_pool.h"
#include "support/version.h"
#include "tests/testsupport/raw_http_server.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

using test::TRawHttpServer;
using test::TRawReply;
using namespace std::chrono_literals;

constexpr THttpLimits ShortLimits{2000ms, 500ms};

// What the receiver saw in one callback.
struct TResult {
  bool Success = false;
  QString Error;
  bool HasPlaylist = false;
  QStringList Rows;  // "title|duration"
  TRequestFailure Failure = TRequestFailure::None;
};

class RequestWorker : public ::testing::Test {
 protected:
  void SetUp() override {
    FSettings->SetServer(u"127.0.0.1"_qs);
    FSettings->SetUser(u"a b"_qs);
    FSettings->SetPass(u"x&y"_qs);
  }

  void TearDown() override {
    FHandOver->Close();
    EXPECT_TRUE(FWorkers.Join(5000));
  }

  std::unique_ptr<TAPI> NewWorker(const THttpLimits& ALimits = ShortLimits) {
    TAPICallback Callback{
        FHandOver, [this](TAPI& ASender) {
          TResult Result{
              ASender.Success(), ASender.Error(), ASender.Playlist() != nullptr, {}, ASender.Failure()};
          if (const TPlaylist* Playlist = ASender.Playlist()) {
            for (int I = 0; I < Playlist->Count(); ++I) {
              Result.Rows << Playlist->Items(I).Title + u'|' + Playlist->Items(I).Duration;
            }
          }
          FResults.push_back(Result);
        }};
    return std::make_unique<TAPI>(FSettings, std::move(Callback), ALimits);
  }

  // Starts one worker with AStart against AServer and returns its one result.
  TResult Run(const TRawHttpServer* AServer, const std::function<void(TAPI&)>& AStart,
              const THttpLimits& ALimits = ShortLimits) {
    if (AServer != nullptr) {
      FSettings->SetPort(AServer->Port());
    }
    FResults.clear();
    FWorkers.Start(NewWorker(ALimits), AStart);
    [&] { ASSERT_TRUE(QTest::qWaitFor([&] { return FResults.size() == size_t{1}; }, 5000)); }();
    EXPECT_TRUE(FWorkers.Join(5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(FResults.size(), size_t{1}) << "one callback per worker";
    return FResults.empty() ? TResult() : FResults.front();
  }

  std::shared_ptr<TSettings> FSettings = std::make_shared<TSettings>();
  QObject FReceiver;
  std::shared_ptr<THandOver> FHandOver = THandOver::Create(&FReceiver);
  TWorkerPool FWorkers;
  std::vector<TResult> FResults;
  test::TTempFolder FFolder;
};

const QByteArray UserAgent = "User-Agent: Wavenard/" WAVENARD_VERSION;

TEST_F(RequestWorker, SendsExactlyTheRequestOfEachOperation) {
  const QString Take = FFolder.Write(u"take 1.flac"_qs, "fLaC");
  const struct {
    QString User;
    QString Pass;
    std::function<void(TAPI&)> Start;
    QList<QByteArray> Head;  // request line, then the headers sorted; "PORT" stands for the port
    QByteArray Body;
  } Cases[] = {
      {u"a b"_qs,
       u"x&y"_qs,
       [](TAPI& A) { A.GetPlaylistContents(); },
       {"GET /?user=a+b&pass=x%26y&action=getplaylist2 HTTP/1.1", "Host: 127.0.0.1:PORT", UserAgent},
       ""},
      {u"o'k"_qs,
       u"\u00E9'"_qs,
       [](TAPI& A) { A.GetPlaylistContents(); },
       {"GET /?user=o%27k&pass=%C3%A9'&action=getplaylist2 HTTP/1.1", "Host: 127.0.0.1:PORT", UserAgent},
       ""},
      {u"~"_qs,
       u""_qs,
       [](TAPI& A) { A.DeletePlaylistTrack(0); },
       {"GET /?user=%7E&pass=&action=delete&pos=1 HTTP/1.1", "Host: 127.0.0.1:PORT", UserAgent},
       ""},
      {u"a b"_qs,
       u"x&y"_qs,
       [](TAPI& A) { A.MovePlaylistTrack(3, 0); },
       {"GET /?user=a+b&pass=x%26y&action=move&pos1=4&pos2=1 HTTP/1.1", "Host: 127.0.0.1:PORT", UserAgent},
       ""},
      {u"studio"_qs,
       u""_qs,
       [&](TAPI& A) { A.InsertVoiceTrack(3, Take); },
       {"POST / HTTP/1.1", "Content-Length: 70", "Content-Type: application/x-www-form-urlencoded",
        "Host: 127.0.0.1:PORT", UserAgent},
       "user=studio&pass=&action=wavenard&fn=take+1.flac&pos=3&vt=ZkxhQw%3D%3D"},
  };
  for (const auto& Case : Cases) {
    TRawHttpServer Server([](const QByteArray&) { return TRawReply::Answer(200, "OK", "OK"); });
    FSettings->SetUser(Case.User);
    FSettings->SetPass(Case.Pass);
    EXPECT_TRUE(Run(&Server, Case.Start).Success);
    ASSERT_EQ(Server.Requests().size(), 1);
    QList<QByteArray> Expected = Case.Head;
    for (QByteArray& Line : Expected) {
      Line.replace("PORT", QByteArray::number(Server.Port()));
    }
    EXPECT_EQ(test::RequestHead(Server.Requests()[0]).join('\n').toStdString(),
              Expected.join('\n').toStdString());
    EXPECT_EQ(test::RequestBody(Server.Requests()[0]).toStdString(), Case.Body.toStdString());
  }
}

TEST_F(RequestWorker, InterpretsTheAnswerByKindOfRequest) {
  const QString Take = FFolder.Write(u"take.flac"_qs, "fLaC");
  const auto Playlist = [](TAPI& A) { A.GetPlaylistContents(); };
  const auto Delete = [](TAPI& A) { A.DeletePlaylistTrack(2); };
  const auto Move = [](TAPI& A) { A.MovePlaylistTrack(0, 1); };
  const auto Insert = [&](TAPI& A) { A.InsertVoiceTrack(2, Take); };
  const QByteArray Tracks = R"(<?xml version="1.0"?><PLAYLIST><TRACK CASTTITLE="News" DURATION="3:00"/>)"
                            R"(<TRACK CASTTITLE="Caf&#233;" DURATION="1:00"/></PLAYLIST>)";
  const struct {
    const char* What;
    std::function<void(TAPI&)> Start;
    TRawReply Reply;
    bool Success;
    QString Error;
    bool HasPlaylist;
    QStringList Rows;
    TRequestFailure Failure = TRequestFailure::None;
  } Cases[] = {
      {"playlist with tracks",
       Playlist,
       TRawReply::Answer(200, "OK", Tracks, "text/xml"),
       true,
       u""_qs,
       true,
       {u"News|3:00"_qs, u"Café|1:00"_qs}},
      {"playlist without tracks",
       Playlist,
       TRawReply::Answer(200, "OK", "<PLAYLIST/>", "text/xml"),
       true,
       u""_qs,
       true,
       {}},
      {"playlist in Latin-1",
       Playlist,
       TRawReply::Answer(200, "OK", "<TRACK CASTTITLE=\"\xE9t\xE9\" DURATION=\"1\"/>",
                         "text/xml; charset=iso-8859-1"),
       true,
       u""_qs,
       true,
       {u"\u00E9t\u00E9|1"_qs}},
      {"delete OK", Delete, TRawReply::Answer(200, "OK", "OK"), true, u""_qs, false, {}},
      {"delete OK and a line break",
       Delete,
       TRawReply::Answer(200, "OK", "OK\r\n"),
       false,
       u"OK\r\n"_qs,
       false,
       {},
       TRequestFailure::Station},
      {"move OK", Move, TRawReply::Answer(200, "OK", "OK"), true, u""_qs, false, {}},
      {"move refused",
       Move,
       TRawReply::Answer(200, "OK", "No such row"),
       false,
       u"No such row"_qs,
       false,
       {},
       TRequestFailure::Station},
      {"500 with a body",
       Playlist,
       TRawReply::Answer(500, "Internal Server Error", "Database down"),
       false,
       u"Database down"_qs,
       false,
       {},
       TRequestFailure::Http},
      {"500 without a body",
       Delete,
       TRawReply::Answer(500, "Internal Server Error", ""),
       false,
       u"500 Internal Server Error"_qs,
       false,
       {},
       TRequestFailure::Http},
      {"upload with any answer",
       Insert,
       TRawReply::Answer(200, "OK", "stored, thanks"),
       true,
       u""_qs,
       true,
       {}},
      {"upload accepted in an unknown character set",
       Insert,
       TRawReply::Answer(200, "OK", "stored", "text/plain; charset=x-no-such-set"),
       true,
       u""_qs,
       true,
       {}},
      {"upload answered with a playlist",
       Insert,
       TRawReply::Answer(200, "OK", Tracks, "text/xml"),
       true,
       u""_qs,
       true,
       {}},
      {"upload refused",
       Insert,
       TRawReply::Answer(403, "Forbidden", "Wrong password"),
       false,
       u"Wrong password"_qs,
       false,
       {},
       TRequestFailure::Http},
      {"error text without charset",
       Delete,
       TRawReply::Answer(200, "OK", "caf\xC3\xA9", "text/plain"),
       false,
       u"café"_qs,
       false,
       {},
       TRequestFailure::Station},
      {"error text in UTF-8 any case",
       Delete,
       TRawReply::Answer(200, "OK", "caf\xC3\xA9", "text/plain; charset=Utf-8"),
       false,
       u"café"_qs,
       false,
       {},
       TRequestFailure::Station},
      {"error text quoted charset",
       Delete,
       TRawReply::Answer(200, "OK", "caf\xC3\xA9", "text/plain; charset=\"UTF-8\""),
       false,
       u"café"_qs,
       false,
       {},
       TRequestFailure::Station},
      {"error text in Latin-1",
       Delete,
       TRawReply::Answer(500, "Oops", "caf\xE9", "text/plain; charset=ISO-8859-1"),
       false,
       u"café"_qs,
       false,
       {},
       TRequestFailure::Http},
      {"unknown charset",
       Playlist,
       TRawReply::Answer(200, "OK", Tracks, "text/xml; charset=x-martian"),
       false,
       u"The station's answer is in an unknown character set (\"x-martian\")."_qs,
       false,
       {},
       TRequestFailure::Station},
      {"station never answers",
       Playlist,
       TRawReply::Silence(),
       false,
       u"The station did not answer in time."_qs,
       false,
       {},
       TRequestFailure::Network},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.What);
    TRawHttpServer Server([&](const QByteArray&) { return Case.Reply; });
    const TResult Result = Run(&Server, Case.Start);
    EXPECT_EQ(Result.Success, Case.Success);
    EXPECT_EQ(Result.Error, Case.Error);
    EXPECT_EQ(Result.Failure, Case.Failure);
    EXPECT_EQ(Result.HasPlaylist, Case.HasPlaylist);
    EXPECT_EQ(Result.Rows, Case.Rows);
  }
}

TEST_F(RequestWorker, ReportsAMissingOrUnusableServerWithoutSendingAnything) {
  TRawHttpServer Server([](const QByteArray&) { return TRawReply::Answer(200, "OK", "OK"); });
  const QString Port = QString::number(Server.Port());
  const struct {
    QString Server;
    QString Error;
    TRequestFailure Failure;
  } Cases[] = {
      {u""_qs, u"Connection not configured. Please open Settings."_qs, TRequestFailure::NotConfigured},
      {u"127.0.0.1:"_qs + Port,
       u"Invalid URL: \"http://127.0.0.1:%1:%1/?user=a+b&pass=***&action=delete&pos=1\""_qs.arg(Port),
       TRequestFailure::Network},
  };
  for (const auto& Case : Cases) {
    FSettings->SetServer(Case.Server);
    const TResult Result = Run(&Server, [](TAPI& A) { A.DeletePlaylistTrack(0); });
    EXPECT_FALSE(Result.Success);
    EXPECT_EQ(Result.Error, Case.Error);
    EXPECT_EQ(Result.Failure, Case.Failure);
  }
  EXPECT_TRUE(Server.Requests().isEmpty());
}

// A station that keeps sending blanks, fast enough for the speed rule, is given up at the
// deadline, whatever the request; the upload's budget grows with its body instead.
TEST_F(RequestWorker, AnAnswerThatGoesOnAndOnIsGivenUpAtTheDeadline) {
  const QString GivenUp = u"The station's answer took too long; the request was given up."_qs;
  // 2 KiB/s, the drip of a faulty station, without end.
  TRawHttpServer Endless([](const QByteArray&) { return TRawReply::Dripping(QByteArray(205, ' '), 100ms); });
  // A refusal that never ends; an upload whose station said yes is taken however its answer
  // goes on, so only a refusal shows the upload's own deadline.
  TRawHttpServer EndlessRefusal([](const QByteArray&) {
    return TRawReply::Dripping(QByteArray(205, ' '), 100ms, -1, "503 Service Unavailable");
  });
  // The same pace, whole after about a second.
  TRawHttpServer Slow([](const QByteArray&) { return TRawReply::Dripping(QByteArray(205, ' '), 100ms, 12); });
  const QString Take = FFolder.Write(u"take.flac"_qs, QByteArray(3000, 'f'));
  THttpLimits Limits = ShortLimits;
  Limits.Deadline = 600ms;
  Limits.UploadDeadline = 600ms;
  // The form is about 4 KB: at this rate its budget is some 40 s more.
  Limits.UploadBytesPerSecond = 100;
  THttpLimits Tight = Limits;
  Tight.UploadBytesPerSecond = qint64(1) << 40;
  const struct {
    const char* Name;
    const TRawHttpServer* Server;
    std::function<void(TAPI&)> Start;
    THttpLimits Limits;
    bool Success;
  } Cases[] = {
      {"playlist", &Endless, [](TAPI& A) { A.GetPlaylistContents(); }, Limits, false},
      {"delete", &Endless, [](TAPI& A) { A.DeletePlaylistTrack(0); }, Limits, false},
      {"move", &Endless, [](TAPI& A) { A.MovePlaylistTrack(1, 2); }, Limits, false},
      {"playlist that ends after the deadline", &Slow, [](TAPI& A) { A.GetPlaylistContents(); }, Limits,
       false},
      {"upload within its budget", &Slow, [&](TAPI& A) { A.InsertVoiceTrack(1, Take); }, Limits, true},
      {"upload past its budget", &EndlessRefusal, [&](TAPI& A) { A.InsertVoiceTrack(1, Take); }, Tight,
       false},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const TResult Result = Run(Case.Server, Case.Start, Case.Limits);
    EXPECT_EQ(Result.Success, Case.Success);
    EXPECT_EQ(Result.Error, Case.Success ? QString() : GivenUp);
    EXPECT_EQ(Result.Failure, Case.Success ? TRequestFailure::None : TRequestFailure::Network);
  }
}

TEST_F(RequestWorker, TheReceiverTakesThePlaylistOver) {
  TRawHttpServer Server([](const QByteArray&) {
    return TRawReply::Answer(200, "OK", R"(<TRACK CASTTITLE="A" DURATION="1"/>)", "text/xml");
  });
  FSettings->SetPort(Server.Port());
  std::unique_ptr<TPlaylist> Taken;
  FWorkers.Start(
      std::make_unique<TAPI>(FSettings,
                             TAPICallback{FHandOver, [&](TAPI& ASender) { Taken = ASender.TakePlaylist(); }},
                             ShortLimits),
      [](TAPI& AWorker) { AWorker.GetPlaylistContents(); });
  ASSERT_TRUE(QTest::qWaitFor([&] { return Taken != nullptr; }, 5000));
  EXPECT_TRUE(FWorkers.Join(5000));
  EXPECT_EQ(Taken->Count(), 1);
  EXPECT_EQ(Taken->Items(0).Title, u"A"_qs);
}

TEST_F(RequestWorker, AnUnreadableFileStartsNoWorker) {
  TRawHttpServer Server([](const QByteArray&) { return TRawReply::Answer(200, "OK", "OK"); });
  FSettings->SetPort(Server.Port());
  const QString Missing = FFolder.File(u"gone.flac"_qs);
  try {
    FWorkers.Start(NewWorker(), [&](TAPI& AWorker) {
      AWorker.InsertVoiceTrack(1, Missing);
      ADD_FAILURE() << "no file failure";
    });
  } catch (const EFileFailure& E) {
    EXPECT_EQ(E.Message(), u"Cannot open file \"%1\". No such file or directory"_qs.arg(Missing));
  }
  // No worker is left that could still call back, and no call back is queued.
  EXPECT_TRUE(FWorkers.Join(0));
  QCoreApplication::processEvents();
  EXPECT_TRUE(FResults.empty());
  EXPECT_TRUE(Server.Requests().isEmpty());
}

// Closing the receiver while a worker waits for a station that never answers: the worker ends
// at once, delivers nothing, and the record it read stays alive for as long as it runs.
TEST_F(RequestWorker, ClosingTheReceiverEndsAWaitingWorkerWithoutACallback) {
  TRawHttpServer Server([](const QByteArray&) { return TRawReply::Silence(); });
  FSettings->SetPort(Server.Port());
  FWorkers.Start(NewWorker(THttpLimits{}), [](TAPI& AWorker) { AWorker.GetPlaylistContents(); });
  ASSERT_TRUE(QTest::qWaitFor([&] { return Server.Requests().size() == 1; }, 5000));
  FSettings.reset();
  QElapsedTimer Timer;
  Timer.start();
  FHandOver->Close();
  EXPECT_TRUE(FWorkers.Join(1000));
  EXPECT_LT(Timer.elapsed(), 1000);
  QCoreApplication::processEvents();
  EXPECT_TRUE(FResults.empty());
}

}  // namespace
}  // namespace wavenard
