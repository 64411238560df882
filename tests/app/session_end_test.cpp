#include <gtest/gtest.h>

#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <cstdio>

#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

// Whether the process APid has a handler of its own for ASignal, as /proc says.
bool Catches(qint64 APid, int ASignal) {
  QFile Status(QStringLiteral("/proc/%1/status").arg(APid));
  if (!Status.open(QIODevice::ReadOnly)) {
    return false;
  }
  for (const QByteArray& Line : Status.readAll().split('\n')) {
    if (Line.startsWith("SigCgt:")) {
      return (Line.mid(7).trimmed().toULongLong(nullptr, 16) >> (ASignal - 1) & 1) != 0;
    }
  }
  return false;
}

// The real program, installed with a settings folder that cannot be written, at the end of the
// desktop session: one SIGTERM ends it, with the save failures on standard error instead of boxes
// that nobody answers.
TEST(SessionEndTest, OneTerminationEndsTheProgramWhoseSavesFail) {
  test::TTempFolder App;
  test::TTempFolder Home;
  ASSERT_TRUE(QFile::copy(WAVENARD_FILE, App.File("wavenard")));
  ASSERT_TRUE(
      QFile::setPermissions(App.File("wavenard"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  ASSERT_TRUE(QFile::copy(TAG_LIBRARY_FILE, App.File(QFileInfo(TAG_LIBRARY_FILE).fileName())));
  App.Write("uid.ini", "[Settings]\r\nUID=42\r\n");
  // The user's settings folder would lie below a plain file.
  const QString Blocker = Home.Write("blocker", "");

  QProcess Program;
  QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
  Environment.insert("XDG_CONFIG_HOME", Blocker);
  Environment.insert("HOME", Home.Path());
  Environment.insert("QT_QPA_PLATFORM", "offscreen");
  Program.setProcessEnvironment(Environment);
  Program.start(App.File("wavenard"), {});
  ASSERT_TRUE(Program.waitForStarted(10000));
  // Its handler is in place just before its window opens.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Catches(Program.processId(), SIGTERM); }, 60000));

  QElapsedTimer Clock;
  Clock.start();
  ASSERT_EQ(kill(static_cast<pid_t>(Program.processId()), SIGTERM), 0);
  const bool Ended = Program.waitForFinished(20000);
  const qint64 Elapsed = Clock.elapsed();
  if (!Ended) {
    Program.kill();
    Program.waitForFinished();
  }
  ASSERT_TRUE(Ended) << "one SIGTERM did not end the program";
  RecordProperty("SessionEndMilliseconds", static_cast<int>(Elapsed));
  std::printf("the program ended %lld ms after SIGTERM\n", static_cast<long long>(Elapsed));
  EXPECT_EQ(Program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(Program.exitCode(), 0);
  const QString Errors = QString::fromUtf8(Program.readAllStandardError());
  EXPECT_TRUE(Errors.contains("Error: Error saving file (system.ini): Cannot create file \""))
      << Errors.toStdString();
  EXPECT_TRUE(Errors.contains("Error: Error saving settings: Cannot create file \"")) << Errors.toStdString();
}

}  // namespace
}  // namespace wavenard
