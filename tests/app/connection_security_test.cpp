#include <gtest/gtest.h>

#include <QFile>
#include <QTest>

#include "app/connection_lock.h"
#include "app/error_report.h"
#include "app/main_form.h"
#include "app/plain_text_notice.h"
#include "config/connection_settings.h"
#include "config/pinned_keys.h"
#include "support/threads/worker_pool.h"
#include "tests/app/view_fixture.h"
#include "tests/testsupport/scripted_box_presenter.h"
#include "tests/testsupport/temp_folder.h"
#include "tests/testsupport/test_certificates.h"
#include "tools/station-sim/station_sim.h"

namespace wavenard {
namespace {

QByteArray FirstLine(const QString& AFile) {
  QFile File(AFile);
  return File.open(QIODevice::ReadOnly) ? File.readLine().trimmed() : QByteArray();
}

QStringList Texts(const QList<TBoxRequest>& ABoxes) {
  QStringList Result;
  for (const TBoxRequest& Box : ABoxes) {
    Result << Box.Text;
  }
  return Result;
}

// The window against the simulator, plain or with a certificate, trusting the test authority
// through SSL_CERT_FILE. The fixture is the window's host and keeps its pinned keys.
class ConnectionSecurity : public ::testing::Test, public TMainFrmHost {
 protected:
  static void SetUpTestSuite() { Certificates = new test::TTestCertificates(); }
  static void TearDownTestSuite() {
    delete Certificates;
    Certificates = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(Certificates->Made());
    qputenv("SSL_CERT_FILE", Certificates->File(u"ca.pem"_qs).toLocal8Bit());
    sim::TTrackList List;
    sim::TTrack Track;
    Track.Title = "Opening";
    Track.DurationMs = 5000;
    List.Append(Track);
    Station.SetPlaylist(List);
    Settings->SetUser(u"demo"_qs);
    Settings->SetPass(u"demo"_qs);
  }

  void TearDown() override {
    Form.reset();
    EXPECT_TRUE(Workers.Join(5000));
    qunsetenv("SSL_CERT_FILE");
  }

  void ReadSettings() override {}
  void SaveSettings() override {}
  void SaveSystemSettings() override {}
  void ShowSettings(QWidget*) override {}
  QString VoiceTracksFolder() const override { return {}; }
  void ReportError(const std::exception& AError) override { ShowErrorReport(Boxes, AError); }
  std::shared_ptr<TPinnedKeys> PinnedKeys() override { return Pins; }

  // Serves with ACertificate ("" for plain HTTP) and points Server at it.
  void Serve(const QString& ACertificate) {
    if (!ACertificate.isEmpty()) {
      Station.SetTls(Certificates->File(ACertificate + u".pem"_qs).toStdString(),
                     Certificates->File(ACertificate + u".key"_qs).toStdString());
    }
    ASSERT_TRUE(Station.Start());
    Settings->SetServer(ACertificate.isEmpty() ? u"127.0.0.1"_qs : u"https://127.0.0.1"_qs);
    Settings->SetPort(Station.Port());
  }

  void Open() {
    Form = std::make_unique<TMainFrm>(Settings, *this, Boxes, Workers, Dpi, u"/opt/suite/"_qs);
    Form->show();
    Settle();
  }

  // One tick, and its answer.
  void Refresh() {
    Form->tmrMainTimer();
    Settle();
  }

  void Settle() {
    ASSERT_TRUE(QTest::qWaitFor([this] { return !Form->UpdatingPlaylist(); }, 20000));
  }

  int Rows() { return Form->Playlist() ? Form->Playlist()->Count() : -1; }

