#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

namespace wavenard::test {

// A PulseAudio server of its own, with no hardware, in a private runtime folder, which is also
// its home. The client library of this process, and every control tool started through
// Pactl, talks to that server only. Ended with the object.
class TSoundServer final {
 public:
  // AProgram is the server program; each of AModules is loaded as "-L", after the socket's
  // protocol: for example "module-null-sink sink_name=out".
  TSoundServer(const QString& AProgram, const QStringList& AModules);
  ~TSoundServer();
  Q_DISABLE_COPY_MOVE(TSoundServer)

  // Waits until the server answers its control tool; false, with Failure() saying why, when it
  // did not start.
  bool WaitUntilUp();
  bool IsRunning() const { return FServer.state() == QProcess::Running; }
  QString Failure() const { return FFailure; }
  // What the server's control tool prints, or nothing when it fails.
  std::optional<QString> Pactl(const QStringList& AArguments) const;

 private:
  QTemporaryDir FRuntime;
  QProcessEnvironment FEnvironment;
  QProcess FServer;
  QString FFailure;
};

}  // namespace wavenard::test
