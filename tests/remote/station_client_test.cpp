#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QObject>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <map>

#include "config/connection_settings.h"
#include "config/failures.h"
#include "remote/playlist_reading.h"
#include "remote/request_worker.h"
#include "support/threads/hand_over.h"
#include "support/threads/worker_pool.h"
#include "tests/testsupport/temp_folder.h"
#include "tools/station-sim/station_sim.h"

namespace wavenard {
namespace {

struct TResult {
  bool Success = false;
  QString Error;
  QStringList Rows;  // "title|duration"
  TRequestFailure Failure = TRequestFailure::None;
};

// A minimal FLAC file: the marker and a STREAMINFO block for 44.1 kHz stereo, ASeconds long.
QByteArray FlacFile(int ASeconds) {
  QByteArray Data("fLaC");
  Data.append(char(0x80)).append(char(0)).append(char(0)).append(char(34));
  QByteArray Info(34, '\0');
  const quint64 Packed =
      (quint64{44100} << 44) | (quint64{1} << 41) | (quint64{15} << 36) | quint64(44100) * quint64(ASeconds);
  for (int I = 0; I < 8; ++I) {
    Info[10 + I] = char((Packed >> (56 - 8 * I)) & 0xFF);
  }
  return Data + Info + QByteArray(64, '\x11');
}

// Another process that holds a file open, for reading or for writing, until it is released:
// a shell with the file on descriptor 3 that waits for its input to end.
class TFileHolder {
 public:
  // Started with posix_spawn rather than QProcess: the simulator's threads are running, and
  // ThreadSanitizer does not follow a fork of a threaded process.
  TFileHolder(const QString& AFile, bool AForWriting) {
    int Out[2];
    int In[2];
    if (::pipe2(Out, O_CLOEXEC) != 0) {
      return;
    }
    if (::pipe2(In, O_CLOEXEC) != 0) {
      ::close(Out[0]);
      ::close(Out[1]);
      return;
    }
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_adddup2(&Actions, In[0], 0);
    posix_spawn_file_actions_adddup2(&Actions, Out[1], 1);
    QByteArray Script(AForWriting ? "exec 3>>\"$0\"" : "exec 3<\"$0\"");
    Script += "; echo held; read _";
    QByteArray Path = QFile::encodeName(AFile);
    QByteArray Shell("sh");
    QByteArray Command("-c");
    char* Argv[] = {Shell.data(), Command.data(), Script.data(), Path.data(), nullptr};
    const bool Started = ::posix_spawn(&FPid, "/bin/sh", &Actions, nullptr, Argv, environ) == 0;
    posix_spawn_file_actions_destroy(&Actions);
    ::close(In[0]);
    ::close(Out[1]);
    FRelease = In[1];
    if (!Started) {
      FPid = -1;
    } else {
      pollfd Ready{Out[0], POLLIN, 0};
      char Word[4] = {};
      FHolding = ::poll(&Ready, 1, 5000) == 1 && ::read(Out[0], Word, sizeof Word) == sizeof Word &&
                 std::memcmp(Word, "held", sizeof Word) == 0;
    }
    ::close(Out[0]);
  }
  ~TFileHolder() {
    // The end of its input lets the shell finish, which closes the file.
    ::close(FRelease);
    if (FPid > 0) {
      ::waitpid(FPid, nullptr, 0);
    }
  }
  TFileHolder(const TFileHolder&) = delete;
  TFileHolder& operator=(const TFileHolder&) = delete;
  bool Holding() const { return FHolding; }

 private:
  pid_t FPid = -1;
  int FRelease = -1;
  bool FHolding = false;
};

// The client core against the station simulator: every request as the window makes it.
class StationClient : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::TTrackList List;
    for (const auto& [Title, Ms] : {std::pair{"Opening", 5000}, {"Morning Song", 185000}, {"News", 120000}}) {
      sim::TTrack Track;
      Track.Title = Title;
      Track.DurationMs = Ms;
      List.Append(Track);
    }
    FStation.SetPlaylist(List);
    ASSERT_TRUE(FStation.Start());
    FSettings->SetServer("127.0.0.1");
    FSettings->SetPort(FStation.Port());
    FSettings->SetUser("demo user");
    FSettings->SetPass("s3cret&'~");
  }

  void TearDown() override {
    FHandOver->Close();
    EXPECT_TRUE(FWorkers.Join(5000));
  }

