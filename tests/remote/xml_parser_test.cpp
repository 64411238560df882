#include "remote/xml_parser.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <memory>
#include <string>
#include <vector>

namespace wavenard {
namespace {

using namespace Qt::StringLiterals;

std::string Attrs(const TNvpList& AList) {
  QString Text;
  for (int I = 0; I < AList.Count(); ++I) {
    Text += AList.Name(I) + u'=' + AList.Value(I) + u';';
  }
  return Text.toStdString();
}

// One reported part as the caller sees it: its kind, its text in the document and the current fields.
struct TPart {
  TPartType Type;
  std::string Raw;
  std::string Name;
  std::string Content;
  std::string Attributes;
  bool operator==(const TPart&) const = default;
};

void PrintTo(const TPart& APart, std::ostream* AOut) {
  *AOut << "{" << APart.Type << ", '" << APart.Raw << "', name '" << APart.Name << "', content '"
        << APart.Content << "', attrs '" << APart.Attributes << "'}";
}

std::vector<TPart> ScanAll(TXmlParser& AParser, const QString& ADocument) {
  std::vector<TPart> Parts;
  while (AParser.Scan()) {
    Parts.push_back(
        {AParser.CurPartType(),
         ADocument.mid(AParser.CurStart(), AParser.CurFinal() - AParser.CurStart() + 1).toStdString(),
         AParser.CurName().toStdString(), AParser.CurContent().toStdString(), Attrs(AParser.CurAttr())});
  }
  return Parts;
}

std::vector<TPart> ScanAll(const QString& ADocument, bool ANormalize = true) {
  TXmlParser Parser;
  Parser.LoadFromBuffer(ADocument);
  Parser.SetNormalize(ANormalize);
  return ScanAll(Parser, ADocument);
}

TEST(XmlParser, EachKindOfPartSetsOrKeepsTheCurrentFields) {
  const QString Document = QStringLiteral(
      "<?xml version=\"1.0\" encoding=\"iso-8859-1\" standalone=\"yes\"?>"
      "<a x=\"1\">text<!--c--><![CDATA[ cd ]]><?pi  data ?><b y=\"2\"/>"
      "<!DOCTYPE d [<!ELEMENT d ANY>]></b> tail &lt; </a");
  TXmlParser Parser;
  ASSERT_TRUE(Parser.LoadFromBuffer(Document));
  const std::vector<TPart> Expected = {
      {ptXmlProlog, "<?xml version=\"1.0\" encoding=\"iso-8859-1\" standalone=\"yes\"?>", "", "",
       "version=1.0;encoding=iso-8859-1;standalone=yes;"},
      {ptStartTag, "<a x=\"1\">", "a", "", "x=1;"},
      {ptContent, "text", "a", "text", "x=1;"},
      {ptComment, "<!--c-->", "a", "text", "x=1;"},
      {ptCData, "<![CDATA[ cd ]]>", "a", " cd ", "x=1;"},
      {ptPI, "<?pi  data ?>", "pi", "  data ", ""},
      {ptEmptyTag, "<b y=\"2\"/>", "b", "  data ", "y=2;"},
      {ptDtdc, "<!DOCTYPE d [<!ELEMENT d ANY>]>", "", "", "y=2;"},
      {ptEndTag, "</b>", "b", "", ""},
      {ptContent, " tail &lt; ", "b", "tail <", ""},
      {ptEndTag, "</a", "a", "tail <", ""},
  };
  EXPECT_EQ(ScanAll(Parser, Document), Expected);
  EXPECT_EQ(Parser.XmlVersion(), u"1.0");
  EXPECT_EQ(Parser.Encoding(), u"iso-8859-1");
  EXPECT_EQ(Parser.CurEncoding(), u"ISO-8859-1");
  EXPECT_TRUE(Parser.Standalone());
  EXPECT_EQ(Parser.CurFinal(), Document.size() - 1);
  EXPECT_FALSE(Parser.Scan());
}

TEST(XmlParser, DeclarationWithoutEncodingMeansUtf8) {
  TXmlParser Parser;
  Parser.LoadFromBuffer(u"<?xml version=\"1.0\"?><a/>"_s);
  ASSERT_TRUE(Parser.Scan());
  EXPECT_EQ(Parser.CurEncoding(), u"UTF-8");
  EXPECT_FALSE(Parser.Standalone());
}

TEST(XmlParser, UnclosedPartsRunToTheEnd) {
  const struct {
    QString Document;
    TPart Part;
  } Cases[] = {
      {u"<!-- open"_s, {ptComment, "<!-- open", "", "", ""}},
      {u"<![CDATA[ open"_s, {ptCData, "<![CDATA[ open", "", " open", ""}},
      {u"<?pi open"_s, {ptPI, "<?pi open", "pi", " open", ""}},
      {u"<?xml version=\"1"_s, {ptXmlProlog, "<?xml version=\"1", "", "", "version=1;"}},
      {u"<!DOCTYPE x [ <!ENTITY e \"]>"_s, {ptDtdc, "<!DOCTYPE x [ <!ENTITY e \"]>", "", "", ""}},
      {u"<!DOCTYPE x [ <!-- ]> "_s, {ptDtdc, "<!DOCTYPE x [ <!-- ]> ", "", "", ""}},
      {u"<a b='>"_s, {ptStartTag, "<a b='>", "a", "", "b=>;"}},
      {u"<a b"_s, {ptStartTag, "<a b", "a", "", ""}},
      {u"<"_s, {ptStartTag, "<", "", "", ""}},
      {u"</"_s, {ptEndTag, "</", "", "", ""}},
      {u"<?"_s, {ptPI, "<?", "", "", ""}},
      {u"<!"_s, {ptStartTag, "<!", "!", "", ""}},
      {u"<?xml "_s, {ptXmlProlog, "<?xml ", "", "", ""}},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Document.toStdString());
    EXPECT_EQ(ScanAll(Case.Document), std::vector<TPart>{Case.Part});
  }
}

TEST(XmlParser, TagEndsAtTheFirstCloseAfterItsAttributes) {
  EXPECT_EQ(ScanAll(u"<a b=\"x>y\" c>d>e"_s),
            (std::vector<TPart>{{ptStartTag, "<a b=\"x>y\" c>", "a", "", "b=x>y;"},
                                {ptContent, "d>e", "a", "d>e", "b=x>y;"}}));
  EXPECT_EQ(ScanAll(u"</a x='1'/ >"_s), (std::vector<TPart>{{ptEmptyTag, "</a x='1'/ >", "a", "", "x=1;"}}));
  EXPECT_EQ(ScanAll(u"<>"_s), (std::vector<TPart>{{ptStartTag, "<>", ">", "", ""}}));
}

TEST(XmlParser, TextParts) {
  const struct {
    QString Document;
    bool Normalize;
    std::vector<TPart> Parts;
  } Cases[] = {
      {u" a \t\r\n b "_s, true, {{ptContent, " a \t\r\n b ", "", "a b", ""}}},
      {u" a \t b "_s, false, {{ptContent, " a \t b ", "", " a \t b ", ""}}},
      {u" \r\n<a/>"_s, true, {{ptEmptyTag, "<a/>", "a", "", ""}}},
      {u" \r\n<a/>"_s,
       false,
       {{ptContent, " \r\n", "", " \r\n", ""}, {ptEmptyTag, "<a/>", "a", " \r\n", ""}}},
      {u"x&;y"_s, true, {{ptContent, "x&;y", "", "xy", ""}}},
      {u"a & b"_s, true, {{ptContent, "a & b", "", "a b", ""}}},
      {u"&#65;&#xe9;&#1076;"_s, true, {{ptContent, "&#65;&#xe9;&#1076;", "", "A\u00e9?", ""}}},
      {u"a &b<c>;d</c>"_s,
       true,
       {{ptContent, "a &b<c>;d", "", "a b<c>d", ""}, {ptEndTag, "</c>", "c", "a b<c>d", ""}}},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Document.toStdString());
    EXPECT_EQ(ScanAll(Case.Document, Case.Normalize), Case.Parts);
  }
}

