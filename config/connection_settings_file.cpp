#include "config/connection_settings_file.h"

#include <exception>

#include "config/connection_settings.h"
#include "config/failures.h"
#include "config/folders.h"
#include "support/failure.h"
#include "support/message_box.h"

namespace wavenard {

namespace {

// The password stands in the file as plain text: nobody but its owner may read it, from the
// first byte on, and a file that others may read is closed to them at the next save.
TRecordFile::TOptions PrivateFile() {
  TRecordFile::TOptions Options;
  Options.NewFilePermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
  Options.Private = true;
  return Options;
}

}  // namespace

TSettingsFile::TSettingsFile(TSettings& ASettings, const TFolders& AFolders, TBoxPresenter& ABoxes)
    : FSettings(ASettings),
      FBoxes(ABoxes),
      FFile(AFolders.SettingsFile(QStringLiteral("settings.ini")), PrivateFile()) {}

void TSettingsFile::Read() {
  if (!FFile.Exists()) {
    return;
  }
  try {
    FFile.Read(FSettings);
  } catch (const EFileFailure& Failure) {
    FBoxes.MyMessageBox(QStringLiteral("Error loading settings: %1.").arg(Failure.Message()),
                        QStringLiteral("Error"), MB_ICONERROR | MB_OK);
  }
}

void TSettingsFile::Save() {
  try {
    FFile.Write(FSettings, FBoxes);
  } catch (const std::exception& Failure) {
    FBoxes.MyMessageBox(QStringLiteral("Error saving settings: %1.").arg(FailureText(Failure)),
                        QStringLiteral("Error"), MB_ICONERROR | MB_OK);
  }
}

}  // namespace wavenard
