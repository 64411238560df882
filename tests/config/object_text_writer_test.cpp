#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "config/connection_settings.h"
#include "config/object_text.h"
#include "test_records.h"
#include "tests/config/settings_lock_probe.h"
#include "text_helpers.h"

namespace wavenard::test {
namespace {

class TTextRecord final : public TComponent {
 public:
  QString Settings;
  QStringList List;

  const TPropertyTable& PropertyTable() const override {
    static const TPropertyTable Table(
        QStringLiteral("TTextRecord"), &ComponentProperties(),
        {
            StringProperty(QStringLiteral("Settings"), Field(&TTextRecord::Settings)),
            StringListProperty(QStringLiteral("List"), &TTextRecord::List),
        });
    return Table;
  }
};

TEST(ObjectTextWriter, WritesTheConnectionRecordWithoutEmptyOrDefaultValues) {
  TSettings Record;
  Record.SetServer(QStringLiteral("studiohost"));
  Record.SetPort(8080);
  Record.SetUser(QStringLiteral("presenter"));
  EXPECT_EQ(WriteObjectText(Record), Crlf("object TSettings\n"
                                          "  Server = 'studiohost'\n"
                                          "  Port = 8080\n"
                                          "  User = 'presenter'\n"
                                          "end\n"));

  // A port of 0 has no declared default and is still written; a name goes into the header.
  TSettings Empty;
  Empty.SetName(QStringLiteral("Main"));
  EXPECT_EQ(WriteObjectText(Empty), Crlf("object Main: TSettings\n  Port = 0\nend\n"));
}

// Long values keep the writer busy between two values, so another thread that changes the record
// meanwhile would surely be seen in a writer that does not hold the lock throughout.
TEST(ObjectTextWriter, WritesARecordUnderItsLockSoTheTextIsNeverAMix) {
  TSettings Record;
  const QString Values[] = {QString(20000, u'a'), QString(20000, u'b')};
  const auto Set = [&](int AIndex) {
    Record.Assign({Values[AIndex], AIndex, Values[AIndex], Values[AIndex]});
  };
  Set(1);
  const QByteArray TextB = WriteObjectText(Record);
  Set(0);
  const QByteArray TextA = WriteObjectText(Record);
  bool Released = false;
  std::thread([&] { Released = TSettingsLockProbe::CouldTake(Record); }).join();
  ASSERT_TRUE(Released) << "the write keeps the record locked";

  std::atomic<bool> Done = false;
  std::atomic<int> Changes = 0;
  std::thread Changer([&] {
    for (int I = 0; !Done; ++I) {
      Set(I % 2);
      ++Changes;
    }
  });
  int Mixed = 0;
  // Written on until the record has also changed often meanwhile.
  for (int I = 0; I < 200 || Changes < 2000; ++I) {
    const QByteArray Text = WriteObjectText(Record);
    if (Text != TextA && Text != TextB) {
      ++Mixed;
    }
  }
  Done = true;
  Changer.join();
  EXPECT_EQ(Mixed, 0);
}

TEST(ObjectTextWriter, SplitsStringsIntoQuotedRunsAndCodes) {
  const QString X64(64, u'x');
  const struct {
    QString Value;
    const char* Line;
  } Cases[] = {
      {QStringLiteral("It's"), "  Settings = 'It'#39's'\n"},
      {QStringLiteral("first\r\nsecond"), "  Settings = 'first'#13#10'second'\n"},
      {QStringLiteral("caf\u00E9"), "  Settings = 'caf'#233\n"},
      {QString::fromUtf8("\xF0\x9F\x98\x80!"), "  Settings = #55357#56832'!'\n"},
      {X64, "  Settings = 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx'\n"},
      {X64 + u'x',
       "  Settings = \n"
       "    'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx' +\n"
       "    'x'\n"},
      // A code counts as one unit of its line: the quote fills the first line.
      {QString(63, u'a') + QStringLiteral("''b"),
       "  Settings = \n"
       "    'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa'#39 +\n"
       "    #39'b'\n"},
      {X64 + X64 + QStringLiteral("yz"),
       "  Settings = \n"
       "    'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx' +\n"
       "    'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx' +\n"
       "    'yz'\n"},
  };
  for (const auto& Case : Cases) {
    TTextRecord Record;
    Record.Settings = Case.Value;
    const QByteArray Expected = Crlf("object TTextRecord\n") + Crlf(Case.Line) + Crlf("end\n");
    EXPECT_EQ(WriteObjectText(Record), Expected) << Case.Line;
  }
}

TEST(ObjectTextWriter, WritesStringListsWithLongElementsOnTheirOwnLines) {
  TTextRecord Record;
  Record.List = {QStringLiteral("short"), QString(), QString(65, u'x')};
  EXPECT_EQ(WriteObjectText(Record),
            Crlf("object TTextRecord\n"
                 "  List.Strings = (\n"
                 "    'short'\n"
                 "    ''\n"
                 "    \n"
                 "      'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx' +\n"
                 "      'x')\n"
                 "end\n"));

  Record.List.clear();
  EXPECT_EQ(WriteObjectText(Record), Crlf("object TTextRecord\nend\n"));
}

TEST(ObjectTextWriter, WritesStringListsCollectionsAndFloatsOfASystemRecord) {
  TSystemRecord Record;
  *Record.VSTFolder = QStringList{QStringLiteral("C:\\Plugins\\VST"), QStringLiteral("D:\\Effects")};
  Record.Inputs->Clear();
  TInput& Microphone = Record.Inputs->Add();
  Microphone.DevType = TDevType::odRegular;
  Microphone.Method = 1;
  Microphone.DeviceID = QStringLiteral(":default");
  Microphone.Stereo = true;
  Record.Inputs->Add().DevType = TDevType::odRegular;
  EXPECT_EQ(WriteObjectText(Record), Crlf("object TSystemIni\n"
                                          "  VSTFolder.Strings = (\n"
                                          "    'C:\\Plugins\\VST'\n"
                                          "    'D:\\Effects')\n"
                                          "  Inputs = <\n"
                                          "    item\n"
                                          "      DevType = odRegular\n"
                                          "      Method = 1\n"
                                          "      DeviceID = ':default'\n"
                                          "      MixerSrc = 0\n"
                                          "      Stereo = True\n"
                                          "      KeepAlive = False\n"
                                          "    end\n"
                                          "    item\n"
                                          "      DevType = odRegular\n"
                                          "      Method = -1\n"
                                          "      MixerSrc = 0\n"
                                          "      Stereo = False\n"
                                          "      KeepAlive = False\n"
                                          "    end>\n"
                                          "  Bandwidth = 2.500000000000000000\n"
                                          "  Threshold = -10.000000000000000000\n"
                                          "  UserAgent = 'Quorvane'\n"
                                          "end\n"));

  // Emptied, the list has no line and the collection is "<>"; zero floats and empty strings none.
  Record.VSTFolder->clear();
  Record.Inputs->Clear();
  Record.Bandwidth = 0;
  Record.Threshold = 0;
  Record.UserAgent.clear();
  Record.ArtworkSize = 0;
  EXPECT_EQ(WriteObjectText(Record), Crlf("object TSystemIni\n  Inputs = <>\n  ArtworkSize = 0\nend\n"));
}

TEST(ObjectTextWriter, RoundsFloatsToSixteenDigitsAndEighteenDecimals) {
  const struct {
    double Value;
    bool Single;
    const char* Text;
  } Cases[] = {
      {2.5, false, "2.500000000000000000"},
      {-10, false, "-10.000000000000000000"},
      {0.2, true, "0.200000002980232200"},
      {0.1, false, "0.100000000000000000"},
      {1.0 / 3, false, "0.333333333333333300"},
      {123456.789, false, "123456.789000000000000000"},
      {9999999999999998.0, false, "9999999999999998.000000000000000000"},
      {1.2345678901234567e-5, false, "0.000012345678901235"},
      {5e-19, false, "0.000000000000000001"},
      // Too small for the decimals: kept in the exponent form rather than written as zero.
      {1e-20, false, "9.999999999999999E-21"},
      {-2.5e-19, false, "-2.5E-19"},
      {1e-30, true, "1.000000003171077E-30"},
      {1e20, false, "1E20"},
      {1.5e20, false, "1.5E20"},
      {1.5e20, true, "1.500000030061316E20"},
      {-1e16, false, "-1E16"},
      {123456789012345678.0, false, "1.234567890123457E17"},
  };
  for (const auto& Case : Cases) {
    TKindsRecord Record;
    if (Case.Single) {
      Record.Single = static_cast<float>(Case.Value);
    } else {
      Record.Double = Case.Value;
    }
    const QByteArray Text = WriteObjectText(Record);
    const QByteArray Line = QByteArray(Case.Single ? "  Single = " : "  Double = ") + Case.Text + "\r\n";
    EXPECT_TRUE(Text.contains(Line)) << Case.Text << "\n" << Text.constData();
  }
}

TEST(ObjectTextWriter, WritesEveryOrdinalKindAndLeavesOutDeclaredDefaults) {
  TKindsRecord Record;
  EXPECT_EQ(WriteObjectText(Record), Crlf("object TKindsRecord\n"
                                          "  First = 0\n"
                                          "  Redeclared = 0\n"
                                          "  Integer = 0\n"
                                          "  Unsigned = 0\n"
                                          "  Big = 0\n"
                                          "  Flag = False\n"
                                          "  Kind = odMixer\n"
                                          "  Permissions = []\n"
                                          "  Always = ''\n"
                                          "  Users = <\n"
                                          "    item\n"
                                          "      Username = 'first'\n"
                                          "      Permissions = []\n"
                                          "    end>\n"
                                          "  P.Users = <>\n"
                                          "end\n"));

  Record.Redeclared = 7;
  Record.Integer = -2147483647 - 1;
  Record.Unsigned = 0xFFFFFFFF;
  Record.Big = -1;
  Record.Flag = true;
  Record.DefaultTrue = false;
  Record.Kind = TDevType::odNotUsed;
  Record.Permissions = 0b100011;  // the member beyond the enumeration is dropped
  Record.Letter = u'\'';
  Record.Data = QByteArray::fromHex("0A0BFF");
  Record.Link = QStringLiteral("Other.Part");
  Record.Users.Clear();
  Record.Hidden = 5;
  Record.Computed = 6;
  EXPECT_EQ(WriteObjectText(Record), Crlf("object TKindsRecord\n"
                                          "  First = 0\n"
                                          "  Integer = -2147483648\n"
                                          "  Unsigned = -1\n"
                                          "  Flag = True\n"
                                          "  DefaultTrue = False\n"
                                          "  Kind = odNotUsed\n"
                                          "  Permissions = [upAdmin, upPlaylist]\n"
                                          "  Letter = #39\n"
                                          "  Always = ''\n"
                                          "  Data = {0A0BFF}\n"
                                          "  Link = Other.Part\n"
                                          "  Users = <>\n"
                                          "  P.Users = <>\n"
                                          "end\n"));
}

TEST(ObjectTextWriter, WritesNestedObjectsWithPrefixesAndLongBinaryDataOnLines) {
  TKindsRecord Record;
  Record.Users.Clear();
  Record.P.Size = 3;
  Record.P.Q.Name = QStringLiteral("n");
  Record.P.Q.Lines = QStringList{QStringLiteral("l")};
  TUser& User = Record.P.Users.Add();
  User.Username = QStringLiteral("u");
  User.Params = QStringList{QStringLiteral("-x")};
  Record.Data = QByteArray(40, '\x5A');
  const QByteArray Text = WriteObjectText(Record);
  EXPECT_TRUE(
      Text.contains(Crlf("  Data = {\n"
                         "    5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A\n"
                         "    5A5A5A5A5A5A5A5A}\n")))
      << Text.constData();
  EXPECT_TRUE(
      Text.endsWith(Crlf("  Users = <>\n"
                         "  P.Size = 3\n"
                         "  P.Q.Name = 'n'\n"
                         "  P.Q.Lines.Strings = (\n"
                         "    'l')\n"
                         "  P.Users = <\n"
                         "    item\n"
                         "      Username = 'u'\n"
                         "      Permissions = []\n"
                         "      Params.Strings = (\n"
                         "        '-x')\n"
                         "    end>\n"
                         "end\n")))
      << Text.constData();
}

class TAccentedRecord final : public TComponent {
 public:
  QString Text = QStringLiteral("caf\u00E9");
  const TPropertyTable& PropertyTable() const override {
    static const TPropertyTable Table(
        QStringLiteral("TR\u00E9sum\u00E9"), &ComponentProperties(),
        {StringProperty(QStringLiteral("Text"), Field(&TAccentedRecord::Text))});
    return Table;
  }
};

TEST(ObjectTextWriter, MarksUtf8OnlyWhenAnIdentifierIsNotAscii) {
  TAccentedRecord Record;
  EXPECT_EQ(WriteObjectText(Record),
            "\xEF\xBB\xBF" + Crlf("object TR\xC3\xA9sum\xC3\xA9\n  Text = 'caf'#233\nend\n"));

  TTextRecord Plain;
  Plain.Settings = QStringLiteral("\u00E9\u20AC");
  EXPECT_EQ(WriteObjectText(Plain), Crlf("object TTextRecord\n  Settings = #233#8364\nend\n"));
}

}  // namespace
}  // namespace wavenard::test
