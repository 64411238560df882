#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>
#include <semaphore>

#include "app/startup.h"
#include "app/tag_library.h"
#include "config/connection_settings.h"
#include "config/connection_settings_file.h"
#include "config/player_ini.h"
#include "config/system_ini.h"
#include "support/threads/worker_pool.h"
#include "tests/app/view_fixture.h"
#include "tests/support/threads/probe_thread.h"
#include "tests/testsupport/scripted_box_presenter.h"
#include "tests/testsupport/table_device_source.h"
#include "tests/testsupport/temp_folder.h"
#include "tools/station-sim/station_sim.h"

namespace wavenard {
namespace {

// A program installed in a folder of its own, its settings kept beside it (no "uid.ini").
class StartupTest : public ::testing::Test {
 protected:
  TStartupEnvironment Environment() {
    TStartupEnvironment Result;
    Result.ExecutablePath = AppFolder.File("wavenard");
    Result.Boxes = &Boxes;
    Result.Workers = &Workers;
    Result.DpiSource = &DpiSource;
    Result.Devices = &Devices;
    Result.SpecialFolders = [this](int) { return Home.Path(); };
    Result.Random = &Random;
    Result.ChooseFile = [](QWidget*, const QString&, const QSet<QString>&) { return QString(); };
    Result.StartProgram = [](const QString&, const QStringList&) { return false; };
    return Result;
  }
  // An installed program whose settings folder would lie below a plain file, so it can be
  // neither made nor written.
  TStartupEnvironment UnwritableSettingsFolder() {
    PlaceLibrary(TAG_LIBRARY_FILE);
    AppFolder.Write("uid.ini", "[Settings]\r\nUID=42\r\n");
    const QString Blocker = Home.Write("blocker", "");
    TStartupEnvironment Result = Environment();
    Result.SpecialFolders = [Blocker](int) { return Blocker + QStringLiteral("/"); };
    return Result;
  }
  void PlaceLibrary(const QString& ASource) {
    ASSERT_TRUE(QFile::copy(ASource, AppFolder.File(TTagLibrary::FileName)));
  }

  test::TTempFolder AppFolder;
  test::TTempFolder Home;
  test::TScriptedBoxPresenter Boxes;
  TWorkerPool Workers;
  TFixedDpiSource DpiSource;
  test::TTableDeviceSource Devices;
  QRandomGenerator Random{7};
};

TEST_F(StartupTest, TheTagLibraryBesideTheProgramLoadsWithoutABox) {
  PlaceLibrary(TAG_LIBRARY_FILE);
  TApplicationRun Run(Environment());
  EXPECT_TRUE(Run.TagLibrary().Loaded());
  EXPECT_EQ(Run.TagLibrary().Path(), AppFolder.File(TTagLibrary::FileName));
  EXPECT_TRUE(Boxes.Shown().isEmpty());
  EXPECT_EQ(Run.Folders().ApplicationFolder(), AppFolder.Path());
  EXPECT_EQ(Run.Folders().SettingsFolder(), AppFolder.Path());
}

TEST_F(StartupTest, AMissingLibraryOrEntryPointShowsOneBoxAndStartUpGoesOn) {
  struct TCase {
    const char* Name;
    QString Library;
  };
  const TCase Cases[] = {{"no library", QString()},
                         {"a library without the entry points", FOREIGN_LIBRARY_FILE}};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    QFile::remove(AppFolder.File(TTagLibrary::FileName));
    if (!Case.Library.isEmpty()) {
      PlaceLibrary(Case.Library);
    }
    Boxes.Clear();
    TApplicationRun Run(Environment());
    EXPECT_FALSE(Run.TagLibrary().Loaded());
    ASSERT_EQ(Boxes.Shown().size(), 1);
    EXPECT_TRUE(Boxes.Shown()[0].Text.startsWith("libquorvane_taglib.so loading error: "))
        << Boxes.Shown()[0].Text.toStdString();
    EXPECT_GT(Boxes.Shown()[0].Text.size(), QString("libquorvane_taglib.so loading error: ").size());
    EXPECT_EQ(Boxes.Shown()[0].Caption, "Error");
    EXPECT_EQ(Boxes.Shown()[0].Flags & 0xF0, MB_ICONERROR);

    TMainFrm& Window = Run.CreateMainWindow();
    Window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&Window));
    Run.CloseDown();
    EXPECT_EQ(Run.MainWindow(), nullptr);
  }
}

