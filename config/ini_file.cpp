#include "config/ini_file.h"

#include <QFileInfo>
#include <QStringDecoder>

#include "config/file_store.h"
#include "support/windows1252.h"

namespace wavenard {

namespace {

QString DecodeText(const QByteArray& AContent) {
  auto Decode = [&](QStringConverter::Encoding AEncoding, qsizetype AMarkSize) {
    QStringDecoder Decoder(AEncoding, QStringConverter::Flag::Stateless);
    return QString(Decoder.decode(QByteArrayView(AContent).sliced(AMarkSize)));
  };
  if (AContent.startsWith("\xEF\xBB\xBF")) {
    return Decode(QStringConverter::Utf8, 3);
  }
  if (AContent.startsWith("\xFF\xFE")) {
    return Decode(QStringConverter::Utf16LE, 2);
  }
  if (AContent.startsWith("\xFE\xFF")) {
    return Decode(QStringConverter::Utf16BE, 2);
  }
  return DecodeWindows1252(AContent);
}

bool IsBlank(QChar AChar) {
  return AChar.unicode() <= 32;
}

QStringView TrimLeft(QStringView AText) {
  qsizetype Start = 0;
  while (Start < AText.size() && IsBlank(AText[Start])) {
    ++Start;
  }
  return AText.sliced(Start);
}

QStringView TrimRight(QStringView AText) {
  qsizetype End = AText.size();
  while (End > 0 && IsBlank(AText[End - 1])) {
    --End;
  }
  return AText.first(End);
}

}  // namespace

TIniFile::TIniFile(const QByteArray& AContent) {
  const QString Text = DecodeText(AContent);
  qsizetype Current = -1;  // the section the entries go to; none before the first one
  // Lines end with CR LF, LF or CR; the empty pieces between CR and LF are skipped as empty lines.
  for (QStringView Line : QStringView(Text).tokenize(QChar(u'\n'))) {
    for (QStringView Piece : Line.tokenize(QChar(u'\r'))) {
      const QStringView Trimmed = TrimRight(TrimLeft(Piece));
      if (Trimmed.isEmpty() || Trimmed.startsWith(u';')) {
        continue;
      }
      if (Trimmed.size() >= 2 && Trimmed.startsWith(u'[') && Trimmed.endsWith(u']')) {
        const QString Name = TrimRight(TrimLeft(Trimmed.sliced(1, Trimmed.size() - 2))).toString();
        const QString Key = Name.toCaseFolded();
        if (FSectionIndex.contains(Key)) {
          Current = -1;
        } else {
          FSectionIndex.insert(Key, FSections.size());
          FSections.append(TSection{Name, {}});
          Current = FSections.size() - 1;
        }
        continue;
      }
      if (Current < 0) {
        continue;
      }
      QList<TEntry>& Entries = FSections[Current].Entries;
      const qsizetype Equals = Trimmed.indexOf(u'=');
      if (Equals < 0) {
        Entries.append(TEntry{Trimmed.toString(), std::nullopt});
      } else {
        Entries.append(TEntry{TrimRight(Trimmed.first(Equals)).toString(),
                              TrimLeft(Trimmed.sliced(Equals + 1)).toString()});
      }
    }
  }
}

TIniFile TIniFile::Load(const QString& AFileName) {
  TIniFile Result;
  if (!QFileInfo::exists(AFileName)) {
    return Result;
  }
  ReadRecordFile(AFileName, [&](const QByteArray& AContent) { Result = TIniFile(AContent); });
  return Result;
}

QString TIniFile::ReadString(const QString& ASection, const QString& AKey, const QString& ADefault) const {
  const TSection* Section = FindSection(ASection);
  if (Section == nullptr) {
    return ADefault;
  }
  for (const TEntry& Entry : Section->Entries) {
    if (Entry.Key.compare(AKey, Qt::CaseInsensitive) == 0) {
      return Entry.Value.value_or(ADefault);
    }
  }
  return ADefault;
}

const TIniFile::TSection* TIniFile::FindSection(const QString& AName) const {
  const auto Place = FSectionIndex.constFind(AName.toCaseFolded());
  return Place == FSectionIndex.cend() ? nullptr : &FSections[*Place];
}

}  // namespace wavenard
