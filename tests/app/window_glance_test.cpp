#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

#include "app/error_report.h"
#include "app/live_indicator.h"
#include "app/main_form.h"
#include "app/status_panel.h"
#include "app/virtual_tree_playlist.h"
#include "config/connection_settings.h"
#include "support/threads/worker_pool.h"
#include "tests/app/view_fixture.h"
#include "tests/testsupport/raw_http_server.h"
#include "tests/testsupport/scripted_box_presenter.h"
#include "tests/testsupport/temp_folder.h"
#include "tools/station-sim/station_sim.h"

namespace wavenard {
namespace {

sim::TTrackList Tracks(int ACount) {
  sim::TTrackList List;
  for (int I = 0; I < ACount; ++I) {
    sim::TTrack Track;
    Track.Title = "Track " + std::to_string(I + 1);
    Track.DurationMs = 60000;
    List.Append(Track);
  }
  return List;
}

bool WaitFor(const std::function<bool()>& ACondition, int ATimeout = 10000) {
  return QTest::qWaitFor(ACondition, ATimeout);
}

TEST(LiveIndicatorTest, SaysWhetherTheListIsLive) {
  TLiveIndicator Indicator;
  QSignalSpy Stale(&Indicator, &TLiveIndicator::StaleChanged);
  EXPECT_EQ(Indicator.State(), TLiveIndicator::TState::None);
  EXPECT_EQ(Indicator.Text(), "");

  Indicator.RefreshStarted();
  ASSERT_TRUE(WaitFor([&] { return Indicator.State() == TLiveIndicator::TState::Waiting; }));
  EXPECT_EQ(Indicator.Text(), QString::fromUtf8("Waiting for the station…"));

  Indicator.RefreshSucceeded(QTime(19, 4, 5));
  EXPECT_EQ(Indicator.Text(), QString::fromUtf8("Live · updated 19:04:05"));
  EXPECT_EQ(Indicator.accessibleName(), "Live, updated 19:04:05");
  EXPECT_FALSE(Indicator.Stale());

  // Failures in a row keep the time of the first.
  Indicator.RefreshStarted();
  Indicator.RefreshFailed(QTime(19, 3, 40));
  Indicator.RefreshStarted();
  Indicator.RefreshFailed(QTime(19, 3, 45));
  EXPECT_EQ(Indicator.Text(), "Station unreachable since 19:03:40: the list may be out of date");
  EXPECT_EQ(Indicator.accessibleName(), Indicator.Text());
  EXPECT_TRUE(Indicator.Stale());
  ASSERT_EQ(Stale.size(), 1);
  EXPECT_EQ(Stale.at(0).at(0).toBool(), true);

  // A slow refresh of a stale list still says since when it is stale.
  Indicator.RefreshStarted();
  QTest::qWait(TLiveIndicator::WaitingDelay + 500);
  EXPECT_EQ(Indicator.State(), TLiveIndicator::TState::Unreachable);

  Indicator.RefreshSucceeded(QTime(19, 5, 0));
  EXPECT_EQ(Indicator.Text(), QString::fromUtf8("Live · updated 19:05:00"));
  ASSERT_EQ(Stale.size(), 2);
  EXPECT_EQ(Stale.at(1).at(0).toBool(), false);
  // A quick answer never shows the wait.
  Indicator.RefreshStarted();
  Indicator.RefreshSucceeded(QTime(19, 5, 5));
  QTest::qWait(TLiveIndicator::WaitingDelay + 500);
  EXPECT_EQ(Indicator.State(), TLiveIndicator::TState::Live);
}

// The window as its host: a station, and the file that keeps the window's place.
class WindowGlanceTest : public ::testing::Test, public TMainFrmHost {
 protected:
  void SetUp() override {
    Station.SetPlaylist(Tracks(10));
    ASSERT_TRUE(Station.Start());
    Settings->SetServer(QStringLiteral("127.0.0.1"));
    Settings->SetPort(Station.Port());
    Settings->SetUser(QStringLiteral("demo"));
    Settings->SetPass(QStringLiteral("demo"));
  }
  void TearDown() override {
    Form.reset();
    EXPECT_TRUE(Workers.Join(5000));
  }

  void ReadSettings() override {}
  void SaveSettings() override {}
  void SaveSystemSettings() override {}
  void ShowSettings(QWidget*) override {}
  QString VoiceTracksFolder() const override { return Folder.Path(); }
  void ReportError(const std::exception& AError) override { ShowErrorReport(Boxes, AError); }
  QString WindowStateFile() const override { return Folder.File(QStringLiteral("wavenard-window.ini")); }

