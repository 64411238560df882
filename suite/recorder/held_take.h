#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>

namespace wavenard {

// A complete take that the recorder still holds: its descriptor stays open with the exclusive
// lock it was written under, so Wavenard does not take it as finished while the presenter
// reviews it. Letting go makes it final; a take that is let go of by nobody (the recorder was
// killed) is final as well.
class THeldTake final {
 public:
  // Takes over AFd, open and locked.
  THeldTake(int AFd, QString AFileName);
  // Keeps the take as it is.
  ~THeldTake();
  Q_DISABLE_COPY_MOVE(THeldTake)

  const QString& FileName() const { return FFileName; }
  int Descriptor() const { return FFd; }
  bool IsHeld() const { return FFd >= 0; }

  // The hidden file beside the take that its new content is written into: ".<name>.part".
  QString PartFileName() const;
  // Creates that file exclusively, replacing one a killed recorder left behind (nobody holds it).
  // Raises ERecordingFailure.
  int CreatePart() const;

  // Makes the take final as it is: lets go of it, then touches its time so that a folder watcher
  // sees the change.
  void Keep();
  // Makes APart (complete and held, see CreatePart) the take: renames it over the take, then
  // lets go of both. Raises ERecordingFailure; the take is then held as before and the part is
  // removed.
  void Replace(THeldTake& APart);
  // Removes the take, then lets go of it.
  void Discard();

 private:
  void Release();

  int FFd;
  QString FFileName;
};

}  // namespace wavenard
