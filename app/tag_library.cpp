#include "app/tag_library.h"

#include <QFileInfo>

#include "support/message_box.h"

namespace wavenard {

TTagLibrary::TTagLibrary(const QString& AApplicationFolder, TBoxPresenter& ABoxes) {
  const QString Name = QString::fromLatin1(FileName);
  const QString Local = AApplicationFolder + Name;
  FLibrary.setFileName(QFileInfo::exists(Local) ? Local : Name);
  QString Error;
  if (!FLibrary.load()) {
    Error = FLibrary.errorString();
  } else {
    for (size_t I = 0; I < EntryPoints.size() && Error.isEmpty(); ++I) {
      FEntries[I] = FLibrary.resolve(EntryPoints[I]);
      if (FEntries[I] == nullptr) {
        Error = FLibrary.errorString();
      }
    }
  }
  FLoaded = Error.isEmpty();
  if (!FLoaded) {
    ABoxes.MyMessageBox(Name + QStringLiteral(" loading error: ") + Error, QStringLiteral("Error"),
                        MB_OK | MB_ICONERROR);
  }
}

TTagLibrary::~TTagLibrary() {
  if (FLibrary.isLoaded()) {
    FLibrary.unload();
  }
}

}  // namespace wavenard