TEST(XmlParser, AnalyzeWalksAttributes) {
  const struct {
    std::u16string Text;
    std::string Attributes;
    size_t Stop;  // index of the character the walk stopped at
  } Cases[] = {
      {u"a=\"1\" b='2'>", "a=1;b=2;", 11},
      {u"a=\"x'y\" b='x\"y'", "a=x'y;b=x\"y;", 15},
      {u" a = \"1\" / >", "a=1;", 9},
      {u"a=\"1\"?>", "a=1;", 5},
      {u"a=\"1\"b=\"2\"", "a=1;b=2;", 10},
      {u"_x-y.z:w=\"1\"", "_x-y.z:w=1;", 12},
      {u"1a=\"x\"", "", 0},
      {u":a=\"x\"", "", 0},
      {u"\u03a9=\"x\"", "", 0},
      {u"\u00d7=\"x\"", "", 0},
      {u"\u00e9=\"x\"", "\u00e9=x;", 5},
      {u"a b=\"1\"", "a=1;", 7},
      {u"a=1 \"2\"", "a=2;", 7},
      {u"a=1>", "", 3},
      {u"a=\"1", "a=1;", 4},
      {u"a=\"&amp;\t\"", "a=&amp;\t;", 10},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(QString::fromStdU16String(Case.Text).toStdString());
    TAttrList List;
    List.Add(std::make_unique<TNvpNode>(u"stale"));
    const char16_t* Stop = List.Analyze(Case.Text.c_str());
    EXPECT_EQ(Attrs(List), Case.Attributes);
    EXPECT_EQ(size_t(Stop - Case.Text.c_str()), Case.Stop);
  }
}

