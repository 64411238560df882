#include "suite/recorder/recorder_settings.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include "config/failures.h"
#include "config/file_store.h"
#include "config/player_ini.h"
#include "config/record_file.h"
#include "config/system_ini.h"
#include "support/message_box.h"

namespace wavenard {

namespace {

// The records are only read here, so nothing they could show ever reaches the user.
class TNoBoxes final : public TBoxPresenter {
 protected:
  int Present(const TBoxRequest&) override { return IDOK; }
};

// Reads AFileName, or its backup copy when the file is missing or empty, into ARecord. Only a
// backup copy that Wavenard would restore stands in for the file: one of the user's own.
void ReadOnly(const QString& AFileName, TComponent& ARecord) {
  QString Source = AFileName;
  if (QFileInfo(Source).size() == 0) {
    if (!HasBackup(AFileName)) {
      return;
    }
    Source = BackupFileName(AFileName);
  }
  try {
    TRecordFile(Source).Read(ARecord);
  } catch (const ESettingsFailure&) {
    // As in Wavenard: values applied before the failure stay, the others keep their defaults.
  }
}

}  // namespace

TRecorderSettings::TRecorderSettings(TFolders AFolders)
    : FFolders(std::move(AFolders)), FBoxes(std::make_unique<TNoBoxes>()) {
  FPlayerIni = std::make_unique<TPlayerIni>(FFolders, *FBoxes, *QRandomGenerator::global());
  ReadOnly(FPlayerIni->FileName(), *FPlayerIni);
  FSystemIni = std::make_unique<TSystemIni>(FFolders, *FBoxes);
  ReadOnly(FSystemIni->FileName(), *FSystemIni);
  // A stored empty list leaves the constructed entries; a stored list always has a first item.
  if (FSystemIni->Inputs.Count() == 0) {
    FSystemIni->Inputs.Add();
  }
}

TRecorderSettings::~TRecorderSettings() = default;

const TInputDevice& TRecorderSettings::Microphone() const {
  return FSystemIni->Inputs.Items(0);
}

QString TRecorderSettings::VoiceTracksFolder() const {
  return FPlayerIni->TakesFolder();
}

}  // namespace wavenard
