#include "tests/testsupport/sound_server.h"

#include <QDir>
#include <QThread>

namespace wavenard::test {

TSoundServer::TSoundServer(const QString& AProgram, const QStringList& AModules) {
  const QString Runtime = FRuntime.path();
  const QString Socket = Runtime + "/native";
  QDir().mkpath(Runtime + "/home");
  FEnvironment = QProcessEnvironment::systemEnvironment();
  FEnvironment.insert("XDG_RUNTIME_DIR", Runtime);
  FEnvironment.insert("HOME", Runtime + "/home");
  FEnvironment.insert("PULSE_SERVER", "unix:" + Socket);
  qputenv("PULSE_SERVER", ("unix:" + Socket).toUtf8());
  qputenv("PULSE_COOKIE", (Runtime + "/home/cookie").toUtf8());
  QStringList Arguments = {"-n",
                           "--daemonize=no",
                           "--exit-idle-time=-1",
                           "--use-pid-file=no",
                           "--log-level=error",
                           "-L",
                           "module-native-protocol-unix auth-anonymous=1 socket=" + Socket};
  for (const QString& Module : AModules) {
    Arguments << "-L" << Module;
  }
  FServer.setProcessEnvironment(FEnvironment);
  FServer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  FServer.start(AProgram, Arguments);
}

TSoundServer::~TSoundServer() {
  if (FServer.state() != QProcess::NotRunning) {
    FServer.terminate();
    if (!FServer.waitForFinished(5000)) {
      FServer.kill();
      FServer.waitForFinished(5000);
    }
  }
}

bool TSoundServer::WaitUntilUp() {
  if (!FServer.waitForStarted(5000)) {
    FFailure = "the sound server could not be started: " + FServer.errorString();
    return false;
  }
  for (int Attempt = 0; Attempt < 100 && IsRunning(); ++Attempt) {
    if (Pactl({"info"}).has_value()) {
      return true;
    }
    QThread::msleep(100);
  }
  FFailure = "the sound server did not start";
  return false;
}

std::optional<QString> TSoundServer::Pactl(const QStringList& AArguments) const {
  QProcess Control;
  Control.setProcessEnvironment(FEnvironment);
  Control.start("pactl", AArguments);
  if (!Control.waitForFinished(10000) || Control.exitStatus() != QProcess::NormalExit ||
      Control.exitCode() != 0) {
    return std::nullopt;
  }
  return QString::fromUtf8(Control.readAllStandardOutput());
}

}  // namespace wavenard::test
