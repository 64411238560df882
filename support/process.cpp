#include "support/process.h"

#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>

#include <mutex>
#include <vector>

#include "support/failure.h"
#include "support/system_error.h"
#include "support/thread_stack_size.h"

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

// Started programs whose exit status nobody collects yet, because no reaper thread could be
// started for them; each later start collects those that have ended.
std::mutex UnreapedLock;
std::vector<pid_t>& Unreaped() {
  static std::vector<pid_t> Pids;
  return Pids;
}

void CollectEnded() {
  std::lock_guard Guard(UnreapedLock);
  std::erase_if(Unreaped(), [](pid_t APid) { return waitpid(APid, nullptr, WNOHANG) != 0; });
}

void* Reap(void* APid) {
  waitpid(static_cast<pid_t>(reinterpret_cast<intptr_t>(APid)), nullptr, 0);
  return nullptr;
}

// Nobody waits for the program, yet its exit status must be collected or it stays a zombie.
// A reaper thread that cannot be started is no failure of the start.
void StartReaper(pid_t APid) {
  pthread_attr_t Attributes;
  pthread_attr_init(&Attributes);
  pthread_attr_setdetachstate(&Attributes, PTHREAD_CREATE_DETACHED);
  pthread_t Thread;
  int Code = 0;
  if (const quint32 StackSize = ThreadStackSize(); StackSize != 0) {
    Code = pthread_attr_setstacksize(&Attributes, StackSize);
  }
  if (Code == 0) {
    Code = pthread_create(&Thread, &Attributes, Reap, reinterpret_cast<void*>(static_cast<intptr_t>(APid)));
  }
  pthread_attr_destroy(&Attributes);
  if (Code != 0) {
    std::lock_guard Guard(UnreapedLock);
    Unreaped().push_back(APid);
  }
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

void StartProgram(const QString& AProgram, const QStringList& AArguments, pid_t* AProcess) {
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

  CollectEnded();
  // The program gets standard input, output and error and nothing else of ours (the
  // station's sockets, say, which the network library does not mark close-on-exec).
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addclosefrom_np(&Actions, 3);
  pid_t Pid = 0;
  const int Code = posix_spawnp(&Pid, Argv[0], &Actions, nullptr, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  if (Code != 0) {
    throw EFailure(SysErrorMessage(Code));
  }
  if (AProcess != nullptr) {
    *AProcess = Pid;
    return;
  }
  StartReaper(Pid);
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
  AError.clear();
  const QString Program = Words.takeFirst();
  try {
    StartProgram(Program, Words, AProcess);
  } catch (const EFailure& Failure) {
    AError = Failure.Message();
  }
}

}  // namespace wavenard