  static inline test::TTestCertificates* Certificates = nullptr;
  test::TTempFolder Folder;
  std::shared_ptr<TPinnedKeys> Pins = std::make_shared<TPinnedKeys>(Folder.File(u"wavenard-pins.ini"_qs));
  sim::TStationSim Station{"demo", "demo"};
  std::shared_ptr<TSettings> Settings = std::make_shared<TSettings>();
  test::TScriptedBoxPresenter Boxes;
  TWorkerPool Workers;
  TFixedDpiSource DpiSource;
  TDpiCache Dpi{DpiSource};
  std::unique_ptr<TMainFrm> Form;
};

TEST_F(ConnectionSecurity, TheLockShowsForHttpsAndNotForPlainHttp) {
  Serve(u"server"_qs);
  Open();
  EXPECT_EQ(Rows(), 1);
  EXPECT_TRUE(Boxes.Shown().isEmpty());
  TConnectionLock& Lock = Form->ConnectionLock();
  EXPECT_TRUE(Lock.isVisible());
  EXPECT_EQ(Lock.accessibleName(), u"Encrypted connection to 127.0.0.1"_qs);

  // The Settings dialog's change shows with the next request.
  Settings->SetServer(u"HTTPS://station.example/"_qs);
  Refresh();
  EXPECT_EQ(Lock.accessibleName(), u"Encrypted connection to station.example"_qs);
  Settings->SetServer(u"localhost"_qs);
  Refresh();
  EXPECT_FALSE(Lock.isVisible());
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

TEST_F(ConnectionSecurity, PlainTextToAnotherMachineIsPointedOutOnceARun) {
  Serve(QString());
  Open();
  EXPECT_TRUE(Boxes.Shown().isEmpty());
  // Nothing listens there; the notice comes before the request all the same.
  Settings->SetServer(u"http://0.0.0.1"_qs);
  Refresh();
  Refresh();
  Settings->SetServer(u"0.0.0.2"_qs);
  Refresh();
  EXPECT_EQ(Texts(Boxes.Shown()), QStringList{QString::fromUtf16(TPlainTextNotice::Text)});
  EXPECT_FALSE(Form->ConnectionLock().isVisible());
}

TEST_F(ConnectionSecurity, AStationsOwnCertificateIsTrustedOnceAndPinned) {
  Serve(u"self-signed"_qs);
  Boxes.AnswerNext(IDYES);
  Open();
  ASSERT_EQ(Boxes.Shown().size(), 1);
  const QString Question = Boxes.Shown().front().Text;
  EXPECT_TRUE(Question.startsWith(u"The station's certificate is not trusted (self-signed certificate)."_qs));
  EXPECT_TRUE(Question.contains(u"Subject: O=Wavenard Test Station,CN=localhost"_qs));
  EXPECT_TRUE(
      Question.contains(QString::fromLatin1(FirstLine(Certificates->File(u"self-signed.fingerprint"_qs)))));
  EXPECT_TRUE(Question.contains(u"for 127.0.0.1:%1 from now on?"_qs.arg(Station.Port())));
  // Trusted: asked again at once, and answered.
  EXPECT_EQ(Rows(), 1);
  EXPECT_EQ(Pins->Find(u"127.0.0.1"_qs, Station.Port()),
            FirstLine(Certificates->File(u"self-signed.pin"_qs)));
  EXPECT_EQ(QFile::permissions(Pins->FilePath()),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
  // It holds for the next run.
  TPinnedKeys NextRun(Pins->FilePath());
  NextRun.Load();
  EXPECT_EQ(NextRun.Find(u"127.0.0.1"_qs, Station.Port()), Pins->Find(u"127.0.0.1"_qs, Station.Port()));
}

TEST_F(ConnectionSecurity, ADeclinedCertificateIsNotAskedAboutAgain) {
  Serve(u"self-signed"_qs);
  Boxes.AnswerNext(IDNO);
  Open();
  Refresh();
  EXPECT_EQ(Boxes.Shown().size(), 1);
  EXPECT_EQ(Rows(), -1);
  EXPECT_FALSE(QFile::exists(Pins->FilePath()));
  EXPECT_TRUE(Station.Requests().empty());
}

TEST_F(ConnectionSecurity, AChangedKeyIsRefusedInABoxOnceAndNeverOfferedForTrust) {
  Serve(u"self-signed"_qs);
  Pins->Pin(u"127.0.0.1"_qs, Station.Port(), FirstLine(Certificates->File(u"self-signed-2.pin"_qs)));
  const QByteArray Before = FirstLine(Pins->FilePath());
  Open();
  Refresh();
  ASSERT_EQ(Boxes.Shown().size(), 1);
  EXPECT_EQ(Boxes.Shown().front().Caption, u"Error"_qs);
  EXPECT_TRUE(Boxes.Shown().front().Text.startsWith(u"The station's certificate has changed"_qs));
  EXPECT_EQ(Pins->Find(u"127.0.0.1"_qs, Station.Port()),
            FirstLine(Certificates->File(u"self-signed-2.pin"_qs)));
  EXPECT_EQ(FirstLine(Pins->FilePath()), Before);
  EXPECT_TRUE(Station.Requests().empty());
}

}  // namespace
}  // namespace wavenard