  TResult Run(const std::function<void(TAPI&)>& AStart, const THttpLimits& ALimits = {}) {
    std::optional<TResult> Result;
    auto Worker = std::make_unique<TAPI>(
        FSettings,
        TAPICallback{FHandOver,
                     [&](TAPI& ASender) {
                       TResult R{ASender.Success(), ASender.Error(), {}, ASender.Failure()};
                       if (const TPlaylist* List = ASender.Playlist()) {
                         for (int I = 0; I < List->Count(); ++I) {
                           R.Rows << List->Items(I).Title + u'|' + List->Items(I).Duration;
                         }
                       }
                       Result = R;
                     }},
        ALimits);
    FWorkers.Start(std::move(Worker), AStart);
    // Generous: a 12 MB upload under ThreadSanitizer on a loaded machine takes a while.
    [&] { ASSERT_TRUE(QTest::qWaitFor([&] { return Result.has_value(); }, 120000)); }();
    return Result.value_or(TResult{});
  }

  QStringList Fetch() {
    const TResult Result = Run([](TAPI& W) { W.GetPlaylistContents(); });
    EXPECT_TRUE(Result.Success) << Result.Error.toStdString();
    return Result.Rows;
  }

  int Posts() const {
    const auto Requests = FStation.Requests();
    return static_cast<int>(std::count_if(Requests.begin(), Requests.end(), [](const std::string& ALine) {
      return ALine.rfind("POST ", 0) == 0;
    }));
  }

  sim::TStationSim FStation{"demo user", "s3cret&'~"};
  std::shared_ptr<TSettings> FSettings = std::make_shared<TSettings>();
  QObject FReceiver;
  std::shared_ptr<THandOver> FHandOver = THandOver::Create(&FReceiver);
  TWorkerPool FWorkers;
};

TEST_F(StationClient, FetchesDeletesMovesAndInsertsLikeTheWindowDoes) {
  EXPECT_EQ(Fetch(), QStringList({"Opening|0:05", "Morning Song|3:05", "News|2:00"}));

  TResult Move = Run([](TAPI& W) { W.MovePlaylistTrack(2, 0); });
  EXPECT_TRUE(Move.Success) << Move.Error.toStdString();
  EXPECT_EQ(Fetch(), QStringList({"News|2:00", "Opening|0:05", "Morning Song|3:05"}));

  TResult Delete = Run([](TAPI& W) { W.DeletePlaylistTrack(1); });
  EXPECT_TRUE(Delete.Success) << Delete.Error.toStdString();
  EXPECT_EQ(Fetch(), QStringList({"News|2:00", "Morning Song|3:05"}));

  test::TTempFolder Folder;
  const QString File = Folder.Write(QString::fromUtf8("Ansage für 18 Uhr.flac"), FlacFile(12));
  TResult Insert = Run([&](TAPI& W) { W.InsertVoiceTrack(2, File); });
  EXPECT_TRUE(Insert.Success) << Insert.Error.toStdString();
  EXPECT_EQ(Fetch(),
            QStringList({"News|2:00", QString::fromUtf8("Ansage für 18 Uhr|0:12"), "Morning Song|3:05"}));

  const auto Requests = FStation.Requests();
  ASSERT_FALSE(Requests.empty());
  // The password holds a percent-escape, so its apostrophe goes out as it is.
  EXPECT_EQ(Requests.front(), "GET /?user=demo+user&pass=s3cret%26'%7E&action=getplaylist2");
}

TEST_F(StationClient, ShowsTheStationsOwnErrorTexts) {
  TResult BadPosition = Run([](TAPI& W) { W.DeletePlaylistTrack(40); });
  EXPECT_FALSE(BadPosition.Success);
  EXPECT_EQ(BadPosition.Error, "Invalid position");
  EXPECT_EQ(BadPosition.Failure, TRequestFailure::Station);

  FSettings->SetPass("wrong");
  TResult Denied = Run([](TAPI& W) { W.GetPlaylistContents(); });
  EXPECT_FALSE(Denied.Success);
  EXPECT_EQ(Denied.Error, "Wrong user name or password");
  EXPECT_EQ(Denied.Failure, TRequestFailure::Http);
}

TEST_F(StationClient, DecodesAnAnswerInTheCharsetItNames) {
  sim::TTrackList List;
  sim::TTrack Track;
  Track.Title = "Caf\xC3\xA9 del Mar";
  Track.DurationMs = 61000;
  List.Append(Track);
  FStation.SetPlaylist(List);
  ASSERT_TRUE(FStation.SetPlaylistCharset("iso-8859-1"));
  EXPECT_EQ(Fetch(), QStringList({QString::fromUtf8("Café del Mar|1:01")}));
}

