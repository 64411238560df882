#pragma once

#include <sys/types.h>
#include <QString>
#include <QStringList>

namespace wavenard {

// Carried for the suite; this program starts its recorder through StartProgram.
// Starts a command line as a new process without waiting for it. The line is trimmed of
// characters up to code 32; an empty line starts nothing and leaves AError as it was.
// Otherwise AError is cleared, and set to the system error message when the start fails.
// On POSIX the line is split by the usual shell quoting rules and run without a shell.
// With AProcess given, the new process id is stored there and the caller must reap it.
void StartProcess(const QString& ACommandLine, pid_t* AProcess, QString& AError);

// Carried for the suite, for StartProcess.
// Splits a command line into words by the shell's quoting rules: blanks separate words, '...'
// keeps everything, "..." keeps everything but \" \\ \$ \`, and a backslash outside quotes
// keeps the next character. An unterminated quote runs to the end of the line.
QStringList SplitCommandLine(const QString& ALine);

// Starts a program with its arguments kept apart, so a path with blanks stays one word. With
// AProcess given, the new process id is stored there and the caller must reap it. Raises EFailure
// with the system error message when the program cannot be started.
void StartProgram(const QString& AProgram, const QStringList& AArguments, pid_t* AProcess = nullptr);

}  // namespace wavenard
