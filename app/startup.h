#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

#include "app/main_form.h"
#include "config/folders.h"
#include "support/dpi.h"

class QRandomGenerator;

namespace wavenard {

class TBoxPresenter;
class TDeviceSource;
class TMsgThread;
class TPinnedKeys;
class TSettings;
class TPlayerIni;
class TSettingsFile;
class TSystemIni;
class TTagLibrary;
class TWorkerPool;

// What the program takes from its surroundings; tests replace each part.
struct TStartupEnvironment {
  // The running executable, from which the application folder follows.
  QString ExecutablePath;
  TBoxPresenter* Boxes = nullptr;
  // Runs the request workers; shutdown waits for those still running.
  TWorkerPool* Workers = nullptr;
  TDpiSource* DpiSource = nullptr;
  TDeviceSource* Devices = nullptr;
  TSpecialFolderLookup SpecialFolders = GetSpecialFolderPath;
  // Draws the player record's identifier.
  QRandomGenerator* Random = nullptr;
  TFileChooser ChooseFile = ChooseVoiceTrackFile;
  TProgramStarter StartProgram = StartRecorderProcess;
};

// The process-wide values of one run. The constructor creates them in start-up order; the
// destructor releases them in the reverse order. Main thread only. It is the playlist window's
// host: the settings files and dialog, and the general error report in a box.
class TApplicationRun final : private TMainFrmHost {
 public:
  // How long shutdown waits, once, for request workers still running.
  static constexpr int WorkerJoinLimit = 2000;

  explicit TApplicationRun(TStartupEnvironment AEnvironment);
  ~TApplicationRun() override;
  Q_DISABLE_COPY_MOVE(TApplicationRun)

  // Creates the playlist window, which reads the connection settings file.
  TMainFrm& CreateMainWindow();
  // Destroys the window, which saves the connection settings file, and gives the request
  // workers still running a short time to end. The first call waits; later ones do not.
  void CloseDown();

  const TFolders& Folders() const { return FFolders; }
  TDpiCache& Dpi() { return FDpi; }
  const TTagLibrary& TagLibrary() const { return *FTagLibrary; }
  TSettings& Settings() { return *FSettings; }
  TPlayerIni& PlayerIni() { return *FPlayerIni; }
  TSystemIni& SystemIni() { return *FSystemIni; }
  // The user agent as the audio library was given it, in the 8-bit code page.
  const QByteArray& UserAgent() const { return FUserAgent; }
  // The application-wide flag word (ScreenReaderTagBit).
  qint32 ApplicationTag() const { return FApplicationTag; }
  TMainFrm* MainWindow() { return FMainFrm.get(); }

 private:
  void ReadSettings() override;
  void SaveSettings() override;
  void SaveSystemSettings() override;
  void ShowSettings(QWidget* AParent) override;
  QString VoiceTracksFolder() const override;
  QString WindowStateFile() const override;
  void ReportError(const std::exception& AError) override;
  std::shared_ptr<TPinnedKeys> PinnedKeys() override { return FPinnedKeys; }

  TStartupEnvironment FEnvironment;
  TDpiCache FDpi;
  std::unique_ptr<TTagLibrary> FTagLibrary;
  std::unique_ptr<TMsgThread> FMsgThread;
  bool FWorkersWaited = false;
  TFolders FFolders;
  std::unique_ptr<TPlayerIni> FPlayerIni;
  std::unique_ptr<TSystemIni> FSystemIni;
  qint32 FApplicationTag = 0;
  QByteArray FUserAgent;
  std::shared_ptr<TSettings> FSettings;
  std::unique_ptr<TSettingsFile> FSettingsFile;
  std::shared_ptr<TPinnedKeys> FPinnedKeys;
  std::unique_ptr<TMainFrm> FMainFrm;
};

class TWavenardApplication;

// Closes AWindow as the user would when the desktop session ends. The modal dialogs and boxes
// open over it are cancelled first, innermost first, since nobody is left to answer them, and
// from then on ABoxes shows none: what saving the files reports goes to standard error, so one
// request to end is enough and the program ends at once.
void CloseForSessionEnd(QWidget& AWindow, TBoxPresenter& ABoxes);

// The whole program: start-up, the window, the event loop and shutdown. Returns the exit code.
int RunWavenard(TWavenardApplication& AApplication);

}  // namespace wavenard