// A big answer below the size limit is read whole; one above it is refused. Its tracks carry a
// long file name each, as real ones may, so that the rows stay within the reading's row bound.
TEST_F(StationClient, ReadsABigAnswerRefusesOneAboveTheLimitAndStopsAtANul) {
  std::string Big = "<?xml version=\"1.0\"?><PLAYLIST>";
  const std::string Track = "<TRACK ID=\"1\" TYPE=\"Song\" FILENAME=\"" + std::string(700, 'f') +
                            "\" CASTTITLE=\"Artist - Title\" DURATION=\"3:00\"/>\n";
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const size_t Megabytes = 10;  // the sanitizers make each byte many times dearer
#else
  const size_t Megabytes = 60;
#endif
  const size_t Count = (Megabytes << 20) / Track.size();
  ASSERT_LE(Count, size_t(MaxPlaylistRows));
  Big.reserve(Count * Track.size() + 64);
  for (size_t I = 0; I < Count; ++I) {
    Big += Track;
  }
  Big += "</PLAYLIST>";
  FStation.SetPlaylistBody(Big);
  const TResult Result = Run([](TAPI& W) { W.GetPlaylistContents(); });
  EXPECT_TRUE(Result.Success) << Result.Error.toStdString();
  EXPECT_EQ(size_t(Result.Rows.size()), Count);

  THttpLimits Smaller;
  Smaller.MaxAnswerBytes = static_cast<qint64>(Big.size()) - 1;
  const TResult Refused = Run([](TAPI& W) { W.GetPlaylistContents(); }, Smaller);
  EXPECT_FALSE(Refused.Success);
  EXPECT_EQ(Refused.Failure, TRequestFailure::Network);
  EXPECT_EQ(Refused.Error, "The station's answer is larger than " +
                               QLocale::c().formattedDataSize(Smaller.MaxAnswerBytes, 0) +
                               "; it was not read.");
  EXPECT_TRUE(Refused.Rows.isEmpty());

  // The scanner takes the document up to its first NUL character.
  static constexpr char WithNul[] = "<TRACK CASTTITLE=\"a\" DURATION=\"1\"/>\0<TRACK CASTTITLE=\"b\"/>";
  FStation.SetPlaylistBody(std::string(WithNul, sizeof(WithNul) - 1));
  EXPECT_EQ(Fetch(), QStringList({"a|1"}));
}

TEST_F(StationClient, AFileStillOpenElsewhereIsRefusedUntilItsHolderClosesIt) {
  test::TTempFolder Folder;
  const QString File = Folder.Write(u"take 1.flac"_qs, FlacFile(3));
  for (const bool Writing : {true, false}) {
    SCOPED_TRACE(Writing ? "held open for writing" : "held open for reading");
    {
      TFileHolder Holder(File, Writing);
      ASSERT_TRUE(Holder.Holding());
      const std::unique_ptr<TAPI> Worker(new TAPI(FSettings, TAPICallback{FHandOver, [](TAPI&) {}}));
      try {
        Worker->InsertVoiceTrack(2, File);
        ADD_FAILURE() << "a file held open elsewhere was sent";
      } catch (const EFileFailure& E) {
        EXPECT_EQ(E.Message(),
                  u"Cannot open file \"%1\". The file is being used by another program"_qs.arg(File));
      }
    }
    EXPECT_EQ(Posts(), Writing ? 0 : 1) << "nothing is sent while the file is held";
    const TResult Sent = Run([&](TAPI& W) { W.InsertVoiceTrack(2, File); });
    EXPECT_TRUE(Sent.Success) << Sent.Error.toStdString();
  }
  EXPECT_EQ(Posts(), 2);
  EXPECT_EQ(Fetch().size(), 5);
}

TEST_F(StationClient, AnUploadOverASlowLinkReportsItsProgressUpToTheWhole) {
  test::TTempFolder Folder;
  const QString File = Folder.Write(u"long take.flac"_qs, FlacFile(3) + QByteArray(12 << 20, '\x5A'));
  sim::TFaultSettings Faults;
  Faults.BandwidthKBps = 8000;
  FStation.SetFaults(Faults);
  const auto Upload = std::make_shared<TUploadState>();
  std::vector<qint64> Seen;
  QTimer Sampler;
  QObject::connect(&Sampler, &QTimer::timeout, [&] {
    if (Seen.empty() || Seen.back() != Upload->Sent) {
      Seen.push_back(Upload->Sent);
    }
  });
  Sampler.start(50);
  const TResult Result = Run([&](TAPI& W) {
    W.SetUploadState(Upload);
    W.InsertVoiceTrack(1, File);
  });
  EXPECT_TRUE(Result.Success) << Result.Error.toStdString();
  EXPECT_GT(Upload->Total, qint64{12 << 20});
  EXPECT_EQ(Upload->Sent, Upload->Total);
  EXPECT_TRUE(std::is_sorted(Seen.begin(), Seen.end()));
  EXPECT_GE(Seen.size(), size_t{3}) << "the progress rises in steps while the body goes out";
  EXPECT_EQ(Fetch().value(0), "long take|0:03");
}

