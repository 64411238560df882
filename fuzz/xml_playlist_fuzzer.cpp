// The station's answer as the client reads it: the scanner's walk over every part, the attribute
// lists it hands out, and the playlist reading on top. The bytes are read twice: as UTF-8, and
// as raw UTF-16 code units, unpaired surrogates and all, which an answer decoded by its
// "charset=utf-16" can hold.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "remote/playlist.h"
#include "remote/playlist_reading.h"
#include "remote/xml_parser.h"

using namespace wavenard;

namespace {

// Touches every field of the current part so that the sanitizers see each read.
qsizetype VisitPart(const TXmlParser& AParser) {
  qsizetype Sum = AParser.CurName().size() + AParser.CurContent().size();
  const TAttrList& Attrs = AParser.CurAttr();
  for (int I = 0; I < Attrs.Count(); ++I) {
    const QString Name = Attrs.Name(I);
    Sum += Name.size() + Attrs.Value(I).size() + Attrs.Value(Name).size();
  }
  // Out-of-range indexes answer empty.
  Sum += Attrs.Value(-1).size() + Attrs.Value(Attrs.Count()).size();
  return Sum;
}

void ScanAll(TXmlParser& AParser, bool ANormalize, qsizetype ALength) {
  AParser.SetNormalize(ANormalize);
  AParser.StartScan();
  qsizetype Parts = 0;
  volatile qsizetype Sink = 0;
  while (AParser.Scan()) {
    // Every part covers at least one character of the document and lies inside it, so there are
    // never more parts than characters.
    if (AParser.CurStart() < 0 || AParser.CurFinal() < AParser.CurStart() || AParser.CurFinal() >= ALength ||
        ++Parts > ALength) {
      __builtin_trap();
    }
    const int Limit = AParser.CurAttr().MaxCount();
    if (Limit > 0 && AParser.CurAttr().Count() > Limit) {
      __builtin_trap();
    }
    Sink = Sink + VisitPart(AParser);
  }
  // Exhausted stays exhausted.
  if (AParser.Scan()) {
    __builtin_trap();
  }
}

void ReadDocument(const QString& AText) {
  // The document ends at its first NUL.
  const qsizetype Nul = AText.indexOf(QChar(0));
  const qsizetype Length = Nul < 0 ? AText.size() : Nul;

  TXmlParser Parser;
  if (!Parser.LoadFromBuffer(AText)) {
    return;
  }
  ScanAll(Parser, true, Length);
  ScanAll(Parser, false, Length);
  // With a limit the scan ends early, and no part ever holds more.
  Parser.SetMaxAttributes(3);
  ScanAll(Parser, true, Length);
  Parser.SetMaxAttributes(0);

  // Attributes refer into the document until read: a node held past a new load must not reach
  // into the old document, which the parser's copy kept alive alone.
  TXmlParser Holder;
  Holder.LoadFromBuffer(QString(AText.constData(), AText.size()));
  while (Holder.Scan() && Holder.CurAttr().Count() == 0) {
  }
  if (const TNvpNode* Held = Holder.CurAttr().Node(Holder.CurAttr().Count() - 1)) {
    Holder.LoadFromBuffer(QStringLiteral("<b c='d'/>"));
    Holder.Scan();
    volatile qsizetype Sink = Held->Name().size() + Held->Value().size();
    (void)Sink;
  }

  TAttrList Attrs;
  Attrs.Analyze(reinterpret_cast<const char16_t*>(AText.utf16()));
  volatile qsizetype Sink = Attrs.Count();
  for (int I = 0; I < Attrs.Count(); ++I) {
    Sink = Sink + Attrs.Name(I).size() + Attrs.Value(I).size();
  }

  TPlaylist Playlist;
  try {
    ReadPlaylist(AText, Playlist);
  } catch (const EPlaylistTooLarge&) {
    // A part with too many attributes; the rows read before it are still whole.
  }
  for (int I = 0; I < Playlist.Count(); ++I) {
    const TPlaylistItem& Item = Playlist.Items(I);
    Sink = Sink + Item.Title.size() + Item.Duration.size();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  ReadDocument(QString::fromUtf8(reinterpret_cast<const char*>(AData), static_cast<qsizetype>(ASize)));
  QString Units(static_cast<qsizetype>(ASize / 2), Qt::Uninitialized);
  std::memcpy(Units.data(), AData, ASize / 2 * 2);
  ReadDocument(Units);
  return 0;
}