// Values are searched in blocks of characters: put what ends or changes them at every offset,
// and let open values run into the end of the document.
TEST(XmlParser, ValuesAtEveryOffset) {
  for (int Length = 0; Length < 40; ++Length) {
    SCOPED_TRACE(Length);
    const QString Before(Length, u'a');
    const QString After(Length % 11, u'\u00e9');
    TXmlParser Parser;
    Parser.LoadFromBuffer(u"<a v=\""_s + Before + u"\t&amp;'"_s + After + u"\" w='"_s + Before);
    ASSERT_TRUE(Parser.Scan());
    EXPECT_EQ(Parser.CurAttr().Value(u"v"), Before + u" &'"_s + After);
    EXPECT_EQ(Parser.CurAttr().Value(u"w"), Before);
  }
}

TEST(XmlParser, AttributesFromTagsAreNormalAndUnknown) {
  TXmlParser Parser;
  Parser.LoadFromBuffer(u"<a x='1' y='2'/><b z='3'/>"_s);
  ASSERT_TRUE(Parser.Scan());
  ASSERT_TRUE(Parser.Scan());
  ASSERT_EQ(Parser.CurAttr().Count(), 1);
  const auto* Attr = dynamic_cast<const TAttr*>(Parser.CurAttr().Node(0));
  ASSERT_NE(Attr, nullptr);
  EXPECT_EQ(Attr->ValueType, vtNormal);
  EXPECT_EQ(Attr->AttrType, atUnknown);
  EXPECT_EQ(Attr->NameHash(), TNvpNode::HashName(u"z"));
}

// Values are read from the document only when asked for: a node must not outlive its document's
// text, and a list refilled after foreign nodes were added must not take those for its own.
TEST(XmlParser, AttributesLetGoOfAReplacedDocument) {
  TXmlParser Parser;
  Parser.LoadFromBuffer(u"<a name='value &amp; more'/>"_s);
  ASSERT_TRUE(Parser.Scan());
  const TNvpNode* Held = Parser.CurAttr().Node(0);
  ASSERT_NE(Held, nullptr);
  EXPECT_EQ(Held->Value(), u"value & more");
  // The only reference to the first document goes with this load.
  Parser.LoadFromBuffer(u"<b/>"_s);
  EXPECT_EQ(Held->Name(), u"");
  EXPECT_EQ(Held->Value(), QString());
  ASSERT_TRUE(Parser.Scan());
  EXPECT_EQ(Parser.CurAttr().Count(), 0);
}

