#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <memory>

#include "app/main_form.h"
#include "config/folders.h"
#include "support/dpi.h"

namespace wavenard {

class TBoxPresenter;
class TDeviceSource;
class TMsgThread;
class TSettings;
class TTagLibrary;

// What the program takes from its surroundings; tests replace each part.
struct TStartupEnvironment {
  // The running executable, from which the application folder follows.
  QString ExecutablePath;
  TBoxPresenter* Boxes = nullptr;
  TDpiSource* DpiSource = nullptr;
  TDeviceSource* Devices = nullptr;
  TSpecialFolderLookup SpecialFolders = GetSpecialFolderPath;
  std::function<void(const std::exception& AError)> ReportError;
  TFileChooser ChooseFile = ChooseVoiceTrackFile;
  TProgramStarter StartProgram = StartRecorderProcess;
};

// The process-wide values of one run. The constructor creates them in start-up order; the
// destructor releases them in the reverse order. Main thread only.
class TApplicationRun final {
 public:
  // How long shutdown waits for request workers still running.
  static constexpr int WorkerJoinLimit = 1500;

  explicit TApplicationRun(TStartupEnvironment AEnvironment);
  ~TApplicationRun();
  Q_DISABLE_COPY_MOVE(TApplicationRun)

  // Creates the playlist window, which reads the connection settings file.
  TMainFrm& CreateMainWindow();
  // Destroys the window, which saves the connection settings file, and gives the request
  // workers still running a short time to end.
  void CloseDown();

  const TFolders& Folders() const { return FFolders; }
  TDpiCache& Dpi() { return FDpi; }
  const TTagLibrary& TagLibrary() const { return *FTagLibrary; }
  TSettings& Settings() { return *FSettings; }
  TMainFrm* MainWindow() { return FMainFrm.get(); }

 private:
  TStartupEnvironment FEnvironment;
  TDpiCache FDpi;
  std::unique_ptr<TTagLibrary> FTagLibrary;
  std::unique_ptr<TMsgThread> FMsgThread;
  TFolders FFolders;
  std::shared_ptr<TSettings> FSettings;
  std::unique_ptr<TMainFrm> FMainFrm;
};

class TWavenardApplication;

// The whole program: start-up, the window, the event loop and shutdown. Returns the exit code.
int RunWavenard(TWavenardApplication& AApplication);

}  // namespace wavenard
