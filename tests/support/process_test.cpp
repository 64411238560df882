#include <gtest/gtest.h>

#include <sys/wait.h>
#include <QFile>
#include <QTest>

#include "support/process.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

TEST(StartProcess, BlanksOnlyStartNothingAndKeepThePreviousError) {
  QString Error = "earlier";
  StartProcess(" \t\r\n ", nullptr, Error);
  EXPECT_EQ(Error, "earlier");
}

TEST(StartProcess, AMissingProgramSetsTheSystemErrorText) {
  QString Error = "earlier";
  StartProcess("/nonexistent/pellorin -wavenard", nullptr, Error);
  EXPECT_EQ(Error, "System Error.  Code: 2.\r\nNo such file or directory");
}

TEST(StartProcess, StartsTheProgramWithoutWaitingForIt) {
  test::TTempFolder Folder;
  const QString Marker = Folder.File("marker");
  QString Error = "earlier";
  pid_t Pid = 0;
  StartProcess(QString("/bin/sh -c 'sleep 0.2; echo started > \"%1\"'").arg(Marker), &Pid, Error);
  EXPECT_TRUE(Error.isEmpty());
  ASSERT_GT(Pid, 0);
  EXPECT_FALSE(QFile::exists(Marker)) << "the call returned before the program finished";
  int Status = 0;
  ASSERT_EQ(waitpid(Pid, &Status, 0), Pid);
  EXPECT_EQ(Folder.Read("marker"), "started\n");
}

TEST(StartProgram, KeepsAProgramPathWithBlanksInOnePiece) {
  test::TTempFolder Folder;
  const QString Program =
      Folder.Write("with blank prog", "#!/bin/sh\necho \"$1\" > \"$(dirname \"$0\")/out\"\n");
  QFile::setPermissions(Program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QString Error;
  StartProgram(Program, {"-wavenard"}, nullptr, Error);
  EXPECT_TRUE(Error.isEmpty()) << Error.toStdString();
  QTRY_COMPARE_WITH_TIMEOUT(Folder.Read("out"), QByteArray("-wavenard\n"), 5000);
}

}  // namespace
}  // namespace wavenard

namespace wavenard {
namespace {

TEST(SplitCommandLine, FollowsTheShellQuotingRules) {
  struct Case {
    const char* Line;
    QStringList Words;
  } Cases[] = {
      {"prog -wavenard", {"prog", "-wavenard"}},
      {"  prog \t a  ", {"prog", "a"}},
      {"'/opt/my folder/prog' x", {"/opt/my folder/prog", "x"}},
      {"\"a \\\"b\\\" \\\\ \\n\" c", {"a \"b\" \\ \\n", "c"}},
      {"a\\ b 'it''s' \"\"", {"a b", "its", ""}},
      {"'open", {"open"}},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(SplitCommandLine(C.Line), C.Words) << C.Line;
  }
}

}  // namespace
}  // namespace wavenard
