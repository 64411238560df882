#pragma once

#include <sys/stat.h>

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <functional>
#include <optional>

namespace wavenard {

class TBoxPresenter;

// The file operations through which every settings record reaches the disk. The store keeps no
// state: each call opens and closes its own files. Failures are EFileFailure and ESyntaxFailure
// (config/failures.h).
//
// Links: a settings file may be a link to where the user really keeps it; the link is followed,
// also to a file that does not exist yet, which is then created there. In a folder that others
// may write, or that belongs to another user, a link is followed only when it belongs to the user
// or to root. Backup copies, kept copies and temporary files are never opened through a link.
//
// Owners: the settings folder may be shared with other users. A file is only ever written into
// when it belongs to the user; another user's file is replaced by a new file of the user's own,
// or, where the folder does not allow that, left alone and the write refused. A new file never
// belongs to anybody but the user who writes it.
//
// Size: no settings file is larger than MaxSettingsFileSize; a larger one is refused rather than
// read, so that a stray or planted file cannot exhaust the memory.

inline constexpr qsizetype MaxSettingsFileSize = 16 * 1024 * 1024;

// Whether the link ALink (its lstat), found at APath, may be followed: it belongs to the user or
// to root, or lies in a folder that nobody but the user and root may write.
bool LinkTrusted(const QByteArray& APath, const struct stat& ALink);

// The name of a file's backup copy: its full name with ".bak" appended.
QString BackupFileName(const QString& AFileName);

struct TWriteOptions {
  // The permissions of a new file, set before its first byte; none: the platform's default less
  // the umask.
  std::optional<QFileDevice::Permissions> NewFilePermissions;
  // An existing file that grants anything to its group or to others loses those rights.
  bool Private = false;
  // When the folder refuses the new file (or its rename), the file is written in place instead.
  // This is called first and raises to refuse that: it keeps what the file holds.
  std::function<void()> BeforeInPlace;
};

// Replaces the file's content by the text ARender produces. The text goes to a new file in the
// same folder that takes the old one's place only once all of it is written and flushed, so a
// failure at any step leaves the previous file exactly as it was. A file that exists but may
// not be written (the user's own without write access, or any file marked read-only by its
// owner's write bit) is refused. A replaced file keeps its permissions and, when it is the user's
// own or of a group the user belongs to, its group.
// When the folder may not be written, a writable file of the user's own is written in place (after
// AOptions.BeforeInPlace); a failure then writes the old content back. Another user's file that
// the folder does not let the user replace is refused.
// Raises EFileFailure naming the failed step: "Cannot create file \"%s\". %s", or "Cannot write
// file", "Cannot flush file", "Cannot replace file" (also naming the owner of a file that is not
// the user's); failures of ARender pass through.
void WriteRecordFile(const QString& AFileName, const std::function<QByteArray()>& ARender,
                     const TWriteOptions& AOptions = {});

// Reads the whole file and hands its bytes to AApply; its failures pass through, except running out
// of memory, which is a file failure like any file that cannot be read.
// Raises EFileFailure "Cannot open file \"%s\". %s" when the file cannot be opened, "Cannot read
// file \"%s\". %s" when reading it fails, "Cannot read file \"%s\". The file is larger than
// 16 MiB" when it is larger than MaxSettingsFileSize.
void ReadRecordFile(const QString& AFileName, const std::function<void(const QByteArray&)>& AApply);

// Copies the file to its backup copy, replacing an older one only once the copy is complete.
// Never raises: a failed copy shows "Copy failed: %s (%s)" and the caller is not told.
void BackupFile(const QString& AFileName, TBoxPresenter& ABoxes);
// The same copy for a caller that must know: raises EFileFailure naming the backup copy.
void CopyToBackup(const QString& AFileName);
// A backup copy is there that holds the last good settings: a regular file of the user's own, not
// a link, readable, neither empty nor larger than settings ever are.
bool HasBackup(const QString& AFileName);

// Copies the backup copy over a file that is missing or empty, when HasBackup. A file that holds
// at least one byte is never touched, even when it cannot be opened. The restored file belongs to
// the user. File-system failures of the copy are ignored; any other failure is raised
// (ESettingsFailure) when ASilent, else shown in a box.
void RestoreFromBackup(const QString& AFileName, bool ASilent, TBoxPresenter& ABoxes);

// Keeps the file as it stands under the first free name of its name with ASuffix appended, then
// ".1" to ".99", then a random suffix, and leaves the file itself in place. An older kept file is
// never replaced. Returns the name used, or nothing when there is nothing to keep (no file, an
// empty one, one larger than MaxSettingsFileSize, or a link to a missing file).
// Raises EFileFailure "Cannot create file \"%s\". %s" naming the first of those names.
std::optional<QString> KeepAside(const QString& AFileName, const QString& ASuffix);

}  // namespace wavenard
