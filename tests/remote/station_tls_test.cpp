#include <gtest/gtest.h>

#include <QFile>
#include <QObject>
#include <QTest>

#include <memory>
#include <optional>

#include "config/connection_settings.h"
#include "config/pinned_keys.h"
#include "remote/request_worker.h"
#include "support/threads/hand_over.h"
#include "support/threads/worker_pool.h"
#include "tests/testsupport/temp_folder.h"
#include "tests/testsupport/test_certificates.h"
#include "tools/station-sim/station_sim.h"

namespace wavenard {
namespace {

struct TResult {
  bool Success = false;
  QString Error;
  int Rows = -1;
  std::optional<TServerCertificate> Untrusted;
  bool Changed = false;
  TRequestFailure Failure = TRequestFailure::None;
};

QByteArray FlacFile() {
  QByteArray Data("fLaC");
  Data.append(char(0x80)).append(char(0)).append(char(0)).append(char(34));
  QByteArray Info(34, '\0');
  const quint64 Packed =
      (quint64{44100} << 44) | (quint64{1} << 41) | (quint64{15} << 36) | quint64{44100 * 3};
  for (int I = 0; I < 8; ++I) {
    Info[10 + I] = char((Packed >> (56 - 8 * I)) & 0xFF);
  }
  QByteArray Audio;
  for (int I = 0; I < 300000; ++I) {
    Audio += char(I * 7 % 251);
  }
  return Data + Info + Audio;
}

QByteArray FirstLine(const QString& AFile) {
  QFile File(AFile);
  return File.open(QIODevice::ReadOnly) ? File.readLine().trimmed() : QByteArray();
}

// The client core against the simulator speaking https, trusting the test authority through
// SSL_CERT_FILE as the program would.
class StationTls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Certificates = new test::TTestCertificates(); }
  static void TearDownTestSuite() {
    delete Certificates;
    Certificates = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(Certificates->Made());
    qunsetenv("SSL_CERT_DIR");
    qputenv("SSL_CERT_FILE", Certificates->File(u"ca.pem"_qs).toLocal8Bit());
    FSettings->SetUser(u"demo"_qs);
    FSettings->SetPass(u"demo"_qs);
  }

  void TearDown() override {
    FHandOver->Close();
    EXPECT_TRUE(FWorkers.Join(5000));
    qunsetenv("SSL_CERT_FILE");
    qunsetenv("SSL_CERT_DIR");
  }

  // Starts AStation with the certificate ACertificate ("server", "expired", ...) and points the
  // settings at it under AHost.
  void Serve(sim::TStationSim& AStation, const QString& ACertificate,
             const QString& AHost = u"127.0.0.1"_qs) {
    AStation.SetTls(Certificates->File(ACertificate + u".pem"_qs).toStdString(),
                    Certificates->File(ACertificate + u".key"_qs).toStdString());
    ASSERT_TRUE(AStation.Start());
    FSettings->SetServer(u"https://"_qs + AHost);
    FSettings->SetPort(AStation.Port());
  }

  TResult Run(const std::function<void(TAPI&)>& AStart) {
    std::optional<TResult> Result;
    auto Worker = std::make_unique<TAPI>(
        FSettings, TAPICallback{FHandOver, [&](TAPI& ASender) {
                                  Result = TResult{ASender.Success(),
                                                   ASender.Error(),
                                                   ASender.Playlist() ? ASender.Playlist()->Count() : -1,
                                                   ASender.UntrustedCertificate(),
                                                   ASender.CertificateChanged(),
                                                   ASender.Failure()};
                                }});
    Worker->SetPinnedKeys(FPins);
    FWorkers.Start(std::move(Worker), AStart);
    [&] { ASSERT_TRUE(QTest::qWaitFor([&] { return Result.has_value(); }, 20000)); }();
    return Result.value_or(TResult{});
  }

  TResult Fetch() {
    return Run([](TAPI& W) { W.GetPlaylistContents(); });
  }

  static inline test::TTestCertificates* Certificates = nullptr;
  test::TTempFolder FFolder;
  std::shared_ptr<TSettings> FSettings = std::make_shared<TSettings>();
  std::shared_ptr<TPinnedKeys> FPins = std::make_shared<TPinnedKeys>(FFolder.File(u"pins"_qs));
  QObject FReceiver;
  std::shared_ptr<THandOver> FHandOver = THandOver::Create(&FReceiver);
  TWorkerPool FWorkers;
};