TEST_F(StationClient, ACancelledUploadEndsAtOnceAndInsertsNothing) {
  test::TTempFolder Folder;
  const QString File = Folder.Write(u"take 2.flac"_qs, FlacFile(3) + QByteArray(8 << 20, '\x5A'));
  sim::TFaultSettings Faults;
  Faults.BandwidthKBps = 500;
  FStation.SetFaults(Faults);
  const auto Upload = std::make_shared<TUploadState>();
  std::optional<TResult> Result;
  auto Worker = std::make_unique<TAPI>(
      FSettings, TAPICallback{FHandOver, [&](TAPI& ASender) {
                                Result = TResult{ASender.Success(), ASender.Error(), {}, ASender.Failure()};
                              }});
  Worker->SetUploadState(Upload);
  FWorkers.Start(std::move(Worker), [&](TAPI& AWorker) { AWorker.InsertVoiceTrack(1, File); });
  ASSERT_TRUE(QTest::qWaitFor([&] { return Upload->Sent > 0; }, 10000));
  QElapsedTimer Clock;
  Clock.start();
  ASSERT_TRUE(Upload->Cancel());
  ASSERT_TRUE(QTest::qWaitFor([&] { return Result.has_value(); }, 10000));
  EXPECT_LT(Clock.elapsed(), 1000);
  EXPECT_FALSE(Result->Success);
  EXPECT_EQ(Result->Error, "The upload was cancelled.");
  EXPECT_EQ(Result->Failure, TRequestFailure::Cancelled);
  EXPECT_LT(Upload->Sent, Upload->Total);
  // The station reads what is left at full speed and finds the body broken off.
  FStation.SetFaults({});
  ASSERT_TRUE(QTest::qWaitFor([&] { return FStation.BrokenBodies() == 1; }, 10000));
  EXPECT_EQ(Fetch().size(), 3) << "nothing was inserted";
}

TEST_F(StationClient, AnAcceptedUploadSucceedsWhateverTheAnswersCharset) {
  sim::TFaultSettings Faults;
  Faults.UploadContentType = "text/plain; charset=x-no-such-set";
  FStation.SetFaults(Faults);
  test::TTempFolder Folder;
  const QString File = Folder.Write(u"take 3.flac"_qs, FlacFile(4));
  const TResult Insert = Run([&](TAPI& W) { W.InsertVoiceTrack(1, File); });
  EXPECT_TRUE(Insert.Success) << Insert.Error.toStdString();
  EXPECT_TRUE(Insert.Error.isEmpty());
  EXPECT_EQ(Fetch(), QStringList({"take 3|0:04", "Opening|0:05", "Morning Song|3:05", "News|2:00"}));
}

TEST_F(StationClient, AnUploadRedirectedToAnotherStationIsNotSentThere) {
  sim::TStationSim Other{"demo user", "s3cret&'~"};
  ASSERT_TRUE(Other.Start());
  sim::TFaultSettings Faults;
  Faults.Redirects = 1;
  Faults.RedirectTo = Other.BaseUrl();
  FStation.SetFaults(Faults);
  test::TTempFolder Folder;
  const QString File = Folder.Write(u"take 4.flac"_qs, FlacFile(4));
  const TResult Insert = Run([&](TAPI& W) { W.InsertVoiceTrack(1, File); });
  EXPECT_FALSE(Insert.Success);
  EXPECT_EQ(Insert.Error,
            u"The station redirected the upload to another address (%1/); the voice track was not "
            "sent there."_qs.arg(QString::fromStdString(Other.BaseUrl())));
  EXPECT_TRUE(Other.Requests().empty()) << "the other server received nothing";
  FStation.SetFaults({});
  EXPECT_EQ(Fetch().size(), 3);
}

TEST_F(StationClient, FiftyEditsAtOnceEachDeliverExactlyOneCallback) {
  sim::TTrackList List;
  for (int I = 0; I < 60; ++I) {
    sim::TTrack Track;
    Track.Title = "Song " + std::to_string(I);
    Track.DurationMs = 60000;
    List.Append(Track);
  }
  FStation.SetPlaylist(List);
  std::map<const TAPI*, int> Callbacks;
  int Succeeded = 0;
  for (int I = 0; I < 50; ++I) {
    FWorkers.Start(std::make_unique<TAPI>(FSettings, TAPICallback{FHandOver,
                                                                  [&](TAPI& ASender) {
                                                                    ++Callbacks[&ASender];
                                                                    Succeeded += ASender.Success() ? 1 : 0;
                                                                  }}),
                   [](TAPI& AWorker) { AWorker.DeletePlaylistTrack(0); });
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return Callbacks.size() == size_t{50}; }, 20000));
  EXPECT_TRUE(FWorkers.Join(5000));
  QCoreApplication::processEvents();
  for (const auto& [Worker, Count] : Callbacks) {
    EXPECT_EQ(Count, 1);
  }
  EXPECT_EQ(Succeeded, 50);
  EXPECT_EQ(Fetch().size(), 10);
}

}  // namespace
}  // namespace wavenard