// A part with more attributes than the limit ends the scan like the end of the document; a name
// that never gets a value is no attribute and does not count.
TEST(XmlParser, AnAttributeLimitEndsTheScanAtThePartThatPassesIt) {
  struct TCase {
    const char* Name;
    QString Document;
    int Reported;  // parts reported before the scan ends
    bool Reached;
  };
  const TCase Cases[] = {
      {"at the limit", u"<a x='1' y='2'/><b x='1' y='2'/>"_s, 2, false},
      {"one more in a tag", u"<a x='1' y='2'/><b x='1' y='2' z='3'/><c/>"_s, 1, true},
      {"one more in an end tag", u"</b x='1' y='2' z='3'><c/>"_s, 0, true},
      {"one more in an instruction", u"<?pi x='1' y='2' z='3'?><c/>"_s, 0, true},
      {"one more in the declaration", u"<?xml x='1' y='2' z='3'?><c/>"_s, 0, true},
      {"a name without value", u"<b x='1' y='2' z><c/>"_s, 2, false},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TXmlParser Parser;
    Parser.SetMaxAttributes(2);
    Parser.LoadFromBuffer(Case.Document);
    int Reported = 0;
    while (Parser.Scan()) {
      EXPECT_LE(Parser.CurAttr().Count(), 2);
      ++Reported;
    }
    EXPECT_EQ(Reported, Case.Reported);
    EXPECT_EQ(Parser.AttributeLimitReached(), Case.Reached);
    EXPECT_FALSE(Parser.Scan());
    // A new scan starts afresh, under the same limit; without one, every attribute is taken.
    Parser.StartScan();
    EXPECT_FALSE(Parser.AttributeLimitReached());
    Parser.SetMaxAttributes(0);
    int All = 0;
    while (Parser.Scan()) {
      ++All;
    }
    EXPECT_FALSE(Parser.AttributeLimitReached());
    EXPECT_GE(All, Reported);
  }
}

// A value read in part is the start of the whole value, normalised the same way, whichever way
// the node holds it.
TEST(XmlParser, ValueLeftIsTheStartOfTheValue) {
  TXmlParser Parser;
  Parser.LoadFromBuffer(u"<a n='x&amp;y&#65;\tz' p='plain text'></a m='raw&amp;'>"_s);
  ASSERT_TRUE(Parser.Scan());
  const TNvpNode* Normalised = Parser.CurAttr().Node(u"n");
  const TNvpNode* Plain = Parser.CurAttr().Node(u"p");
  ASSERT_TRUE(Normalised && Plain);
  const QString Whole = Normalised->Value();
  EXPECT_EQ(Whole, u"x&yA z"_s);
  for (qsizetype Length = 0; Length <= Whole.size() + 1; ++Length) {
    SCOPED_TRACE(Length);
    EXPECT_EQ(Normalised->ValueLeft(Length), Whole.left(Length));
    EXPECT_EQ(Plain->ValueLeft(Length), u"plain text"_s.left(Length));
  }
  ASSERT_TRUE(Parser.Scan());
  EXPECT_EQ(Parser.CurAttr().Node(u"m")->ValueLeft(5), u"raw&a"_s);
  TNvpNode Owned(u"o", u"owned"_s);
  EXPECT_EQ(Owned.ValueLeft(3), u"own"_s);
}

TEST(XmlParser, AnalyzeCopiesWhatItReads) {
  TAttrList List;
  auto Text = std::make_unique<std::u16string>(u"a='1' b='2'");
  List.Analyze(Text->c_str());
  Text->assign(Text->size(), u'x');
  Text.reset();
  EXPECT_EQ(Attrs(List), "a=1;b=2;");

  List.Clear();
  List.Add(std::make_unique<TNvpNode>(u"foreign", u"f"_s));
  const std::u16string Again = u"c='3' d='4'";
  List.Analyze(Again.c_str());
  EXPECT_EQ(Attrs(List), "c=3;d=4;");
  for (int I = 0; I < List.Count(); ++I) {
    EXPECT_NE(dynamic_cast<const TAttr*>(List.Node(I)), nullptr) << I;
  }
}

