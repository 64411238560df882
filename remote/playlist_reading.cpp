#include "remote/playlist_reading.h"

#include "remote/xml_parser.h"
#include "support/text_cut.h"

#include <QLocale>
#include <memory>
#include <optional>

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

// Only these parts read attributes. The others keep what the part before left, so a row they
// give repeats the row before: the part that last set the attributes also set the name.
bool SetsAttributes(TPartType AType) {
  return AType == ptStartTag || AType == ptEmptyTag || AType == ptEndTag || AType == ptPI ||
         AType == ptXmlProlog;
}

QString CellText(const TAttrList& AAttributes, QStringView AName, quint32 AHash) {
  const TNvpNode* Node = AAttributes.Node(AName, AHash);
  return Node ? CutText(Node->ValueLeft(MaxCellLength + 1), MaxCellLength) : QString();
}

QString Count(int AValue) {
  return QLocale(QLocale::English, QLocale::UnitedStates).toString(AValue);
}

}  // namespace

void ReadPlaylist(const QString& AText, TPlaylist& APlaylist) {
  TXmlParser Parser;
  Parser.SetMaxAttributes(MaxPartAttributes);
  Parser.LoadFromBuffer(AText);
  // The row before, shared by the rows that repeat it, so that they cost no text of their own.
  std::optional<TPlaylistItem> Last;
  int Rows = 0;
  while (Parser.Scan()) {
    // The kind of part is not looked at: a text part after a TRACK start tag still carries its
    // name and attributes and gives a row of its own.
    if (!IsTrack(Parser.CurName())) {
      continue;
    }
    if (++Rows > MaxPlaylistRows) {
      throw EPlaylistTooLarge(QStringLiteral("The station's playlist has more than %1 rows; it was not read.")
                                  .arg(Count(MaxPlaylistRows)));
    }
    if (!Last || SetsAttributes(Parser.CurPartType())) {
      Last = TPlaylistItem{CellText(Parser.CurAttr(), TitleName, TitleHash),
                           CellText(Parser.CurAttr(), DurationName, DurationHash)};
    }
    APlaylist.Add(std::make_unique<TPlaylistItem>(*Last));
  }
  if (Parser.AttributeLimitReached()) {
    throw EPlaylistTooLarge(
        QStringLiteral("The station's playlist has a part with more than %1 attributes; it was not read.")
            .arg(Count(MaxPartAttributes)));
  }
}

}  // namespace wavenard
