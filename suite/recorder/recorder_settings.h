#pragma once

#include <QString>
#include <memory>

#include "config/folders.h"

namespace wavenard {

class TBoxPresenter;
class TInputDevice;
class TPlayerIni;
class TSystemIni;

// What the recorder takes from the suite's settings: the microphone from "system.ini" and the
// voice-tracks folder from "player.ini", found through the same folders as Wavenard's. The
// files are only read, never written or restored: a file that is missing or empty is read from
// its backup copy instead when that is one Wavenard would restore from, and a file that cannot be
// read (too large, or more than the memory holds) leaves the record's construction values, as
// Wavenard's read does.
class TRecorderSettings final {
 public:
  explicit TRecorderSettings(TFolders AFolders);
  ~TRecorderSettings();
  Q_DISABLE_COPY_MOVE(TRecorderSettings)

  const TFolders& Folders() const { return FFolders; }
  // Capture entry 0 of the system settings.
  const TInputDevice& Microphone() const;
  // The player settings' voice-tracks folder, or the default one below the settings folder when
  // that is empty. No trailing delimiter.
  QString VoiceTracksFolder() const;

 private:
  TFolders FFolders;
  std::unique_ptr<TBoxPresenter> FBoxes;
  std::unique_ptr<TPlayerIni> FPlayerIni;
  std::unique_ptr<TSystemIni> FSystemIni;
};

}  // namespace wavenard
