#include "remote/playlist_reading.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wavenard {
namespace {

using namespace std::string_view_literals;

using TRows = std::vector<std::pair<std::u16string_view, std::u16string_view>>;

struct TCase {
  const char* Name;
  std::u16string_view Document;  // may hold NUL characters
  TRows Rows;                    // title, duration
};

std::vector<std::pair<std::string, std::string>> Utf8(const TRows& ARows) {
  std::vector<std::pair<std::string, std::string>> Result;
  for (const auto& [Title, Duration] : ARows) {
    Result.emplace_back(QStringView(Title).toString().toStdString(),
                        QStringView(Duration).toString().toStdString());
  }
  return Result;
}

std::vector<std::pair<std::string, std::string>> Read(std::u16string_view ADocument) {
  TPlaylist Playlist;
  ReadPlaylist(QStringView(ADocument).toString(), Playlist);
  std::vector<std::pair<std::string, std::string>> Result;
  for (int I = 0; I < Playlist.Count(); ++I) {
    Result.emplace_back(Playlist.Items(I).Title.toStdString(), Playlist.Items(I).Duration.toStdString());
  }
  return Result;
}

const TCase Cases[] = {
    {"empty-element tags one per line",
     u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<PLAYLIST>\r\n"
     u"<TRACK CASTTITLE=\"One\" DURATION=\"03:15\"/>\r\n"
     u"<TRACK CASTTITLE=\"Two\" DURATION=\"1:02:03\" />\r\n</PLAYLIST>\r\n",
     {{u"One", u"03:15"}, {u"Two", u"1:02:03"}}},
    {"start and end tag give two rows",
     u"<TRACK CASTTITLE=\"A\" DURATION=\"1\"></TRACK>",
     {{u"A", u"1"}, {u"", u""}}},
    {"text inside repeats the start tag's row",
     u"<TRACK CASTTITLE=\"A\" DURATION=\"1\">x</TRACK>",
     {{u"A", u"1"}, {u"A", u"1"}, {u"", u""}}},
    {"comment keeps the name",
     u"<TRACK CASTTITLE=\"A\" DURATION=\"1\"/><!-- note -->",
     {{u"A", u"1"}, {u"A", u"1"}}},
    {"CDATA keeps the name",
     u"<TRACK CASTTITLE=\"A\"/><![CDATA[<TRACK CASTTITLE=\"B\"/>]]>",
     {{u"A", u""}, {u"A", u""}}},
    {"processing instruction has its own name", u"<TRACK CASTTITLE=\"A\"/><?pi x?>", {{u"A", u""}}},
    {"declaration clears the name", u"<TRACK CASTTITLE=\"A\"/><?xml version=\"1.0\"?>", {{u"A", u""}}},
    {"document type clears the name and skips its subset",
     u"<TRACK CASTTITLE=\"A\"/><!DOCTYPE PLAYLIST [<!ENTITY e \"<TRACK CASTTITLE='X'/>\"> <!-- ]> --> "
     u"<?p ]>?>]><TRACK CASTTITLE=\"B\"/>",
     {{u"A", u""}, {u"B", u""}}},
    {"document type with a quoted >", u"<!DOCTYPE x SYSTEM \"a>b\"><TRACK CASTTITLE=\"B\"/>", {{u"B", u""}}},
    {"element name in any letter case",
     u"<track CASTTITLE=\"a\"/><Track CASTTITLE=\"b\"/><TRACKS CASTTITLE=\"c\"/>",
     {{u"a", u""}, {u"b", u""}}},
    {"element name by case folding",
     u"<TRAC\u212A CASTTITLE=\"k\"/><TR\u00c4CK CASTTITLE=\"x\"/>",
     {{u"k", u""}}},
    {"attribute names are case-sensitive", u"<TRACK casttitle=\"a\" Duration=\"1\"/>", {{u"", u""}}},
    {"first of duplicated attributes",
     u"<TRACK CASTTITLE=\"first\" CASTTITLE=\"second\"/>",
     {{u"first", u""}}},
    {"named references",
     u"<TRACK CASTTITLE=\"Tom &amp; Jerry &lt;&gt;&apos;&quot;\" DURATION=\"&AMP;&nbsp;\"/>",
     {{u"Tom & Jerry <>'\"", u"AMPnbsp"}}},
    {"numeric references",
     u"<TRACK CASTTITLE=\"&#233;&#xE9;&#XE9;&#65;&#x41;\" DURATION=\"&#1076;\"/>",
     {{u"\u00e9\u00e9\u00e9AA", u"?"}}},
    {"Windows-1252 upper range",
     u"<TRACK CASTTITLE=\"&#8364;&#8211;&#x201C;&#129;\" DURATION=\"&#128;&#150;&#159;\"/>",
     {{u"\u20ac\u2013\u201c\u0081", u"???"}}},
    {"numbers that cannot be read count as 32",
     u"<TRACK CASTTITLE=\"[&#4294967296;][&#x100000000;][&#;][&#x;][&#12a;][&#-1;]\" "
     u"DURATION=\"&#4294967295;&#xFFFFFFFF;&#0065;\"/>",
     {{u"[ ][ ][ ][ ][ ][ ]", u"??A"}}},
    {"tab by reference stays, typed blanks become spaces",
     u"<TRACK CASTTITLE=\"a&#9;b\" DURATION=\"a\tb\r\nc\"/>",
     {{u"a\tb", u"a b  c"}}},
    {"replacements are not read again",
     u"<TRACK CASTTITLE=\"&amp;lt;\" DURATION=\"&#38;#65;\"/>",
     {{u"&lt;", u"&#65;"}}},
    {"& without a later ; in the value stays",
     u"<TRACK CASTTITLE=\"a & b\" DURATION=\"&amp b\"/>",
     {{u"a & b", u"&amp b"}}},
    {"; is searched from the second character after &",
     u"<TRACK CASTTITLE=\"R&;\" DURATION=\"R&;x;\"/>",
     {{u"R&;", u"R;x"}}},
    {"leading and trailing spaces are kept", u"<TRACK CASTTITLE=\"  a  b  \"/>", {{u"  a  b  ", u""}}},
    {"> inside a value", u"<TRACK CASTTITLE=\"a>b\" DURATION=\"1\"/>", {{u"a>b", u"1"}}},
    {"last value without closing quote runs to the end",
     u"<TRACK DURATION=\"1\" CASTTITLE=\"abc/>\n<END a='x'/>",
     {{u"abc/> <END a='x'/>", u"1"}}},
    {"unquoted value: the next quoted text is taken",
     u"<TRACK CASTTITLE=abc DURATION=\"1\"/>",
     {{u"1", u""}}},
    {"attribute without value takes the next value",
     u"<TRACK selected CASTTITLE=\"a\" DURATION=\"1\"/>",
     {{u"", u"1"}}},
    {"end tag attributes are not normalised", u"</TRACK CASTTITLE=\"a&amp;b\">", {{u"a&amp;b", u""}}},
    {"an end tag that turns empty is normalised", u"</TRACK CASTTITLE=\"a&amp;b\t\"/>", {{u"a&b ", u""}}},
    {"processing instruction with target TRACK",
     u"<?TRACK CASTTITLE=\"a&amp;b\" DURATION=\"x\ty\"?>",
     {{u"a&amp;b", u"x\ty"}}},
    {"empty answer", u"", {}},
    {"plain text answer", u"OK\r\n", {}},
    {"nothing from a NUL on is read", u"<TRACK CASTTITLE=\"a\"/>\0<TRACK CASTTITLE=\"b\"/>"sv, {{u"a", u""}}},
    {"a NUL ends an open value", u"<TRACK CASTTITLE=\"a\0b\"/>"sv, {{u"a", u""}}},
    {"ends with <", u"<TRACK CASTTITLE=\"a\"/><", {{u"a", u""}}},
    {"ends with </", u"<TRACK CASTTITLE=\"a\"/></", {{u"a", u""}}},
    {"truncated in an attribute name", u"<TRACK CASTTITLE=\"a\" DUR", {{u"a", u""}}},
    {"truncated in a value", u"<TRACK CASTTITLE=\"a", {{u"a", u""}}},
    {"truncated after the name", u"<TRACK", {{u"", u""}}},
    {"unterminated comment",
     u"<TRACK CASTTITLE=\"a\"/><!-- <TRACK CASTTITLE=\"b\"/>",
     {{u"a", u""}, {u"a", u""}}},
    {"unterminated CDATA section", u"<![CDATA[<TRACK CASTTITLE=\"b\"/>", {}},
    {"unterminated processing instruction", u"<?pi <TRACK CASTTITLE=\"b\"/>", {}},
    {"unescaped & in text swallows markup up to the next ;",
     u"<TRACK CASTTITLE=\"a\"/>x & y<TRACK CASTTITLE=\"b\"/>; z<TRACK CASTTITLE=\"c\"/>",
     {{u"a", u""}, {u"a", u""}, {u"c", u""}}},
    {"& in text without any later ; is dropped",
     u"<TRACK CASTTITLE=\"a\"/>R&B<TRACK CASTTITLE=\"b\"/>",
     {{u"a", u""}, {u"a", u""}, {u"b", u""}}},
    {"text that is blank after references gives no part",
     u"<TRACK CASTTITLE=\"a\"/> &#32;&#9; <TRACK CASTTITLE=\"b\"/>",
     {{u"a", u""}, {u"b", u""}}},
    {"/ right after the name makes an empty tag", u"<TRACK/x CASTTITLE=\"a\">", {{u"", u""}}},
    {"the first character after < belongs to the name", u"< TRACK CASTTITLE=\"a\"/>", {}},
};

TEST(PlaylistReading, RowsFromDocumentText) {
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    EXPECT_EQ(Read(Case.Document), Utf8(Case.Rows));
  }
}

