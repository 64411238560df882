#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include "tests/testsupport/temp_folder.h"
#include "tests/tools/sim_client.h"

namespace wavenard::test {
namespace {

// Starts the simulator program and reads the port from the line it prints.
class TSimProgram {
 public:
  explicit TSimProgram(const QStringList& AArguments) {
    FProcess.setProgram(STATION_SIM_PROGRAM);
    FProcess.setArguments(AArguments);
    FProcess.start();
  }
  ~TSimProgram() {
    if (FProcess.state() != QProcess::NotRunning) {
      FProcess.kill();
      FProcess.waitForFinished();
    }
  }

  // The port from "listening on http://127.0.0.1:PORT", or 0 when the program ended first.
  int WaitForPort() {
    while (!FProcess.canReadLine() && FProcess.waitForReadyRead(10000)) {
    }
    const QString Line = QString::fromUtf8(FProcess.readLine()).trimmed();
    const auto Match = QRegularExpression("^listening on http://127\\.0\\.0\\.1:(\\d+)$").match(Line);
    return Match.hasMatch() ? Match.captured(1).toInt() : 0;
  }

  // Ends the program as a desktop session would and returns its exit code.
  int Terminate() {
    FProcess.terminate();
    EXPECT_TRUE(FProcess.waitForFinished(10000));
    return FProcess.exitStatus() == QProcess::NormalExit ? FProcess.exitCode() : -1;
  }

  int WaitForExit() {
    EXPECT_TRUE(FProcess.waitForFinished(10000));
    return FProcess.exitCode();
  }
  QString Errors() { return QString::fromUtf8(FProcess.readAllStandardError()); }

 private:
  QProcess FProcess;
};

TEST(StationSimProgram, ServesTheSamplePlaylistOnAFreePortAndLogsRequests) {
  TTempFolder Folder;
  TSimProgram Program({"--port", "0", "--playlist", SAMPLE_PLAYLIST, "--user", "demo", "--pass", "on air",
                       "--log", Folder.File("requests.log"), "--store", Folder.File("voice"),
                       "--delay-ms=20"});
  const int Port = Program.WaitForPort();
  ASSERT_GT(Port, 0) << Program.Errors().toStdString();

  const auto Client = SimClient(Port);
  const std::string Target = Query("demo", "on air", "action=getplaylist2");
  const auto Result = Client->Get(Target.c_str());
  ASSERT_TRUE(Result);
  EXPECT_EQ(Result->status, 200);
  EXPECT_GE(TracksOf(Result->body).size(), 30u);

  // A switch from the command line, then one changed at run time through the control path.
  const auto Faults = Client->Get("/sim/faults?status=503");
  ASSERT_TRUE(Faults);
  EXPECT_NE(Faults->body.find("delay_ms=20\n"), std::string::npos) << Faults->body;
  EXPECT_EQ(Client->Get(Target.c_str())->status, 503);

  const auto Upload =
      Client->Post("/", UploadForm("demo", "on air", "take.flac", "1", FlacFile(44100, 44100)),
                   "application/x-www-form-urlencoded");
  ASSERT_TRUE(Upload);
  EXPECT_EQ(Upload->status, 503);

  EXPECT_EQ(Program.Terminate(), 0);
  QFile Log(Folder.File("requests.log"));
  ASSERT_TRUE(Log.open(QIODevice::ReadOnly));
  const std::string Expected = "GET " + Target + "\n";
  EXPECT_EQ(Log.readAll().toStdString(), Expected + Expected + "POST /\n");
}

TEST(StationSimProgram, RefusesBadOptions) {
  const QStringList Cases[] = {
      {"--port", "http"},      {"--port", "70000"},  {"--playlist", "/no/such/playlist.txt"},
      {"--drop", "sometimes"}, {"--colour", "blue"}, {"--port"},
  };
  for (const QStringList& Arguments : Cases) {
    TSimProgram Program(Arguments);
    EXPECT_EQ(Program.WaitForExit(), 1) << Arguments.join(' ').toStdString();
    EXPECT_TRUE(Program.Errors().startsWith("station-sim: ")) << Arguments.join(' ').toStdString();
  }
}

TEST(StationSimProgram, ReportsAPortInUse) {
  TSimProgram First({"--port", "0"});
  const int Port = First.WaitForPort();
  ASSERT_GT(Port, 0);
  TSimProgram Second({"--port", QString::number(Port)});
  EXPECT_EQ(Second.WaitForExit(), 1);
  EXPECT_TRUE(Second.Errors().contains("cannot listen")) << Second.Errors().toStdString();
}

}  // namespace
}  // namespace wavenard::test
