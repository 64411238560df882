// Runs one settings file operation as whatever user starts it, for the tests that need an
// ordinary user where the administrator would pass every permission check:
//   system FOLDER [LIMIT]  reads and saves "system.ini" in FOLDER as the program does; with
//                          LIMIT no file may grow beyond that many bytes, as on a full disk
//   system-read FOLDER     reads "system.ini" in FOLDER as the program does and prints its
//                          MySqlHost, or why it could not be read
//   settings FOLDER        reads "settings.ini" in FOLDER as the program does, then saves it with
//                          the server "saved" and the password "station-secret"
//   read FILE              prints the file's content
// Prints every box's text on a line of its own and a failure's message, and exits with 1 on a
// failure.
#include <sys/resource.h>

#include <QCoreApplication>
#include <csignal>
#include <iostream>

#include "config/connection_settings.h"
#include "config/connection_settings_file.h"
#include "config/failures.h"
#include "config/file_store.h"
#include "config/folders.h"
#include "config/system_ini.h"
#include "support/message_box.h"

namespace wavenard {
namespace {

class TPrintedBoxes final : public TBoxPresenter {
 protected:
  int Present(const TBoxRequest& ARequest) override {
    std::cout << "box: " << ARequest.Text.toStdString() << '\n';
    return 1;
  }
};

QString NoSpecialFolder(int) {
  return {};
}

int Run(const QStringList& AArguments) {
  TPrintedBoxes Boxes;
  const QString Command = AArguments.value(0);
  const QString Path = AArguments.value(1);
  if (Command == QLatin1String("system")) {
    if (AArguments.size() > 2) {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit Limit{AArguments[2].toULongLong(), RLIM_INFINITY};
      if (::setrlimit(RLIMIT_FSIZE, &Limit) != 0) {
        std::cout << "no file-size limit\n";
        return 2;
      }
    }
    TSystemIni Record(TFolders(Path, Path), Boxes, NoSpecialFolder);
    qint32 Tag = 0;
    Record.Read(Tag);
    Record.Save();
    return 0;
  }
  if (Command == QLatin1String("system-read")) {
    TSystemIni Record(TFolders(Path, Path), Boxes, NoSpecialFolder);
    qint32 Tag = 0;
    Record.Read(Tag);
    if (!Record.ReadSuccessful()) {
      std::cout << "not read: " << Record.ReadErrorText().toStdString() << '\n';
    }
    std::cout << "MySqlHost: " << Record.MySqlHost.toStdString() << '\n';
    return 0;
  }
  if (Command == QLatin1String("settings")) {
    TSettings Settings;
    TSettingsFile File(Settings, TFolders(Path, Path), Boxes);
    try {
      File.Read();
    } catch (const ESettingsFailure& Failure) {
      // The window is created all the same and saves at its end.
      std::cout << "read failure: " << Failure.Message().toStdString() << '\n';
    }
    Settings.SetServer(QStringLiteral("saved"));
    Settings.SetPass(QStringLiteral("station-secret"));
    File.Save();
    return 0;
  }
  if (Command == QLatin1String("read")) {
    ReadRecordFile(Path, [](const QByteArray& AContent) { std::cout << AContent.toStdString(); });
    return 0;
  }
  std::cout << "unknown command\n";
  return 2;
}

}  // namespace
}  // namespace wavenard

int main(int argc, char** argv) {
  const QCoreApplication App(argc, argv);
  try {
    return wavenard::Run(QCoreApplication::arguments().mid(1));
  } catch (const wavenard::ESettingsFailure& Failure) {
    std::cout << "failure: " << Failure.Message().toStdString() << '\n';
    return 1;
  }
}
