#include "remote/playlist_reading.h"

#include "remote/xml_parser.h"

#include <memory>

namespace wavenard {

void ReadPlaylist(const QString& AText, TPlaylist& APlaylist) {
  TXmlParser Parser;
  Parser.LoadFromBuffer(AText);
  while (Parser.Scan()) {
    // The kind of part is not looked at: a text part after a TRACK start tag still carries its
    // name and attributes and gives a row of its own.
    if (Parser.CurName().compare(u"TRACK", Qt::CaseInsensitive) != 0) {
      continue;
    }
    auto Item = std::make_unique<TPlaylistItem>();
    Item->Title = Parser.CurAttr().Value(u"CASTTITLE");
    Item->Duration = Parser.CurAttr().Value(u"DURATION");
    APlaylist.Add(std::move(Item));
  }
}

}  // namespace wavenard
