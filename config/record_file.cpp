#include "config/record_file.h"

#include <QFileInfo>

#include "config/failures.h"
#include "config/file_store.h"
#include "config/object_text.h"

namespace wavenard {

bool TRecordFile::Exists() const {
  // A link to nowhere still names a file the user has, which must not be replaced unseen.
  const QFileInfo Info(FFileName);
  return Info.exists() || Info.isSymLink();
}

void TRecordFile::Read(TComponent& ARecord) {
  try {
    ReadRecordFile(FFileName, [&ARecord](const QByteArray& AText) { ReadObjectText(AText, ARecord); });
  } catch (const ESettingsFailure&) {
    FDamaged = true;
    throw;
  }
}

void TRecordFile::Write(const TComponent& ARecord,
                        std::optional<QFileDevice::Permissions> ANewFilePermissions) {
  if (FDamaged) {
    KeepAside(FFileName, QString::fromLatin1(DamagedSuffix));
  }
  WriteRecordFile(
      FFileName, [&ARecord] { return WriteObjectText(ARecord); }, ANewFilePermissions);
  FDamaged = false;
}

}  // namespace wavenard