QString Repeated(const QString& APart, int ATimes) {
  QString Text;
  Text.reserve(APart.size() * ATimes);
  for (int I = 0; I < ATimes; ++I) {
    Text += APart;
  }
  return Text;
}

QString Attributes(int ACount) {
  QString Text;
  for (int I = 1; I < ACount; ++I) {
    Text += QStringLiteral(" A%1=\"\"").arg(I);
  }
  return Text + QStringLiteral(" CASTTITLE=\"last\"");
}

// The row and attribute bounds: at the bound the answer is read whole, one past it fails with the
// status text, however the rows come about.
TEST(PlaylistReading, BoundsOfRowsAndAttributes) {
  const QString TooManyRows =
      QStringLiteral("The station's playlist has more than 100,000 rows; it was not read.");
  const QString TooManyAttributes =
      QStringLiteral("The station's playlist has a part with more than 1,000 attributes; it was not read.");
  struct TCase {
    const char* Name;
    QString Document;
    int Rows;       // when it is read
    QString Error;  // when it fails
  };
  const TCase Cases[] = {
      {"empty tags at the bound", Repeated(u"<TRACK/>"_qs, 100'000), 100'000, {}},
      {"empty tags past it", Repeated(u"<TRACK/>"_qs, 100'001), 0, TooManyRows},
      {"start tags and text at the bound", Repeated(u"<TRACK>a"_qs, 50'000), 100'000, {}},
      {"start tags and text past it", Repeated(u"<TRACK>a"_qs, 50'000) + u"<TRACK>"_qs, 0, TooManyRows},
      {"comments repeating one tag", u"<TRACK/>"_qs + Repeated(u"<!---->"_qs, 100'000), 0, TooManyRows},
      {"attributes at the bound", u"<TRACK"_qs + Attributes(1'000) + u"/>"_qs, 1, {}},
      {"attributes past it", u"<TRACK"_qs + Attributes(1'001) + u"/>"_qs, 0, TooManyAttributes},
      {"attributes past it in another part", u"<TRACK/><x"_qs + Attributes(1'001) + u"/><TRACK/>"_qs, 0,
       TooManyAttributes},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TPlaylist Playlist;
    try {
      ReadPlaylist(Case.Document, Playlist);
      EXPECT_TRUE(Case.Error.isEmpty()) << "read, expected to fail";
      EXPECT_EQ(Playlist.Count(), Case.Rows);
    } catch (const EPlaylistTooLarge& E) {
      EXPECT_EQ(E.Message(), Case.Error);
    }
  }
  TPlaylist Playlist;
  ReadPlaylist(u"<TRACK"_qs + Attributes(1'000) + u"/>"_qs, Playlist);
  EXPECT_EQ(Playlist.Items(0).Title, u"last"_qs);
}

// Title and Duration are cut when read, after normalisation, never inside a surrogate pair; a
// row that repeats the row before shares its texts.
TEST(PlaylistReading, LongCellsAreCutWithAnEllipsis) {
  const QString Ellipsis(QChar(0x2026));
  const QString Emoji = QString::fromUtf8("\xF0\x9F\x8E\xB5");
  struct TCase {
    const char* Name;
    QString Value;  // as written between the quotes
    QString Cell;
  };
  const TCase Cases[] = {
      {"at the length", QString(1024, u'a'), QString(1024, u'a')},
      {"one more", QString(1025, u'a'), QString(1024, u'a') + Ellipsis},
      {"thirty million", QString(30'000'000, u'a'), QString(1024, u'a') + Ellipsis},
      {"references count as what they stand for", Repeated(u"&amp;"_qs, 1024), QString(1024, u'&')},
      {"and are cut as such", Repeated(u"&amp;"_qs, 2000), QString(1024, u'&') + Ellipsis},
      {"blanks become spaces first", u"\t"_qs + QString(1024, u'b'),
       u" "_qs + QString(1023, u'b') + Ellipsis},
      {"a pair across the cut", QString(1023, u'a') + Emoji + u"b"_qs, QString(1023, u'a') + Ellipsis},
      {"a pair at the cut", QString(1022, u'a') + Emoji + u"b"_qs, QString(1022, u'a') + Emoji + Ellipsis},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TPlaylist Playlist;
    ReadPlaylist(
        u"<TRACK CASTTITLE=\""_qs + Case.Value + u"\" DURATION=\""_qs + Case.Value + u"\">text<!---->"_qs,
        Playlist);
    ASSERT_EQ(Playlist.Count(), 3);
    EXPECT_EQ(Playlist.Items(0).Title, Case.Cell);
    EXPECT_EQ(Playlist.Items(0).Duration, Case.Cell);
    for (int Row = 1; Row < Playlist.Count(); ++Row) {
      EXPECT_EQ(Playlist.Items(Row).Title.constData(), Playlist.Items(0).Title.constData()) << Row;
      EXPECT_EQ(Playlist.Items(Row).Duration.constData(), Playlist.Items(0).Duration.constData()) << Row;
    }
  }
}

}  // namespace
}  // namespace wavenard
