#include "remote/playlist_reading.h"

#include "remote/xml_parser.h"

#include <memory>

namespace wavenard {

namespace {

// Whether AName is TRACK without regard to letter case. Plain ASCII, all the station sends, is
// decided here; anything else goes to Qt's comparison, whose case folding also matches, for
// instance, the Kelvin sign to a K.
bool IsTrack(const QString& AName) {
  if (AName.size() != 5) {
    return false;
  }
  const char16_t* Chars = reinterpret_cast<const char16_t*>(AName.constData());
  char16_t Any = 0;
  for (int I = 0; I < 5; ++I) {
    Any |= Chars[I];
  }
  if (Any >= 0x80) {
    return AName.compare(u"TRACK", Qt::CaseInsensitive) == 0;
  }
  // Setting the 0x20 bit maps only an ASCII letter's two cases to the lower one.
  return (Chars[0] | 0x20) == u't' && (Chars[1] | 0x20) == u'r' && (Chars[2] | 0x20) == u'a' &&
         (Chars[3] | 0x20) == u'c' && (Chars[4] | 0x20) == u'k';
}

constexpr QStringView TitleName = u"CASTTITLE";
constexpr QStringView DurationName = u"DURATION";
constexpr quint32 TitleHash = TNvpNode::HashName(TitleName);
constexpr quint32 DurationHash = TNvpNode::HashName(DurationName);

}  // namespace

void ReadPlaylist(const QString& AText, TPlaylist& APlaylist) {
  TXmlParser Parser;
  Parser.LoadFromBuffer(AText);
  while (Parser.Scan()) {
    // The kind of part is not looked at: a text part after a TRACK start tag still carries its
    // name and attributes and gives a row of its own.
    if (!IsTrack(Parser.CurName())) {
      continue;
    }
    auto Item = std::make_unique<TPlaylistItem>();
    Item->Title = Parser.CurAttr().Value(TitleName, TitleHash);
    Item->Duration = Parser.CurAttr().Value(DurationName, DurationHash);
    APlaylist.Add(std::move(Item));
  }
}

}  // namespace wavenard
