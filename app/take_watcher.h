#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QSet>
#include <QString>

#include "remote/take_file.h"

namespace wavenard {

// Watches the voice-tracks folder for takes that the recorder finishes while the window runs.
// Nothing passes between the two programs but the file: a take being recorded or reviewed is
// held open and locked by the recorder, and becomes final when it lets go (and touches or
// replaces the file, which the folder or file watch reports). Takes already in the folder when
// watching starts are not new; one still held then is, once it is finished.
class TTakeWatcher final : public QObject {
  Q_OBJECT

 public:
  explicit TTakeWatcher(QString AFolder, QObject* AParent = nullptr);
  Q_DISABLE_COPY_MOVE(TTakeWatcher)

  const QString& Folder() const { return FFolder; }
  // Looks at the folder again: for the folder itself when it did not exist yet, and for the
  // takes still held, in case their release went unreported. For a slow periodic tick.
  void Recheck();

 signals:
  void TakeFinished(const TFinishedTake& ATake);

 private:
  void Scan(bool AFirst);
  void Check(const QString& APath);

  const QString FFolder;
  QFileSystemWatcher FWatcher;
  // Every take name seen finished, or present when watching began.
  QSet<QString> FKnown;
  // Takes seen but not finished yet, by path.
  QSet<QString> FHeld;
  bool FWatching = false;
};

}  // namespace wavenard