TEST_F(StartupTest, WithoutSuiteFilesTheRecordsKeepTheirValuesAndClosingWritesSystemThenSettings) {
  PlaceLibrary(TAG_LIBRARY_FILE);
  {
    TApplicationRun Run(Environment());
    EXPECT_TRUE(Run.PlayerIni().ReadSuccessful());
    EXPECT_EQ(Run.PlayerIni().VoiceTracksFolder(), "\\VoiceTracks\\");
    EXPECT_TRUE(Run.SystemIni().ReadSuccessful());
    EXPECT_EQ(Run.SystemIni().StreamUserAgent, "Quorvane");
    EXPECT_EQ(Devices.UserAgent, "Quorvane");
    TMainFrm& Window = Run.CreateMainWindow();
    Window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&Window));
    EXPECT_FALSE(QFile::exists(AppFolder.File("system.ini")));
    Window.close();
    EXPECT_TRUE(QFile::exists(AppFolder.File("system.ini")));
    EXPECT_FALSE(QFile::exists(AppFolder.File("settings.ini")));
    Run.CloseDown();
    EXPECT_TRUE(QFile::exists(AppFolder.File("settings.ini")));
  }
  EXPECT_FALSE(QFile::exists(AppFolder.File("player.ini")));
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

TEST_F(StartupTest, ClosingWhileTheStationNeverAnswersEndsAtOnceWithBothFilesSaved) {
  PlaceLibrary(TAG_LIBRARY_FILE);
  sim::TStationSim Station("demo", "demo");
  ASSERT_TRUE(Station.Start());
  Station.SetDelay(60000);
  {
    TSettings Stored;
    Stored.SetServer("127.0.0.1");
    Stored.SetPort(Station.Port());
    Stored.SetUser("demo");
    Stored.SetPass("demo");
    TSettingsFile(Stored, TFolders(AppFolder.Path(), AppFolder.Path()), Boxes).Save();
  }
  QFile::remove(AppFolder.File("settings.ini.bak"));
  const QByteArray Written = AppFolder.Read("settings.ini");

  TApplicationRun Run(Environment());
  TMainFrm& Window = Run.CreateMainWindow();
  EXPECT_EQ(Run.Settings().Port(), Station.Port());
  Window.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Station.Requests().empty(); }, 10000));
  EXPECT_EQ(Station.Requests()[0], "GET /?user=demo&pass=demo&action=getplaylist2");

  QElapsedTimer Clock;
  Clock.start();
  Window.close();
  Run.CloseDown();
  EXPECT_LT(Clock.elapsed(), 2000);
  EXPECT_TRUE(QFile::exists(AppFolder.File("system.ini")));
  EXPECT_EQ(AppFolder.Read("settings.ini"), Written);
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

TEST_F(StartupTest, ASettingsFolderThatCannotBeWrittenStillOpensTheWindowAndSaysWhySavingFailed) {
  {
    TApplicationRun Run(UnwritableSettingsFolder());
    TMainFrm& Window = Run.CreateMainWindow();
    Window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&Window));
    Window.close();
    Run.CloseDown();
  }
  ASSERT_EQ(Boxes.Shown().size(), 2);
  EXPECT_TRUE(Boxes.Shown()[0].Text.startsWith("Error saving file (system.ini): Cannot create file \""));
  EXPECT_TRUE(Boxes.Shown()[1].Text.startsWith("Error saving settings: Cannot create file \""));
  for (const TBoxRequest& Box : Boxes.Shown()) {
    EXPECT_EQ(Box.Caption, "Error");
    EXPECT_EQ(Box.Flags, MB_ICONERROR);
  }
}

