#include "support/process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "support/system_error.h"

extern char** environ;

namespace wavenard {

namespace {

QString TrimControls(const QString& AText) {
  qsizetype Begin = 0;
  qsizetype End = AText.size();
  while (Begin < End && AText[Begin].unicode() <= 32) {
    ++Begin;
  }
  while (End > Begin && AText[End - 1].unicode() <= 32) {
    --End;
  }
  return AText.mid(Begin, End - Begin);
}

}  // namespace

QStringList SplitCommandLine(const QString& ALine) {
  QStringList Words;
  QString Word;
  bool InWord = false;
  enum { Plain, Single, Double } Quote = Plain;
  for (qsizetype I = 0; I < ALine.size(); ++I) {
    const QChar C = ALine[I];
    switch (Quote) {
      case Single:
        if (C == u'\'') {
          Quote = Plain;
        } else {
          Word += C;
        }
        break;
      case Double:
        if (C == u'"') {
          Quote = Plain;
        } else if (C == u'\\' && I + 1 < ALine.size() && QStringLiteral("\"\\$`").contains(ALine[I + 1])) {
          Word += ALine[++I];
        } else {
          Word += C;
        }
        break;
      case Plain:
        if (C.unicode() <= 32) {
          if (InWord) {
            Words.append(Word);
            Word.clear();
            InWord = false;
          }
          continue;
        }
        InWord = true;
        if (C == u'\'') {
          Quote = Single;
        } else if (C == u'"') {
          Quote = Double;
        } else if (C == u'\\' && I + 1 < ALine.size()) {
          Word += ALine[++I];
        } else {
          Word += C;
        }
        break;
    }
  }
  if (InWord) {
    Words.append(Word);
  }
  return Words;
}

void StartProgram(const QString& AProgram, const QStringList& AArguments, pid_t* AProcess, QString& AError) {
  AError.clear();
  std::vector<QByteArray> Words;
  Words.reserve(AArguments.size() + 1);
  Words.push_back(AProgram.toLocal8Bit());
  for (const QString& Argument : AArguments) {
    Words.push_back(Argument.toLocal8Bit());
  }
  std::vector<char*> Argv;
  for (QByteArray& Word : Words) {
    Argv.push_back(Word.data());
  }
  Argv.push_back(nullptr);

  pid_t Pid = 0;
  const int Code = posix_spawnp(&Pid, Argv[0], nullptr, nullptr, Argv.data(), environ);
  if (Code != 0) {
    AError = SysErrorMessage(Code);
    return;
  }
  if (AProcess != nullptr) {
    *AProcess = Pid;
    return;
  }
  // Nobody waits for the program, yet its exit status must be collected or it stays a zombie.
  std::thread([Pid] { waitpid(Pid, nullptr, 0); }).detach();
}

void StartProcess(const QString& ACommandLine, pid_t* AProcess, QString& AError) {
  const QString Line = TrimControls(ACommandLine);
  if (Line.isEmpty()) {
    return;
  }
  QStringList Words = SplitCommandLine(Line);
  if (Words.isEmpty()) {
    AError = SysErrorMessage(ENOENT);
    return;
  }
  const QString Program = Words.takeFirst();
  StartProgram(Program, Words, AProcess, AError);
}

}  // namespace wavenard
