#pragma once

#include <QDateTime>
#include <QString>

namespace wavenard {

// The voice track's file name for a recording started at AStartTime: "VT 2026-12-10 14-03-22.flac".
QString VoiceTrackFileName(const QDateTime& AStartTime);

// A take's file just created, open for reading and writing; the caller owns the descriptor.
struct TNewTakeFile {
  int Fd = -1;
  QString FileName;
};

// The voice-tracks folder as the recorder writes into it. The folder may lie in a settings folder
// that other users may write, so it is only used when nobody else can have put it or the way to it
// there: every link on the way must pass the settings store's link rule, and the folder itself must
// belong to the user or to root and be closed to others (or sticky, as /tmp is).
class TTakeFolder final {
 public:
  explicit TTakeFolder(QString APath);
  ~TTakeFolder();
  Q_DISABLE_COPY_MOVE(TTakeFolder)

  // Creates the folder when missing and checks it. Raises ERecordingFailure saying why Record is
  // refused.
  void Open();
  // Creates the take for AStartTime under the first free name: "VT … .flac", then "VT … (2).flac"
  // and on. A name is taken when anything has it, also a link that leads nowhere; a name taken
  // between the look and the creation (another recorder in the same second) moves on to the
  // next. Raises ERecordingFailure.
  TNewTakeFile CreateTake(const QDateTime& AStartTime);

  const QString& Path() const { return FPath; }

 private:
  void CheckLinksOnTheWay() const;
  void Close();

  QString FPath;
  int FFd = -1;
};

}  // namespace wavenard