  void Open() {
    Form = std::make_unique<TMainFrm>(Settings, *this, Boxes, Workers, Dpi, Folder.Path());
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    ASSERT_TRUE(WaitFor([this] { return !Form->UpdatingPlaylist(); }));
  }
  void Refresh() {
    Form->tmrMainTimer();
    ASSERT_TRUE(WaitFor([this] { return !Form->UpdatingPlaylist(); }));
  }
  QColor RowTextColor() { return Form->lvPlaylist().palette().color(QPalette::Active, QPalette::Text); }
  QHeaderView& Header() { return *Form->lvPlaylist().header(); }
  int Width(int AColumn) { return Header().sectionSize(AColumn); }
  // Lets the window take a new size and lay out its list.
  void Resize(int AWidth, int AHeight) {
    Form->resize(AWidth, AHeight);
    ASSERT_TRUE(WaitFor([&] { return Form->width() == AWidth; }));
    QCoreApplication::processEvents();
  }
  int ListWidth() { return Form->lvPlaylist().width(); }

  sim::TStationSim Station{"demo", "demo"};
  std::shared_ptr<TSettings> Settings = std::make_shared<TSettings>();
  test::TScriptedBoxPresenter Boxes;
  TWorkerPool Workers;
  TFixedDpiSource DpiSource;
  TDpiCache Dpi{DpiSource};
  test::TTempFolder Folder;
  std::unique_ptr<TMainFrm> Form;
};

TEST_F(WindowGlanceTest, TheIndicatorFollowsTheRefreshesAndAStaleListIsMuted) {
  Open();
  const QColor Live = RowTextColor();
  EXPECT_EQ(Form->LiveIndicator().State(), TLiveIndicator::TState::Live);
  EXPECT_TRUE(Form->LiveIndicator().isVisibleTo(Form.get()));
  EXPECT_EQ(Form->StatusPanel().Status(), "");
  QSignalSpy Announced(&Form->StatusPanel(), &TStatusPanel::Announced);

  Station.SetStatus(500);
  Refresh();
  EXPECT_EQ(Form->LiveIndicator().State(), TLiveIndicator::TState::Unreachable);
  // The panel keeps the failure's own text.
  EXPECT_NE(Form->StatusPanel().Status(), "");
  EXPECT_FALSE(Form->StatusPanel().Status().startsWith("Station unreachable"));
  EXPECT_NE(RowTextColor(), Live);

  // At the starting size the panel's text keeps its room; the indicator's own is cut short.
  Settings->SetServer(QString());
  Refresh();
  EXPECT_EQ(Form->StatusPanel().text(), "Connection not configured. Please open Settings.");
  EXPECT_LE(Form->LiveIndicator().width(), Form->statusBar()->width() * 2 / 5);
  EXPECT_TRUE(Form->LiveIndicator().toolTip().startsWith("Station unreachable since "));
  Resize(1200, Form->height());
  EXPECT_EQ(Form->LiveIndicator().width(), Form->LiveIndicator().sizeHint().width())
      << "whole when there is room";

  Settings->SetServer(QStringLiteral("127.0.0.1"));
  Station.SetFaults({});
  Refresh();
  EXPECT_EQ(Form->LiveIndicator().State(), TLiveIndicator::TState::Live);
  EXPECT_EQ(RowTextColor(), Live);
  ASSERT_FALSE(Announced.isEmpty());
  EXPECT_TRUE(Announced.last().at(0).toString().startsWith("Live, updated "));
}

TEST_F(WindowGlanceTest, AnAnswerWithoutRowsIsTold) {
  Open();
  const QByteArray Page = "<html><body><h1>Maintenance</h1></body></html>";
  struct TCase {
    const char* Name;
    std::function<void()> Serve;
  };
  test::TRawHttpServer Html(
      [&](const QByteArray&) { return test::TRawReply::Answer(200, "OK", Page, "text/html"); });
  const TCase Cases[] = {
      {"empty playlist", [&] { Station.SetPlaylist({}); }},
      {"a page instead of a playlist", [&] { Settings->SetPort(Html.Port()); }},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Station.SetPlaylist(Tracks(3));
    Settings->SetPort(Station.Port());
    Refresh();
    ASSERT_EQ(Form->lvPlaylist().model()->rowCount(), 3);
    EXPECT_EQ(Form->StatusPanel().Status(), "");
    Case.Serve();
    Refresh();
    EXPECT_EQ(Form->lvPlaylist().model()->rowCount(), 0);
    EXPECT_EQ(Form->StatusPanel().Status(), "The station sent an empty playlist");
    EXPECT_EQ(Form->StatusPanel().accessibleName(), "The station sent an empty playlist");
  }
}

TEST_F(WindowGlanceTest, TheKeyboardsRowComesBackAfterTheRowsAreRebuilt) {
  Open();
  auto& View = Form->lvPlaylist();
  struct TCase {
    const char* Name;
    int Focused;
    int NewCount;
    int Expected;
  };
  const TCase Cases[] = {
      {"a row less", 3, 9, 3},
      {"the last row gone", 8, 8, 7},
      {"rows added", 2, 12, 2},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    View.selectionModel()->setCurrentIndex(View.model()->index(Case.Focused, 0),
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    Station.SetPlaylist(Tracks(Case.NewCount));
    Refresh();
    ASSERT_EQ(View.model()->rowCount(), Case.NewCount);
    ASSERT_TRUE(WaitFor([&] { return View.currentIndex().isValid(); }));
    EXPECT_EQ(View.currentIndex().row(), Case.Expected);
    // A rebuild loses the selection; only the keyboard's place comes back.
    EXPECT_TRUE(View.selectionModel()->selectedRows().isEmpty());
  }
}

TEST_F(WindowGlanceTest, TheTitleColumnTakesTheSpareWidthUntilTheUserSizesIt) {
  Open();
  EXPECT_EQ(Width(0), 60);
  EXPECT_EQ(Width(1), 300);
  EXPECT_EQ(Width(2), 60);
  const int Spare = ListWidth() - 420;
  EXPECT_GT(Spare, 60) << "room right of the columns at the starting size";

  Resize(Form->width() + 400, Form->height());
  EXPECT_EQ(Width(1), 700);
  Resize(Form->width() - 400, Form->height());
  EXPECT_EQ(Width(1), 300);
  Resize(Form->width() - 200, Form->height());
  EXPECT_EQ(Width(1), 300) << "never narrower than its set width";
  Resize(Form->width() + 200, Form->height());

  // The user widens "#": it keeps that width and the title gives way.
  Header().resizeSection(0, 100);
  Resize(Form->width() + 300, Form->height());
  EXPECT_EQ(Width(0), 100);
  EXPECT_EQ(Width(1), ListWidth() - 100 - 60 - Spare);

  // The user sizes the title: from then on it stays as they left it.
  Header().resizeSection(1, 250);
  Resize(Form->width() + 100, Form->height());
  EXPECT_EQ(Width(1), 250);
}

TEST_F(WindowGlanceTest, ThePlaceAndTheColumnsComeBackAtTheNextStart) {
  Open();
  Resize(900, 600);
  Form->move(40, 50);
  Header().resizeSection(2, 90);
  const QRect Geometry = Form->geometry();
  const int Title = Width(1);
  Form->close();
  Form.reset();
  const QString File = WindowStateFile();
  struct stat Info {};
  ASSERT_EQ(stat(File.toLocal8Bit().constData(), &Info), 0);
  EXPECT_EQ(Info.st_mode & 0777, 0600u);

  Open();
  EXPECT_EQ(Form->geometry(), Geometry);
  EXPECT_EQ(Width(2), 90);
  EXPECT_EQ(Width(1), Title);
  // The title column, never sized by the user, still follows the window.
  Resize(1000, 600);
  EXPECT_EQ(Width(1), Title + 100);

  Form->showMaximized();
  ASSERT_TRUE(WaitFor([&] { return Form->isMaximized(); }));
  Form->close();
  Form.reset();
  Open();
  EXPECT_TRUE(Form->isMaximized());
}

TEST_F(WindowGlanceTest, AFileThatMakesNoSenseLeavesTheWindowAsItStarts) {
  const QByteArray Texts[] = {
      "",
      "[Window]\nGeometry=not base64 !!\nColumns=%%%\nResized=a,b,-4,99\n",
      "[Window]\nGeometry=AAAA\nColumns=AAAA\nResized=1\n",
      QByteArray(5000, '\xff'),
  };
  for (const QByteArray& Text : Texts) {
    SCOPED_TRACE(Text.left(40).toStdString());
    Folder.Write(QStringLiteral("wavenard-window.ini"), Text);
    Open();
    EXPECT_EQ(Form->size(), QSize(624, 435));
    EXPECT_EQ(Width(0), 60);
    EXPECT_EQ(Width(1), 300);
    EXPECT_EQ(Width(2), 60);
    Form.reset();
  }
}

}  // namespace
}  // namespace wavenard
