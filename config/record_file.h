#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <optional>

namespace wavenard {

class TBoxPresenter;
class TComponent;

// One record's settings file. It remembers whether the file existed but could not be read in
// this run: such a file is kept aside under its name with ".damaged" appended (or the first free
// name after it) before the first save replaces it, so the user's last settings are never written
// over with defaults unseen. It also remembers the content it last read or wrote, so that a
// change another program made in the meantime can be seen before a save.
class TRecordFile final {
 public:
  static constexpr const char* DamagedSuffix = ".damaged";

  struct TOptions {
    // The file has a backup copy, refreshed after every save (config/file_store.h).
    bool KeepsBackup = false;
    // The permissions of a new file.
    std::optional<QFileDevice::Permissions> NewFilePermissions;
    // An existing file loses what it grants its group and others at the next save.
    bool Private = false;
  };

  explicit TRecordFile(QString AFileName) : FFileName(std::move(AFileName)) {}
  TRecordFile(QString AFileName, TOptions AOptions)
      : FFileName(std::move(AFileName)), FOptions(std::move(AOptions)) {}

  const QString& FileName() const { return FFileName; }
  bool Exists() const;
  // True from a failed read until the next successful write.
  bool Damaged() const { return FDamaged; }

  // Applies the file's object text to ARecord. EFileFailure and ESyntaxFailure pass on to the
  // caller; either marks the file damaged.
  void Read(TComponent& ARecord);
  // The file's content when it is not what this run last read or wrote; nothing when it is the
  // same, or missing or unreadable now.
  std::optional<QByteArray> ChangedContent() const;
  // Applies AContent, which the file holds now, as Read does.
  void Apply(const QByteArray& AContent, TComponent& ARecord);

  // Writes ARecord's object text over the file, first keeping a damaged file aside, then
  // refreshing the backup copy when the file keeps one. After a damaged read a backup copy that
  // holds the last good settings (HasBackup in config/file_store.h) is left as it is. A damaged
  // file that cannot be kept aside is replaced all the same when there is such a backup copy, and
  // ABoxes says so once; otherwise the save is refused. Raises EFileFailure; the file is then left
  // as it was. A failed backup copy is shown in ABoxes and not raised.
  void Write(const TComponent& ARecord, TBoxPresenter& ABoxes);

 private:
  QString FFileName;
  TOptions FOptions;
  bool FDamaged = false;
  bool FToldNotKept = false;
  std::optional<QByteArray> FKnownContent;
};

}  // namespace wavenard
