#pragma once

#include <QFileDevice>
#include <QString>
#include <optional>

namespace wavenard {

class TComponent;

// One record's settings file. It remembers whether the file existed but could not be read in
// this run: such a file is kept aside under its name with ".damaged" appended before the first
// save replaces it, so the user's last settings are never written over with defaults unseen.
class TRecordFile final {
 public:
  static constexpr const char* DamagedSuffix = ".damaged";

  explicit TRecordFile(QString AFileName) : FFileName(std::move(AFileName)) {}

  const QString& FileName() const { return FFileName; }
  bool Exists() const;
  // True from a failed read until the next successful write.
  bool Damaged() const { return FDamaged; }

  // Applies the file's object text to ARecord. EFileFailure and ESyntaxFailure pass on to the
  // caller; either marks the file damaged.
  void Read(TComponent& ARecord);
  // Writes ARecord's object text over the file, first keeping a damaged file aside. Raises
  // EFileFailure; the file is then left as it was.
  void Write(const TComponent& ARecord,
             std::optional<QFileDevice::Permissions> ANewFilePermissions = std::nullopt);

 private:
  QString FFileName;
  bool FDamaged = false;
};

}  // namespace wavenard
