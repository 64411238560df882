#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTest>
#include <algorithm>

#include "support/process.h"
#include "tests/testsupport/refused_thread_starts.h"
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
  EXPECT_NO_THROW(StartProgram(Program, {"-wavenard"}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Folder.Read("out") == QByteArray("-wavenard\n"); }, 5000));
}

// The descriptor numbers open in process APid.
QList<int> OpenDescriptors(pid_t APid) {
  QList<int> Numbers;
  for (const QString& Name :
       QDir(QStringLiteral("/proc/%1/fd").arg(APid)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries)) {
    Numbers.append(Name.toInt());
  }
  std::sort(Numbers.begin(), Numbers.end());
  return Numbers;
}

TEST(StartProcess, TheProgramInheritsNoDescriptorBeyondTheStandardThree) {
  int Pipe[2];
  ASSERT_EQ(pipe(Pipe), 0);  // inheritable, like the network library's sockets
  QString Error;
  pid_t Pid = 0;
  StartProcess("sleep 30", &Pid, Error);
  ASSERT_TRUE(Error.isEmpty()) << Error.toStdString();
  // Until the program replaces the child (a sanitizer's start may return before that), the
  // child's descriptors are still being closed; an inherited one would stay for good.
  ASSERT_TRUE(QTest::qWaitFor([&] { return OpenDescriptors(Pid) == QList<int>({0, 1, 2}); }, 5000));
  kill(Pid, SIGKILL);
  waitpid(Pid, nullptr, 0);
  close(Pipe[0]);
  close(Pipe[1]);
}

// Children of this process that have ended and wait to be collected.
int Zombies() {
  int Count = 0;
  for (const QString& Name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    QFile Stat(QStringLiteral("/proc/%1/stat").arg(Name));
    if (Name.toInt() <= 0 || !Stat.open(QIODevice::ReadOnly)) {
      continue;
    }
    // "pid (name) state ppid ...": the name may hold blanks, so read after its last ')'.
    const QByteArray Line = Stat.readAll();
    const QList<QByteArray> Fields = Line.mid(Line.lastIndexOf(')') + 2).split(' ');
    if (Fields.size() > 1 && Fields[0] == "Z" && Fields[1].toInt() == getpid()) {
      ++Count;
    }
  }
  return Count;
}

TEST(StartProcess, WithoutAReaperThreadTheStartSucceedsAndTheProgramIsCollectedLater) {
  ASSERT_TRUE(QTest::qWaitFor([&] { return Zombies() == 0; }, 5000));
  QString Error = "earlier";
  {
    const test::TRefusedThreadStarts Refused;
    EXPECT_NO_THROW(StartProcess("true", nullptr, Error));
  }
  EXPECT_TRUE(Error.isEmpty()) << Error.toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Zombies() == 1; }, 5000));
  StartProcess("true", nullptr, Error);
  EXPECT_TRUE(Error.isEmpty()) << Error.toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Zombies() == 0; }, 5000));
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