TEST(NvpList, LookupByNameAndIndex) {
  TNvpList List;
  // "abc" and "cba" share their hash, so the lookup must compare the texts too.
  List.Add(std::make_unique<TNvpNode>(u"abc", u"1"_s));
  List.Add(std::make_unique<TNvpNode>(u"cba", u"2"_s));
  List.Add(std::make_unique<TNvpNode>(u"abc", u"3"_s));
  List.Add(std::make_unique<TNvpNode>(u"", u"4"_s));
  List.Add(nullptr);
  ASSERT_EQ(TNvpNode::HashName(u"abc"), TNvpNode::HashName(u"cba"));

  EXPECT_EQ(List.Count(), 4);
  EXPECT_EQ(List.Value(u"abc"), u"1");
  EXPECT_EQ(List.Value(u"cba"), u"2");
  EXPECT_EQ(List.Value(u""), u"4");
  EXPECT_EQ(List.Node(u"ABC"), nullptr);
  EXPECT_EQ(List.Value(u"ab"), QString());
  EXPECT_EQ(List.Node(2), List.Node(2));
  EXPECT_EQ(List.Value(2), u"3");
  EXPECT_EQ(List.Name(1), u"cba");
  for (const int Index : {-1, 4, 1000}) {
    EXPECT_EQ(List.Node(Index), nullptr);
    EXPECT_EQ(List.Value(Index), QString());
    EXPECT_EQ(List.Name(Index), QString());
  }
  List.Clear();
  EXPECT_EQ(List.Count(), 0);
  EXPECT_EQ(List.Node(u"abc"), nullptr);
  List.Add(std::make_unique<TNvpNode>(u"x", u"5"_s));
  EXPECT_EQ(List.Value(u"x"), u"5");
  List.Node(0)->SetValue(u"6"_s);
  EXPECT_EQ(List.Value(u"x"), u"6");
  EXPECT_EQ(List.Node(1), nullptr);
}

TEST(NvpList, NameHash) {
  // Length times (first + last + character at min(length, length div 2 + 1)).
  EXPECT_EQ(TNvpNode::HashName(u""), 0u);
  EXPECT_EQ(TNvpNode::HashName(u"A"), 1u * (65 + 65 + 65));
  EXPECT_EQ(TNvpNode::HashName(u"AB"), 2u * (65 + 66 + 66));
  EXPECT_EQ(TNvpNode::HashName(u"CASTTITLE"), 9u * ('C' + 'E' + 'T'));
  TNvpNode Node(u"x");
  Node.SetName(u"AB");
  EXPECT_EQ(Node.NameHash(), TNvpNode::HashName(u"AB"));
}

TEST(XmlParser, Lifecycle) {
  TXmlParser Parser;
  EXPECT_EQ(Parser.CurPartType(), ptNone);
  EXPECT_EQ(Parser.CurStart(), -1);
  EXPECT_FALSE(Parser.Scan());  // nothing loaded: an empty document

  ASSERT_TRUE(Parser.LoadFromBuffer(u"<a/>"_s));
  EXPECT_EQ(Parser.Source(), u"<MEM>");
  ASSERT_TRUE(Parser.Scan());
  EXPECT_FALSE(Parser.Scan());
  EXPECT_FALSE(Parser.Scan());
  Parser.StartScan();
  EXPECT_EQ(Parser.CurName(), QString());
  ASSERT_TRUE(Parser.Scan());
  EXPECT_EQ(Parser.CurName(), u"a");

  Parser.SetNormalize(false);
  Parser.Clear();
  EXPECT_TRUE(Parser.Normalize());
  EXPECT_EQ(Parser.Source(), QString());
  EXPECT_FALSE(Parser.Scan());
}

