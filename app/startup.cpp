#include "app/startup.h"

#include <QApplication>
#include <QRandomGenerator>

#include "app/error_report.h"
#include "app/settings_form.h"
#include "app/tag_library.h"
#include "audio/multimedia/media_device_source.h"
#include "config/connection_settings.h"
#include "config/connection_settings_file.h"
#include "config/failures.h"
#include "config/pinned_keys.h"
#include "config/player_ini.h"
#include "config/system_ini.h"
#include "support/message_box.h"
#include "support/quit_signals.h"
#include "support/threads/msg_thread.h"
#include "support/threads/worker_pool.h"
#include "support/widgets/screen_dpi_source.h"
#include "support/widgets/widget_box_presenter.h"
#include "support/windows1252.h"

namespace wavenard {

TApplicationRun::TApplicationRun(TStartupEnvironment AEnvironment)
    : FEnvironment(std::move(AEnvironment)), FDpi(*FEnvironment.DpiSource) {
  FTagLibrary =
      std::make_unique<TTagLibrary>(FindApplicationFolder(FEnvironment.ExecutablePath), *FEnvironment.Boxes);
  FMsgThread = std::make_unique<TMsgThread>();
  FMsgThread->Start();
  FFolders = TFolders::ForExecutable(FEnvironment.ExecutablePath, FEnvironment.SpecialFolders);
  FPlayerIni = std::make_unique<TPlayerIni>(FFolders, *FEnvironment.Boxes, *FEnvironment.Random);
  FPlayerIni->Read();
  FSystemIni = std::make_unique<TSystemIni>(FFolders, *FEnvironment.Boxes, FEnvironment.SpecialFolders);
  FSystemIni->Read(FApplicationTag);
  // Taken once: a later change of the record reaches the audio library at the next start.
  FUserAgent = EncodeWindows1252(FSystemIni->StreamUserAgent);
  FEnvironment.Devices->SetUserAgent(DecodeWindows1252(FUserAgent));
  FSettings = std::make_shared<TSettings>();
  FSettingsFile = std::make_unique<TSettingsFile>(*FSettings, FFolders, *FEnvironment.Boxes);
  FPinnedKeys =
      std::make_shared<TPinnedKeys>(FFolders.SettingsFile(QString::fromUtf16(TPinnedKeys::FileName)));
  try {
    FPinnedKeys->Load();
  } catch (const EFileFailure& Failure) {
    FEnvironment.Boxes->MyMessageBox(
        QStringLiteral("The trusted station certificates could not be read: %1").arg(Failure.Message()),
        QStringLiteral("Error"), MB_ICONERROR | MB_OK);
  }
}

TApplicationRun::~TApplicationRun() {
  CloseDown();
}

TMainFrm& TApplicationRun::CreateMainWindow() {
  TMainFrmHost& Host = *this;
  FMainFrm = std::make_unique<TMainFrm>(FSettings, Host, *FEnvironment.Boxes, *FEnvironment.Workers, FDpi,
                                        FFolders.ApplicationFolder(), FEnvironment.ChooseFile,
                                        FEnvironment.StartProgram);
  return *FMainFrm;
}

void TApplicationRun::ReadSettings() {
  FSettingsFile->Read();
}

void TApplicationRun::SaveSettings() {
  FSettingsFile->Save();
}

void TApplicationRun::SaveSystemSettings() {
  FSystemIni->Save();
}

void TApplicationRun::ShowSettings(QWidget* AParent) {
  wavenard::ShowSettings(*FSettings, *FSystemIni, *FEnvironment.Devices, AParent);
}

QString TApplicationRun::VoiceTracksFolder() const {
  return FPlayerIni->TakesFolder();
}

QString TApplicationRun::WindowStateFile() const {
  return FFolders.SettingsFile(QStringLiteral("wavenard-window.ini"));
}

void TApplicationRun::ReportError(const std::exception& AError) {
  ShowErrorReport(*FEnvironment.Boxes, AError);
}

void TApplicationRun::CloseDown() {
  FMainFrm.reset();
  if (FWorkersWaited) {
    return;
  }
  FWorkersWaited = true;
  FEnvironment.Workers->Join(WorkerJoinLimit);
}

void CloseForSessionEnd(QWidget& AWindow, TBoxPresenter& ABoxes) {
  ABoxes.SetUnattended(true);
  while (QWidget* Modal = QApplication::activeModalWidget()) {
    if (!Modal->close()) {
      break;
    }
  }
  AWindow.close();
}

int RunWavenard(TWavenardApplication& AApplication) {
  TWidgetBoxPresenter Boxes;
  AApplication.SetBoxes(&Boxes);
  TWorkerPool Workers;
  TScreenDpiSource DpiSource;
  TMediaDeviceSource Devices;
  TStartupEnvironment Environment;
  Environment.ExecutablePath = QCoreApplication::applicationFilePath();
  Environment.Boxes = &Boxes;
  Environment.Workers = &Workers;
  Environment.DpiSource = &DpiSource;
  Environment.Devices = &Devices;
  Environment.Random = QRandomGenerator::global();

  int Result = 0;
  try {
    TApplicationRun Run(std::move(Environment));
    TMainFrm& Window = Run.CreateMainWindow();
    DpiSource.SetMainWindow(&Window);
    TQuitSignals Signals;
    QObject::connect(&Signals, &TQuitSignals::QuitRequested, &Window,
                     [&Window, &Boxes] { CloseForSessionEnd(Window, Boxes); });
    Window.show();
    Result = QApplication::exec();
    DpiSource.SetMainWindow(nullptr);
    Run.CloseDown();
  } catch (const std::exception& E) {
    // Start-up could not finish (the settings folder cannot be known, say).
    ShowErrorReport(Boxes, E);
    Result = 1;
  }
  AApplication.SetBoxes(nullptr);
  return Result;
}

}  // namespace wavenard
