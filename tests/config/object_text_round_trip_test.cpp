#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "config/connection_settings.h"
#include "config/object_text.h"
#include "test_records.h"
#include "text_helpers.h"

namespace wavenard::test {
namespace {

void ExpectSame(const TKindsRecord& AExpected, const TKindsRecord& AActual) {
  EXPECT_EQ(AActual.Tag(), AExpected.Tag());
  EXPECT_EQ(AActual.First, AExpected.First);
  EXPECT_EQ(AActual.Redeclared, AExpected.Redeclared);
  EXPECT_EQ(AActual.Integer, AExpected.Integer);
  EXPECT_EQ(AActual.Unsigned, AExpected.Unsigned);
  EXPECT_EQ(AActual.Big, AExpected.Big);
  EXPECT_EQ(AActual.Flag, AExpected.Flag);
  EXPECT_EQ(AActual.DefaultTrue, AExpected.DefaultTrue);
  EXPECT_EQ(AActual.Kind, AExpected.Kind);
  EXPECT_EQ(AActual.Permissions, AExpected.Permissions);
  EXPECT_EQ(AActual.Letter, AExpected.Letter);
  EXPECT_EQ(AActual.Single, AExpected.Single);
  EXPECT_EQ(AActual.Text, AExpected.Text);
  EXPECT_EQ(AActual.Always, AExpected.Always);
  EXPECT_EQ(AActual.Data, AExpected.Data);
  EXPECT_EQ(AActual.Link, AExpected.Link);
  EXPECT_EQ(AActual.Lines, AExpected.Lines);
  EXPECT_EQ(AActual.P.Size, AExpected.P.Size);
  EXPECT_EQ(AActual.P.Q.Name, AExpected.P.Q.Name);
  EXPECT_EQ(AActual.P.Q.Lines, AExpected.P.Q.Lines);
  const auto ExpectSameUsers = [](const TUsers& AExpectedUsers, const TUsers& AActualUsers) {
    ASSERT_EQ(AActualUsers.Count(), AExpectedUsers.Count());
    for (int I = 0; I < AExpectedUsers.Count(); ++I) {
      EXPECT_EQ(AActualUsers.Items(I).Username, AExpectedUsers.Items(I).Username);
      EXPECT_EQ(AActualUsers.Items(I).Permissions, AExpectedUsers.Items(I).Permissions);
      EXPECT_EQ(AActualUsers.Items(I).Params, AExpectedUsers.Items(I).Params);
    }
  };
  ExpectSameUsers(AExpected.Users, AActual.Users);
  ExpectSameUsers(AExpected.P.Users, AActual.P.Users);
}

TEST(ObjectTextRoundTrip, KeepsEveryStoredValueOfEveryKind) {
  TKindsRecord Written;
  Written.SetName(QStringLiteral("Kinds"));
  Written.SetTag(-3);
  Written.First = 1;
  Written.Redeclared = -7;
  Written.Integer = std::numeric_limits<qint32>::min();
  Written.Unsigned = 0x80000001;
  Written.Big = std::numeric_limits<qint64>::min();
  Written.Flag = true;
  Written.DefaultTrue = false;
  Written.Kind = TDevType::odNotUsed;
  Written.Permissions = 0b110;
  Written.Letter = QChar(0x20AC);
  Written.Single = 0.2F;
  Written.Double = 1.0 / 3;
  Written.Text = QString(100, u'y') + QStringLiteral("'\t\u00E9") + QString::fromUtf8("\xF0\x9F\x98\x80") +
                 QString(70, u'z');
  Written.Always = QString();
  Written.Data = QByteArray(70, '\xAB') + QByteArray(1, '\0');
  Written.Link = QStringLiteral("Owner.Part");
  Written.Lines = QStringList{QString(), QStringLiteral("It's"), QString(129, u'L')};
  Written.Users.Add().Permissions = 0b111;
  Written.Users.Items(1).Params = QStringList{QStringLiteral("-a"), QStringLiteral("-b")};
  Written.P.Size = 9;
  Written.P.Q.Name = QStringLiteral("inner");
  Written.P.Q.Lines = QStringList{QStringLiteral("one")};
  Written.P.Users.Add().Username = QStringLiteral("nested");

  const QByteArray Text = WriteObjectText(Written);
  TKindsRecord Read;
  ReadObjectText(Text, Read);
  EXPECT_EQ(Read.Name(), QStringLiteral("Kinds"));
  ExpectSame(Written, Read);
  // A double keeps 16 significant digits.
  EXPECT_NEAR(Read.Double, Written.Double, 1e-16);
  EXPECT_EQ(WriteObjectText(Read), Text);
}

TEST(ObjectTextRoundTrip, KeepsDoublesToSixteenSignificantDigits) {
  for (const double Value : {1e20, -1.2345678901234567e300, 123456.789, 4.9e-7, -0.5, 9999999999999999.0}) {
    TKindsRecord Written;
    Written.Double = Value;
    TKindsRecord Read;
    ReadObjectText(WriteObjectText(Written), Read);
    EXPECT_NEAR(Read.Double, Value, std::fabs(Value) * 1e-15 + 1e-18) << Value;
  }
}

// A value below the last of the 18 decimals is not written as zero, which would be left out the
// next time and come back as the constructor's value.
TEST(ObjectTextRoundTrip, KeepsValuesTooSmallForTheFixedForm) {
  const struct {
    const char* Line;
    double Expected;
  } Cases[] = {
      {"  Threshold = -1.5E-23\n", -1.5e-23},
      {"  Threshold = 4.9E-19\n", 4.9e-19},
      {"  Threshold = 2.2250738585072014E-308\n", std::numeric_limits<double>::min()},
      {"  Threshold = 4.9406564584124654E-324\n", std::numeric_limits<double>::denorm_min()},
      {"  Bandwidth = 1.401298464324817E-45\n", std::numeric_limits<float>::denorm_min()},
  };
  for (const auto& Case : Cases) {
    TSystemRecord First;
    ReadObjectText(Crlf("object TSystemIni\n") + Crlf(Case.Line) + Crlf("end\n"), First);
    const QByteArray Written = WriteObjectText(First);
    TSystemRecord Second;
    ReadObjectText(Written, Second);
    const double Read = QByteArray(Case.Line).contains("Bandwidth") ? Second.Bandwidth : Second.Threshold;
    EXPECT_NEAR(Read, Case.Expected, std::fabs(Case.Expected) * 1e-15) << Case.Line << Written.constData();
    EXPECT_EQ(WriteObjectText(Second), Written);
  }
}

TEST(ObjectTextRoundTrip, KeepsTheConnectionRecord) {
  TSettings Written;
  Written.SetServer(QStringLiteral("studio.example:80"));
  Written.SetPort(-1);
  Written.SetPass(QStringLiteral("p'\u00E4ss"));
  TSettings Read;
  ReadObjectText(WriteObjectText(Written), Read);
  EXPECT_EQ(Read.Server(), Written.Server());
  EXPECT_EQ(Read.Port(), -1);
  EXPECT_EQ(Read.User(), QString());
  EXPECT_EQ(Read.Pass(), Written.Pass());
}

// A value equal to its declared default is left out, so a fresh record gets its constructor's value
// back; the text read back keeps every line written and is stable from then on.
TEST(ObjectTextRoundTrip, ValuesLeftOutAsDefaultComeBackAsConstructed) {
  TSystemRecord First;
  ReadObjectText(
      Crlf("object TSystemIni\n  VSTFolder.Strings = (\n    'C:\\De'#4#0)\n  Bandwidth = 0.0\nend\n"), First);
  ASSERT_EQ(First.Bandwidth, 0.0F);
  const QByteArray Written = WriteObjectText(First);
  EXPECT_FALSE(Written.contains("Bandwidth"));

  TSystemRecord Second;
  ReadObjectText(Written, Second);
  EXPECT_EQ(Second.Bandwidth, 2.5F);
  EXPECT_EQ(*Second.VSTFolder, QStringList{QStringLiteral("C:\\De\x04") + QChar(0)});
  const QByteArray Again = WriteObjectText(Second);
  EXPECT_EQ(QByteArray(Again).replace("  Bandwidth = 2.500000000000000000\r\n", ""), Written);

  TSystemRecord Third;
  ReadObjectText(Again, Third);
  EXPECT_EQ(WriteObjectText(Third), Again);
}

// A name set through its property line may be any text; only one that reads back as the header's
// identifier goes into the header, so the file stays readable.
TEST(ObjectTextRoundTrip, WritesOnlyANameThatReadsBack) {
  const struct {
    QString Name;
    bool Written;
  } Cases[] = {
      {QStringLiteral("Main"), true},
      {QStringLiteral("_a1.b2"), true},
      {QStringLiteral("d\u00EA\u00EAp"), true},
      {QStringLiteral("d\u00EA-\u00EAp"), false},
      {QStringLiteral("two words"), false},
      {QStringLiteral("1st"), false},
      {QStringLiteral("a..b"), false},
      {QStringLiteral("a."), false},
      {QString(255, u'x'), true},
      {QString(256, u'x'), false},
  };
  for (const auto& Case : Cases) {
    TSettings Named;
    ReadObjectText("\xEF\xBB\xBFobject TSettings\r\n  Name = '" + Case.Name.toUtf8() + "'\r\nend\r\n", Named);
    ASSERT_EQ(Named.Name(), Case.Name);
    const QByteArray Text = WriteObjectText(Named);
    TSettings Read;
    ReadObjectText(Text, Read);
    EXPECT_EQ(Read.Name(), Case.Written ? Case.Name : QString()) << Text.constData();
  }
}

enum class TAccent { Plain, Accented };

class TAccentRecord final : public TComponent {
 public:
  TAccent Value = TAccent::Plain;
  const TPropertyTable& PropertyTable() const override {
    static const TPropertyTable Table(
        QStringLiteral("TAccentRecord"), &ComponentProperties(),
        {EnumProperty(QStringLiteral("Valeur\u00E9"), Field(&TAccentRecord::Value),
                      TEnumNames{QStringLiteral("Plain"), QStringLiteral("Accentu\u00E9")})});
    return Table;
  }
};

TEST(ObjectTextRoundTrip, KeepsNonAsciiIdentifiersInUtf8) {
  TAccentRecord Written;
  Written.Value = TAccent::Accented;
  const QByteArray Text = WriteObjectText(Written);
  EXPECT_TRUE(Text.startsWith("\xEF\xBB\xBF"));
  TAccentRecord Read;
  ReadObjectText(Text, Read);
  EXPECT_EQ(Read.Value, TAccent::Accented);
}

}  // namespace
}  // namespace wavenard::test