// The same folder at the end of the desktop session: nobody is left to answer a box, so none is
// shown and the window closes at once.
TEST_F(StartupTest, ASessionEndWhileSavingFailsShowsNoBox) {
  {
    TApplicationRun Run(UnwritableSettingsFolder());
    TMainFrm& Window = Run.CreateMainWindow();
    Window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&Window));
    CloseForSessionEnd(Window, Boxes);
    EXPECT_FALSE(Window.isVisible());
    Run.CloseDown();
  }
  EXPECT_TRUE(Boxes.Unattended());
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

TEST_F(StartupTest, TheUserAgentIsTakenOnceInTheEightBitCodePage) {
  PlaceLibrary(TAG_LIBRARY_FILE);
  {
    TSystemIni Stored(TFolders(AppFolder.Path(), AppFolder.Path()), Boxes);
    Stored.StreamUserAgent = QString::fromUtf8("Zoë’s player ☃");
    Stored.Save();
  }
  TApplicationRun Run(Environment());
  EXPECT_EQ(Run.UserAgent(), QByteArray("Zo\xEB\x92s player ?"));
  EXPECT_EQ(Devices.UserAgent, QString::fromUtf8("Zoë’s player ?"));
  Run.SystemIni().StreamUserAgent = "Changed";
  Run.SystemIni().Save();
  EXPECT_EQ(Devices.UserAgent, QString::fromUtf8("Zoë’s player ?"));
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

TEST_F(StartupTest, TheSessionEndCancelsOpenDialogsAndClosesTheWindow) {
  PlaceLibrary(TAG_LIBRARY_FILE);
  TApplicationRun Run(Environment());
  TMainFrm& Window = Run.CreateMainWindow();
  Window.show();
  bool BoxReturned = false;
  QTimer::singleShot(0, [&] {
    QMessageBox Box(QMessageBox::Critical, "Error", "Something failed", QMessageBox::Ok, &Window);
    Box.setWindowModality(Qt::ApplicationModal);
    QTimer::singleShot(50, [&] { CloseForSessionEnd(Window, Boxes); });
    Box.exec();
    BoxReturned = true;
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return BoxReturned; }, 5000));
  EXPECT_FALSE(Window.isVisible());
  EXPECT_TRUE(Window.Closing());
  EXPECT_TRUE(QFile::exists(AppFolder.File("system.ini")));
}

// Closing down, then the run's end: the workers still running are waited for once, two seconds
// in all (the bound is the behaviour, checked with a wide margin); one that does not end is left
// running.
TEST_F(StartupTest, ShutdownWaitsForTheWorkersOnceAndNoLongerThanTwoSeconds) {
  PlaceLibrary(TAG_LIBRARY_FILE);
  std::binary_semaphore Gate(0);
  test::TProbeTrace Trace;
  Workers.Start(std::make_unique<test::TProbeThread>(Gate, Trace),
                [](test::TProbeThread& AThread) { AThread.Start(); });
  QElapsedTimer Clock;
  {
    TApplicationRun Run(Environment());
    Run.CreateMainWindow();
    Clock.start();
    Run.CloseDown();
    EXPECT_GE(Clock.elapsed(), TApplicationRun::WorkerJoinLimit);
    EXPECT_LT(Clock.elapsed(), TApplicationRun::WorkerJoinLimit + 5000);
    Clock.restart();
    Run.CloseDown();
  }
  EXPECT_LT(Clock.elapsed(), TApplicationRun::WorkerJoinLimit) << "waited again";
  EXPECT_FALSE(Trace.Freed.load());
  Gate.release();
  EXPECT_TRUE(Workers.Join(20000));
}

}  // namespace
}  // namespace wavenard
