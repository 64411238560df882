#include "app/take_watcher.h"

#include <QDir>
#include <QFileInfo>

namespace wavenard {

TTakeWatcher::TTakeWatcher(QString AFolder, QObject* AParent)
    : QObject(AParent), FFolder(std::move(AFolder)), FWatcher(this) {
  connect(&FWatcher, &QFileSystemWatcher::directoryChanged, this, [this] { Scan(false); });
  connect(&FWatcher, &QFileSystemWatcher::fileChanged, this, [this](const QString& APath) { Check(APath); });
  Scan(true);
}

void TTakeWatcher::Recheck() {
  if (!FWatching) {
    Scan(false);
  }
  for (const QString& Path : QSet<QString>(FHeld)) {
    Check(Path);
  }
}

void TTakeWatcher::Scan(bool AFirst) {
  if (FFolder.isEmpty()) {
    return;
  }
  if (!FWatching) {
    if (!QFileInfo(FFolder).isDir()) {
      return;
    }
    FWatching = FWatcher.addPath(FFolder);
  }
  const QDir Folder(FFolder);
  const QStringList Names = Folder.entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
  for (const QString& Name : Names) {
    if (FKnown.contains(Name) || !IsTakeName(Name)) {
      continue;
    }
    const QString Path = Folder.filePath(Name);
    if (FHeld.contains(Path)) {
      // A replaced file is watched anew: the old watch went with the old file.
      FWatcher.addPath(Path);
      Check(Path);
      continue;
    }
    if (AFirst && ReadFinishedTake(Path)) {
      FKnown.insert(Name);
      continue;
    }
    FHeld.insert(Path);
    FWatcher.addPath(Path);
    Check(Path);
  }
}

void TTakeWatcher::Check(const QString& APath) {
  if (!FHeld.contains(APath)) {
    return;
  }
  if (!QFileInfo::exists(APath)) {
    // Discarded.
    FHeld.remove(APath);
    FWatcher.removePath(APath);
    return;
  }
  const std::optional<TFinishedTake> Take = ReadFinishedTake(APath);
  if (!Take) {
    return;
  }
  FHeld.remove(APath);
  FWatcher.removePath(APath);
  FKnown.insert(QFileInfo(APath).fileName());
  emit TakeFinished(*Take);
}

}  // namespace wavenard
