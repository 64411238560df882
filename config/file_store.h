#pragma once

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

// The name of a file's backup copy: its full name with ".bak" appended.
QString BackupFileName(const QString& AFileName);

// Replaces the file's content by the text ARender produces. The text goes to a new file in the
// same folder that takes the old one's place only once all of it is written and flushed, so a
// failure at any step leaves the previous file exactly as it was. A file that exists but may
// not be written (no write access, or marked read-only by its owner's write bit) is refused.
// A new file gets ANewFilePermissions, set before its first byte (the platform's default less
// the umask when none); a replaced file keeps its permissions.
// Raises EFileFailure "Cannot create file \"%s\". %s"; failures of ARender pass through.
void WriteRecordFile(const QString& AFileName, const std::function<QByteArray()>& ARender,
                     std::optional<QFileDevice::Permissions> ANewFilePermissions = std::nullopt);

// Reads the whole file and hands its bytes to AApply; its failures pass through.
// Raises EFileFailure "Cannot open file \"%s\". %s" when the file cannot be opened or read.
void ReadRecordFile(const QString& AFileName, const std::function<void(const QByteArray&)>& AApply);

// Copies the file to its backup copy, replacing an older one only once the copy is complete.
// Never raises: a failed copy shows "Copy failed: %s (%s)" and the caller is not told.
void BackupFile(const QString& AFileName, TBoxPresenter& ABoxes);

// Copies the backup copy over a file that is missing or empty. A file that holds at least one
// byte is never touched, even when it cannot be opened. File-system failures of the copy are
// ignored; any other failure is raised (ESettingsFailure) when ASilent, else shown in a box.
void RestoreFromBackup(const QString& AFileName, bool ASilent, TBoxPresenter& ABoxes);

// Keeps the file as it stands under its name with ASuffix appended, replacing an older file of
// that name, and leaves the file itself in place. Returns false when there is no such file.
// Raises EFileFailure "Cannot create file \"%s\". %s" naming the kept file.
bool KeepAside(const QString& AFileName, const QString& ASuffix);

}  // namespace wavenard