TEST(XmlParser, DocumentEndsAtTheFirstNul) {
  const QString Document = QStringView(u"<a/>\0<b/>", 9).toString();
  TXmlParser Parser;
  ASSERT_TRUE(Parser.LoadFromBuffer(Document));
  ASSERT_TRUE(Parser.Scan());
  EXPECT_EQ(Parser.CurName(), u"a");
  EXPECT_FALSE(Parser.Scan());
  EXPECT_EQ(Parser.CurFinal(), 3);
}

TEST(XmlParser, TranslateCharacterCanBeReplaced) {
  class TBracketing final : public TXmlParser {
   public:
    QString TranslateCharacter(quint32 ACode) override { return u'[' + QString::number(ACode) + u']'; }
  };
  TBracketing Parser;
  Parser.LoadFromBuffer(u"<a v='&#233;&#x;'/>&#4294967296;"_s);
  ASSERT_TRUE(Parser.Scan());
  EXPECT_EQ(Parser.CurAttr().Value(u"v"), u"[233][32]");
  ASSERT_TRUE(Parser.Scan());
  EXPECT_EQ(Parser.CurContent(), u"[32]");
}

// Every part lies inside the document and after the one before; the scan ends. Attribute values
// are read, and so normalised, only when asked for: ask for every one.
void ExpectSaneScan(const QString& ADocument) {
  TXmlParser Parser;
  Parser.LoadFromBuffer(ADocument);
  qsizetype Previous = -1;
  qsizetype Parts = 0;
  while (Parser.Scan()) {
    Attrs(Parser.CurAttr());
    ASSERT_GT(Parser.CurStart(), Previous);
    ASSERT_LE(Parser.CurStart(), Parser.CurFinal());
    ASSERT_LT(Parser.CurFinal(), ADocument.size());
    Previous = Parser.CurFinal();
    ASSERT_LE(++Parts, ADocument.size());
  }
  EXPECT_FALSE(Parser.Scan());
}

TEST(XmlParser, AnyInputScansSafely) {
  const QString Rich = QStringLiteral(
      "<?xml version='1.0' encoding=\"UTF-8\"?><!DOCTYPE p [<!ENTITY e '>'><!-- ] --><?x ]?>]>"
      "<p a=\"&amp;&#233;&#x;\r\n\" b='\"'><t CASTTITLE=\"x\"/>a &b; c<![CDATA[ ]]> ]]><!-- - -->"
      "<?pi t=\"?>\"?></p x=\"y\"/>&#99999999999;&");
  for (qsizetype Length = 0; Length <= Rich.size(); ++Length) {
    SCOPED_TRACE(Length);
    ExpectSaneScan(Rich.left(Length));
  }

  const QString Pieces[] = {u"<"_s,    u">"_s,         u"/"_s,         u"?"_s, u"!"_s,      u"--"_s,
                            u"["_s,    u"]"_s,         u"\""_s,        u"'"_s, u"="_s,      u"&"_s,
                            u";"_s,    u"#"_s,         u"x"_s,         u" "_s, u"\r\n"_s,   u"<?xml "_s,
                            u"<!--"_s, u"<![CDATA["_s, u"<!DOCTYPE"_s, u"a"_s, u"\u0416"_s, QString(QChar(0)),
                            u"&#"_s,   u"9"_s};
  QRandomGenerator Random(20240611);
  for (int Round = 0; Round < 2000; ++Round) {
    QString Document;
    const int Count = Random.bounded(40);
    for (int I = 0; I < Count; ++I) {
      Document += Pieces[Random.bounded(int(std::size(Pieces)))];
    }
    SCOPED_TRACE(Document.toStdString());
    ExpectSaneScan(Document);
  }
}

TEST(XmlParser, LongRunsOfBareAmpersandsStayLinear) {
  // Each "&" searches for a ";" to the end; these would take hours if every search ran again.
  const qsizetype Size = 2'000'000;
  ExpectSaneScan(QString(Size, u'&'));
  ExpectSaneScan(u"<a b='"_s + QString(Size, u'&') + u"'/>"_s);
}

}  // namespace
}  // namespace wavenard