TEST_F(StationTls, EveryRequestGoesOverTlsToATrustedStation) {
  sim::TTrackList List;
  for (const auto& [Title, Ms] : {std::pair{"Opening", 5000}, {"News", 120000}}) {
    sim::TTrack Track;
    Track.Title = Title;
    Track.DurationMs = Ms;
    List.Append(Track);
  }
  sim::TStationSim Station("demo", "demo");
  Station.SetPlaylist(List);
  Serve(Station, u"server"_qs);

  TResult Playlist = Fetch();
  EXPECT_TRUE(Playlist.Success) << Playlist.Error.toStdString();
  EXPECT_EQ(Playlist.Rows, 2);
  EXPECT_TRUE(Run([](TAPI& W) { W.MovePlaylistTrack(1, 0); }).Success);
  EXPECT_TRUE(Run([](TAPI& W) { W.DeletePlaylistTrack(0); }).Success);
  const QString File = FFolder.Write(u"Take.flac"_qs, FlacFile());
  const TResult Insert = Run([&](TAPI& W) { W.InsertVoiceTrack(1, File); });
  EXPECT_TRUE(Insert.Success) << Insert.Error.toStdString();
  EXPECT_EQ(Station.Requests(),
            (std::vector<std::string>{"GET /?user=demo&pass=demo&action=getplaylist2",
                                      "GET /?user=demo&pass=demo&action=move&pos1=2&pos2=1",
                                      "GET /?user=demo&pass=demo&action=delete&pos=1", "POST /"}));

  // By name as well as by address, and with SSL_CERT_DIR in place of SSL_CERT_FILE.
  FSettings->SetServer(u"HTTPS://localhost/"_qs);
  qunsetenv("SSL_CERT_FILE");
  qputenv("SSL_CERT_DIR", Certificates->File(u"ca-dir"_qs).toLocal8Bit());
  Playlist = Fetch();
  EXPECT_TRUE(Playlist.Success) << Playlist.Error.toStdString();
}

// The upload's body reaches a station behind TLS exactly as it reaches a plain one.
TEST_F(StationTls, AnUploadArrivesTheSameOverTlsAsInPlainText) {
  test::TTempFolder PlainStore;
  test::TTempFolder TlsStore;
  sim::TStationSim Plain("demo", "demo");
  Plain.SetStoreFolder(PlainStore.Path().toStdString());
  ASSERT_TRUE(Plain.Start());
  sim::TStationSim Tls("demo", "demo");
  Tls.SetStoreFolder(TlsStore.Path().toStdString());
  Serve(Tls, u"server"_qs);
  const QString File = FFolder.Write(u"Ansage f\u00fcr 18 Uhr.flac"_qs, FlacFile());

  EXPECT_TRUE(Run([&](TAPI& W) { W.InsertVoiceTrack(1, File); }).Success);
  FSettings->SetServer(u"127.0.0.1"_qs);
  FSettings->SetPort(Plain.Port());
  EXPECT_TRUE(Run([&](TAPI& W) { W.InsertVoiceTrack(1, File); }).Success);

  const QString Stored = u"Ansage f\u00fcr 18 Uhr.flac"_qs;
  EXPECT_EQ(TlsStore.Read(Stored), FlacFile());
  EXPECT_EQ(TlsStore.Read(Stored), PlainStore.Read(Stored));
  EXPECT_EQ(Tls.Playlist().Count(), Plain.Playlist().Count());
}

TEST_F(StationTls, ACertificateThatFailsItsChecksIsRefusedInWords) {
  const struct {
    QString Certificate;
    QString Host;
    bool TrustAuthority;
    QString Error;
    bool MayBeTrusted;
  } Cases[] = {
      {u"self-signed"_qs, u"127.0.0.1"_qs, true,
       u"The station's certificate is not trusted (self-signed certificate)"_qs, true},
      {u"server"_qs, u"localhost"_qs, false,
       u"The station's certificate is not trusted (issued by an unknown authority)"_qs, true},
      {u"wrong-name"_qs, u"127.0.0.1"_qs, true, u"The certificate is for another name (other.example)"_qs,
       false},
      {u"expired"_qs, u"localhost"_qs, true, u"The certificate has expired"_qs, false},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Certificate.toStdString() + " at " + Case.Host.toStdString());
    if (!Case.TrustAuthority) {
      qunsetenv("SSL_CERT_FILE");
    }
    sim::TStationSim Station("demo", "demo");
    Serve(Station, Case.Certificate, Case.Host);
    const TResult Result = Fetch();
    EXPECT_FALSE(Result.Success);
    EXPECT_EQ(Result.Error.toStdString(), Case.Error.toStdString());
    EXPECT_EQ(Result.Failure, TRequestFailure::Network);
    EXPECT_EQ(Result.Untrusted.has_value(), Case.MayBeTrusted);
    // Nothing went over a connection that failed its checks: the credentials stayed here.
    EXPECT_TRUE(Station.Requests().empty());
    qputenv("SSL_CERT_FILE", Certificates->File(u"ca.pem"_qs).toLocal8Bit());
  }
}

