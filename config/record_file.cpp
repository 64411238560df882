#include "config/record_file.h"

#include <QFileInfo>

#include "config/failures.h"
#include "config/file_store.h"
#include "config/object_text.h"
#include "support/message_box.h"

namespace wavenard {

bool TRecordFile::Exists() const {
  // A link to nowhere still names a file the user has, which must not be replaced unseen.
  const QFileInfo Info(FFileName);
  return Info.exists() || Info.isSymLink();
}

void TRecordFile::Read(TComponent& ARecord) {
  try {
    ReadRecordFile(FFileName, [this, &ARecord](const QByteArray& AText) {
      FKnownContent = AText;
      ReadObjectText(AText, ARecord);
    });
  } catch (const ESettingsFailure&) {
    FDamaged = true;
    throw;
  }
}

std::optional<QByteArray> TRecordFile::ChangedContent() const {
  std::optional<QByteArray> Current;
  try {
    ReadRecordFile(FFileName, [&Current](const QByteArray& AText) { Current = AText; });
  } catch (const ESettingsFailure&) {
    return std::nullopt;
  }
  if (Current == FKnownContent) {
    return std::nullopt;
  }
  return Current;
}

void TRecordFile::Apply(const QByteArray& AContent, TComponent& ARecord) {
  FKnownContent = AContent;
  try {
    ReadObjectText(AContent, ARecord);
  } catch (const ESettingsFailure&) {
    FDamaged = true;
    throw;
  }
  FDamaged = false;
}

void TRecordFile::Write(const TComponent& ARecord, TBoxPresenter& ABoxes) {
  const bool HadBackup = FOptions.KeepsBackup && HasBackup(FFileName);
  const bool KeepOldBackup = FDamaged && HadBackup;
  QString NotKept;
  if (FDamaged) {
    try {
      KeepAside(FFileName, QString::fromLatin1(DamagedSuffix));
    } catch (const EFileFailure& Failure) {
      // Without a backup copy the damaged file is all that is left of the user's settings.
      if (!HadBackup) {
        throw;
      }
      NotKept = Failure.Message();
    }
  }
  TWriteOptions Options;
  Options.NewFilePermissions = FOptions.NewFilePermissions;
  Options.Private = FOptions.Private;
  const bool RefreshBackup = FOptions.KeepsBackup && !KeepOldBackup;
  if (RefreshBackup) {
    // Written in place, the file is only safe once its content is in the backup copy.
    Options.BeforeInPlace = [this] { CopyToBackup(FFileName); };
  }
  QByteArray Written;
  WriteRecordFile(
      FFileName,
      [&] {
        Written = WriteObjectText(ARecord);
        return Written;
      },
      Options);
  FDamaged = false;
  FKnownContent = Written;
  if (!NotKept.isEmpty() && !FToldNotKept) {
    FToldNotKept = true;
    ABoxes.MyMessageBox(
        QStringLiteral("The damaged file could not be kept aside: %1. It is replaced now; its "
                       "backup copy %2 still holds the last good settings.")
            .arg(NotKept, BackupFileName(FFileName)),
        QStringLiteral("Warning"), MB_ICONWARNING | MB_OK);
  }
  if (RefreshBackup) {
    BackupFile(FFileName, ABoxes);
  }
}

}  // namespace wavenard
