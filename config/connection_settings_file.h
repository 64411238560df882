#pragma once

#include <QString>

#include "config/record_file.h"

namespace wavenard {

class TBoxPresenter;
class TFolders;
class TSettings;

// The connection settings' file, "settings.ini" in the settings folder. It holds the station's
// password, so it is private to its owner: created so, and tightened at the next save when others
// may read it. Read once when the playlist window is created and
// saved once when it is destroyed; neither takes the record's lock for longer than the text.
class TSettingsFile final {
 public:
  TSettingsFile(TSettings& ASettings, const TFolders& AFolders, TBoxPresenter& ABoxes);
  Q_DISABLE_COPY_MOVE(TSettingsFile)

  const QString& FileName() const { return FFile.FileName(); }

  // Reads the file into the record when there is one. A file that cannot be opened or read is
  // shown as "Error loading settings: %s." and the values read before the failure stay. Raises
  // ESyntaxFailure, the record unchanged, when the text is not object text.
  void Read();
  // Writes the record over the file; a failure is shown as "Error saving settings: %s.". A file
  // this run could not read is first kept aside with ".damaged" appended.
  void Save();

 private:
  TSettings& FSettings;
  TBoxPresenter& FBoxes;
  TRecordFile FFile;
};

}  // namespace wavenard