TEST_F(StationTls, AStationsOwnCertificateIsShownAndWorksOncePinned) {
  sim::TStationSim Station("demo", "demo");
  Serve(Station, u"self-signed"_qs);
  const TResult Refused = Fetch();
  ASSERT_TRUE(Refused.Untrusted.has_value());
  const TServerCertificate& Certificate = *Refused.Untrusted;
  EXPECT_EQ(Certificate.Host, u"127.0.0.1"_qs);
  EXPECT_EQ(Certificate.Port, Station.Port());
  EXPECT_EQ(Certificate.Subject, u"O=Wavenard Test Station,CN=localhost"_qs);
  EXPECT_EQ(Certificate.Fingerprint.toLatin1(), FirstLine(Certificates->File(u"self-signed.fingerprint"_qs)));
  EXPECT_EQ(Certificate.PublicKeyPin, FirstLine(Certificates->File(u"self-signed.pin"_qs)));

  FPins->Pin(Certificate.Host, Certificate.Port, Certificate.PublicKeyPin);
  const TResult Pinned = Fetch();
  EXPECT_TRUE(Pinned.Success) << Pinned.Error.toStdString();
  EXPECT_EQ(Station.Requests().size(), 1U);

  // The pin belongs to that host and port alone.
  FSettings->SetServer(u"https://localhost"_qs);
  EXPECT_TRUE(Fetch().Untrusted.has_value());
}

TEST_F(StationTls, AChangedKeyIsRefusedAndNotOfferedAgain) {
  sim::TStationSim Station("demo", "demo");
  Serve(Station, u"self-signed"_qs);
  FPins->Pin(u"127.0.0.1"_qs, Station.Port(), FirstLine(Certificates->File(u"self-signed-2.pin"_qs)));
  const TResult Result = Fetch();
  EXPECT_FALSE(Result.Success);
  EXPECT_EQ(Result.Error,
            u"The station's certificate has changed since it was trusted; the connection was refused. "
            u"If the station really has a new certificate, remove its line from wavenard-pins.ini."_qs);
  EXPECT_EQ(Result.Failure, TRequestFailure::Network);
  EXPECT_FALSE(Result.Untrusted.has_value());
  EXPECT_TRUE(Result.Changed);
  EXPECT_TRUE(Station.Requests().empty());
}

TEST_F(StationTls, ARedirectAwayFromTheSecureStationIsRefused) {
  sim::TStationSim Plain("demo", "demo");
  ASSERT_TRUE(Plain.Start());
  sim::TStationSim Station("demo", "demo");
  Serve(Station, u"server"_qs);
  const std::string Secure = "https://127.0.0.1:" + std::to_string(Station.Port());
  const struct {
    std::string To;
    bool Followed;
  } Cases[] = {
      {"", true},  // to itself
      {"http://127.0.0.1:" + std::to_string(Plain.Port()), false},
      {"https://localhost:" + std::to_string(Station.Port()), false},
      {"https://127.0.0.1:" + std::to_string(Plain.Port()), false},
  };
  const QString File = FFolder.Write(u"Take.flac"_qs, FlacFile());
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.To);
    sim::TFaultSettings Faults;
    Faults.Redirects = 1;
    Faults.RedirectTo = Case.To;
    Station.SetFaults(Faults);
    const TResult Playlist = Fetch();
    EXPECT_EQ(Playlist.Success, Case.Followed) << Playlist.Error.toStdString();
    if (!Case.Followed) {
      const QString Location =
          QString::fromStdString(Case.To) + u"/?user=demo&pass=***&action=getplaylist2"_qs;
      EXPECT_EQ(Playlist.Error,
                u"The station redirected the request to another address (%1); it was not followed."_qs.arg(
                    Location));
    }
    EXPECT_EQ(Run([&](TAPI& W) { W.InsertVoiceTrack(1, File); }).Success, Case.Followed);
  }
  EXPECT_TRUE(Plain.Requests().empty());
}

}  // namespace
}  // namespace wavenard
