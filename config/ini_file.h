#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace wavenard {

// The installer's small INI files, read only. The text is decoded by its byte-order mark (UTF-8,
// UTF-16) or else as Windows-1252. Lines are trimmed of codes up to 32; empty lines and ";"
// lines are skipped; "[name]" opens a section, and a section named a second time is ignored
// there; lines before the first section are ignored; "key=value" is an entry and a line without
// "=" a key without a value. Names match without regard to letter case; the first entry of a key
// counts.
class TIniFile {
 public:
  TIniFile() = default;
  explicit TIniFile(const QByteArray& AContent);

  // A missing file reads as empty. Raises EFileFailure when the file exists but cannot be read.
  static TIniFile Load(const QString& AFileName);

  // The value of a key, or ADefault when the section or key is missing or the key has no value.
  QString ReadString(const QString& ASection, const QString& AKey, const QString& ADefault = {}) const;

 private:
  struct TEntry {
    QString Key;
    std::optional<QString> Value;
  };
  struct TSection {
    QString Name;
    QList<TEntry> Entries;
  };

  const TSection* FindSection(const QString& AName) const;

  QList<TSection> FSections;
  // Index into FSections by the case-folded section name.
  QHash<QString, qsizetype> FSectionIndex;
};

}  // namespace wavenard
