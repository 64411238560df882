#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "config/connection_settings.h"
#include "config/failures.h"
#include "config/object_text.h"
#include "test_records.h"
#include "text_helpers.h"

namespace wavenard::test {
namespace {

struct TConnectionValues {
  QString Server;
  qint32 Port;
  QString User;
};

void Fill(TSettings& ARecord) {
  ARecord.SetServer(QStringLiteral("old"));
  ARecord.SetPort(1);
  ARecord.SetUser(QStringLiteral("u"));
}

TEST(ObjectTextReader, AppliesTextsOrRejectsThemWhole) {
  const QString LongValue(5000, u'x');
  const struct {
    QByteArray Text;
    // Either the failure message or the values afterwards (they start as "old", 1, "u").
    const char* Failure;
    TConnectionValues Values;
  } Cases[] = {
      {"object TSettings\n  port = 5\nend\n", nullptr, {"old", 5, "u"}},
      // The class name is not checked; a value of the wrong kind is skipped and reading goes on.
      {"object TOther\n  Server = 'new'\n  Port = 'abc'\n  User = 'x'\nend\n", nullptr, {"new", 1, "x"}},
      {"object TSettings\n  Colour = 3\n  Inputs = <\n    item\n      Foo = (1 2)\n    end>\n  Port = 2\nend",
       nullptr,
       {"old", 2, "u"}},
      {"object TSettings\n  Port = 1\n  Port = 7\n  Port = 2147483648\nend", nullptr, {"old", 7, "u"}},
      {"object TSettings\n  Port = $10\n  User = 5.0\nend", nullptr, {"old", 16, "u"}},
      {"object TSettings\n  Port = 5.0\n  Server = Foo.Bar\n  User = nil\nend", nullptr, {"old", 1, "u"}},
      {"object TSettings\n  Server = 'a' +\n    'b'#33 + #$41'''c'\nend", nullptr, {"ab!A'c", 1, "u"}},
      {"object TSettings\n  Server = ''\nend", nullptr, {"", 1, "u"}},
      {"inline Main: TSettings [3]\n  Port = 3\n  object Child: TX\n    Port = 9\n  end\nEND trailing 'text",
       nullptr,
       {"old", 3, "u"}},
      {"", "OBJECT expected on line 1", {}},
      {"\r\n\r\n", "OBJECT expected on line 3", {}},
      {"objekt TSettings\nend", "OBJECT expected on line 1", {}},
      {"object\n", "Identifier expected on line 2", {}},
      {"object TR\xE9sum\xE9\nend", "Identifier expected on line 1", {}},
      {"object TSettings [x]\nend", "Number expected on line 1", {}},
      {"object TSettings [1\nend", "']' expected on line 2", {}},
      {"object TSettings\n  Port 5\nend", "'=' expected on line 2", {}},
      {"object TSettings\n  Port = 5\n", "Identifier expected on line 3", {}},
      {"object TSettings\n  Port. = 5\nend", "Identifier expected on line 2", {}},
      // An unterminated quote rejects the lines before it too.
      {"object TSettings\n  Port = 2\n  Server = 'abc\n  User = 'x'\nend",
       "Invalid string constant on line 3",
       {}},
      {"object TSettings\n  Server = #\nend", "Invalid string constant on line 2", {}},
      {"object TSettings\n  Server = #65536\nend", "Invalid string constant on line 2", {}},
      {"object TSettings\n  Server = 'a' + 5\nend", "String expected on line 2", {}},
      {"object TSettings\n  Port = [a b]\nend", "',' expected on line 2", {}},
      {"object TSettings\n  Port = [a, 1.5]\nend", "Identifier expected on line 2", {}},
      {"object TSettings\n  Port = <\n    items\n    end>\nend", "item expected on line 3", {}},
      {"object TSettings\n  Port = {ABC}\nend", "Invalid binary value on line 2", {}},
      {"object TSettings\n  Port = {AB\nend", "Invalid binary value on line 3", {}},
      {"object TSettings\n  Port = ;\nend", "Invalid property value on line 2", {}},
      {"object TSettings\n  Port = (1\nend", "Invalid property value on line 3", {}},
      {"object TSettings\n  Port = 1\n  object X\n  end\n  Port = 2\nend", "OBJECT expected on line 5", {}},
      {"\xFF\xFEo\0b\0", "ANSI or UTF8 encoding expected on line 1", {}},
      {"\xFE\xFF\0o\0b", "ANSI or UTF8 encoding expected on line 1", {}},
      {"object TSettings\n  Port = 2\n  Server = '" + LongValue.toLatin1() + "'\nend",
       "Line too long on line 3",
       {}},
  };
  for (const auto& Case : Cases) {
    TSettings Record;
    Fill(Record);
    const QByteArray Text = QByteArray(Case.Text).replace("\n", "\r\n");
    if (Case.Failure != nullptr) {
      try {
        ReadObjectText(Text, Record);
        ADD_FAILURE() << "accepted: " << Case.Text.constData();
      } catch (const ESyntaxFailure& Failure) {
        EXPECT_EQ(Failure.Message(), QString::fromLatin1(Case.Failure)) << Case.Text.constData();
      }
      EXPECT_EQ(Record.Server(), QStringLiteral("old"));
      EXPECT_EQ(Record.Port(), 1);
      EXPECT_EQ(Record.User(), QStringLiteral("u"));
    } else {
      EXPECT_NO_THROW(ReadObjectText(Text, Record)) << Case.Text.constData();
      EXPECT_EQ(Record.Server(), Case.Values.Server) << Case.Text.constData();
      EXPECT_EQ(Record.Port(), Case.Values.Port) << Case.Text.constData();
      EXPECT_EQ(Record.User(), Case.Values.User) << Case.Text.constData();
    }
  }
}

TEST(ObjectTextReader, RefusesMalformedAndOversizedNumbersAsSyntax) {
  for (const char* Number :
       {"1-2", "-", "--1", "1E", "1.2.3", "99999999999999999999", "$", "$1FFFFFFFFFFFFFFFF", "1E999"}) {
    TSettings Record;
    try {
      ReadObjectText(QByteArray("object TSettings\r\n  Port = ") + Number + "\r\nend\r\n", Record);
      ADD_FAILURE() << "accepted: " << Number;
    } catch (const ESyntaxFailure& Failure) {
      EXPECT_EQ(Failure.Message(), QStringLiteral("Invalid property value on line 2")) << Number;
    }
  }
}

TEST(ObjectTextReader, RefusesALineFromFourThousandNinetyFiveBytes) {
  const auto TextWithLine = [](qsizetype ABytes) {
    QByteArray Line = "  Server = '";
    Line += QByteArray(ABytes - Line.size() - 2, 'x');
    Line += "'\r";
    return "object TSettings\r\n" + Line + "\nend\r\n";
  };
  TSettings Record;
  EXPECT_NO_THROW(ReadObjectText(TextWithLine(4094), Record));
  EXPECT_EQ(Record.Server().size(), 4094 - 14);
  EXPECT_THROW(ReadObjectText(TextWithLine(4095), Record), ESyntaxFailure);
}

TEST(ObjectTextReader, DecodesUtf8AfterItsMarkAndWindows1252Otherwise) {
  const struct {
    QByteArray Text;
    QString Server;
  } Cases[] = {
      {"object T\r\n  Server = 'caf\xE9 \x80'\r\nend", QStringLiteral("caf\u00E9 \u20AC")},
      {"\xEF\xBB\xBFobject T\r\n  Server = 'caf\xC3\xA9'\r\nend", QStringLiteral("caf\u00E9")},
      {"object T\r\n  Server = 'caf\xC3\xA9'\r\nend", QStringLiteral("caf\u00C3\u00A9")},
      {"\xEF\xBB\xBFobject T\xC3\xA9\xCC\x81_\xD9\xA3\r\n  Server = 'x'\r\nend", QStringLiteral("x")},
  };
  for (const auto& Case : Cases) {
    TSettings Record;
    ReadObjectText(Case.Text, Record);
    EXPECT_EQ(Record.Server(), Case.Server);
  }
}

TEST(ObjectTextReader, TakesTheHeaderNameAsTheRecordName) {
  TSettings Record;
  ReadObjectText("object Main: TSettings\r\nend\r\n", Record);
  EXPECT_EQ(Record.Name(), QStringLiteral("Main"));
  ReadObjectText("object TSettings\r\nend\r\n", Record);
  EXPECT_EQ(Record.Name(), QStringLiteral("Main"));
}

TEST(ObjectTextReader, AppliesEveryKindAndIgnoresValuesThatDoNotFit) {
  TKindsRecord Record;
  ReadObjectText(Crlf("object TKindsRecord\n"
                      "  Integer = -5\n"
                      "  Unsigned = -1\n"
                      "  Big = 9223372036854775807\n"
                      "  Flag = true\n"
                      "  DefaultTrue = FALSE\n"
                      "  Kind = ODREGULAR\n"
                      "  Permissions = [upRemoteAds, nosuch, 3, 'a', upAdmin]\n"
                      "  Letter = 'z'\n"
                      "  Single = 2\n"
                      "  Double = 1.5E3\n"
                      "  Text = 'it''s'\n"
                      "  Data = {0a0B 0C\n"
                      "    0D}\n"
                      "  Link = Some.Where\n"
                      "  Lines.Strings = ('a' 'b')\n"
                      "  P.Q.Name = 'deep'\n"
                      "  p.q.lines.strings = ('x')\n"
                      "  P . Size = 4\n"
                      "  Hidden = 3\n"
                      "  Computed = 9\n"
                      "  Kind = odUnknown\n"
                      "  Flag = 1\n"
                      "  Letter = 'ab'\n"
                      "  Single = 1E300\n"
                      "  Double = 1.5s\n"
                      "  Integer = 2147483648\n"
                      "  Text = Ident\n"
                      "  P.Missing.Name = 'x'\n"
                      "  P.Size.X = 1\n"
                      "  Lines = ('c')\n"
                      "  Users.Strings = ('c')\n"
                      "end\n"),
                 Record);
  EXPECT_EQ(Record.Integer, -5);
  EXPECT_EQ(Record.Unsigned, 0xFFFFFFFFU);
  EXPECT_EQ(Record.Big, 9223372036854775807LL);
  EXPECT_TRUE(Record.Flag);
  EXPECT_FALSE(Record.DefaultTrue);
  EXPECT_EQ(Record.Kind, TDevType::odRegular);
  EXPECT_EQ(Record.Permissions, 0b101U);
  EXPECT_EQ(Record.Letter, u'z');
  EXPECT_EQ(Record.Single, 2.0F);
  EXPECT_EQ(Record.Double, 1500.0);
  EXPECT_EQ(Record.Text, QStringLiteral("it's"));
  EXPECT_EQ(Record.Data, QByteArray::fromHex("0A0B0C0D"));
  EXPECT_EQ(Record.Link, QStringLiteral("Some.Where"));
  EXPECT_EQ(Record.Lines, QStringList({QStringLiteral("a"), QStringLiteral("b")}));
  EXPECT_EQ(Record.P.Q.Name, QStringLiteral("deep"));
  EXPECT_EQ(Record.P.Q.Lines, QStringList{QStringLiteral("x")});
  EXPECT_EQ(Record.P.Size, 4);
  EXPECT_EQ(Record.Hidden, 3);  // not stored, but writable
  EXPECT_EQ(Record.Computed, 0);
}

TEST(ObjectTextReader, ReplacesCollectionsUnlessTheValueIsEmpty) {
  TSystemRecord Record;
  Record.Inputs->Clear();
  Record.Inputs->Add().DeviceID = QStringLiteral("kept");
  ReadObjectText("object TSystemIni\r\n  Inputs = <>\r\nend\r\n", Record);
  ASSERT_EQ(Record.Inputs->Count(), 1);
  EXPECT_EQ(Record.Inputs->Items(0).DeviceID, QStringLiteral("kept"));

  // New items start from the item class's construction values; unknown names inside are skipped.
  ReadObjectText(Crlf("object TSystemIni\n"
                      "  Inputs = <\n"
                      "    item [0]\n"
                      "      Stereo = True\n"
                      "      Unknown = 'x'\n"
                      "    end\n"
                      "    item\n"
                      "    end>\n"
                      "end\n"),
                 Record);
  ASSERT_EQ(Record.Inputs->Count(), 2);
  EXPECT_TRUE(Record.Inputs->Items(0).Stereo);
  EXPECT_EQ(Record.Inputs->Items(0).DeviceID, QString());
  EXPECT_EQ(Record.Inputs->Items(0).Method, -1);
  EXPECT_EQ(Record.Inputs->Items(1).Index(), 1);
}

TEST(ObjectTextReader, ReplacesStringListsAndFailsOnAStringsEntryOfOtherValues) {
  TSystemRecord Record;
  *Record.VSTFolder = QStringList{QStringLiteral("a")};
  ReadObjectText("object TSystemIni\r\n  VSTFolder.Strings = ()\r\nend\r\n", Record);
  EXPECT_TRUE(Record.VSTFolder->isEmpty());

  for (const char* Value : {"('a' 5)", "'a'", "<>"}) {
    TSystemRecord Failed;
    try {
      ReadObjectText(QByteArray("object TSystemIni\r\n  Bandwidth = 1\r\n  VSTFolder.Strings = ") + Value +
                         "\r\n  Threshold = 1\r\nend\r\n",
                     Failed);
      ADD_FAILURE() << "accepted: " << Value;
    } catch (const EFileFailure& Failure) {
      EXPECT_EQ(Failure.Message(), QStringLiteral("Error reading VSTFolder.Strings: Invalid property value"));
    }
    // Lines before the entry stay applied, the rest is not.
    EXPECT_EQ(Failed.Bandwidth, 1.0F);
    EXPECT_EQ(Failed.Threshold, -10.0);
  }
}

TEST(ObjectTextReader, GivesValuesLeftOutAsDefaultTheirConstructionValues) {
  TSystemRecord Written;
  Written.VSTFolder->clear();
  Written.Inputs->Clear();
  Written.Bandwidth = 0;
  Written.UserAgent.clear();
  TKindsRecord WrittenKinds;
  WrittenKinds.Big = -1;  // equal to its declared default, not to its construction value
  WrittenKinds.Single = 0.5F;

  TSystemRecord Read;
  *Read.VSTFolder = QStringList{QStringLiteral("C:\\VST")};
  ReadObjectText(WriteObjectText(Written), Read);
  EXPECT_EQ(*Read.VSTFolder, QStringList{QStringLiteral("C:\\VST")});
  EXPECT_EQ(Read.Inputs->Count(), 2);
  EXPECT_EQ(Read.Bandwidth, 2.5F);
  EXPECT_EQ(Read.UserAgent, QStringLiteral("Quorvane"));
  TKindsRecord ReadKinds;
  ReadObjectText(WriteObjectText(WrittenKinds), ReadKinds);
  EXPECT_EQ(ReadKinds.Big, 0);
  EXPECT_EQ(ReadKinds.Single, 0.5F);
}

TEST(ObjectTextReader, NeverFailsOtherThanBySyntaxOnDamagedTexts) {
  TKindsRecord Source;
  Source.Text = QString(70, u'q') + QStringLiteral("\r\n'");
  Source.Lines = QStringList{QStringLiteral("a"), QString(80, u'b')};
  Source.Data = QByteArray(40, '\x11');
  Source.P.Users.Add().Params = QStringList{QStringLiteral("p")};
  Source.Double = 1e20;
  const QByteArray Text = WriteObjectText(Source);
  const auto Read = [](const QByteArray& AText) {
    TKindsRecord Record;
    try {
      ReadObjectText(AText, Record);
    } catch (const ESettingsFailure&) {
    }
  };
  for (qsizetype Length = 0; Length <= Text.size(); ++Length) {
    Read(Text.left(Length));
  }
  for (qsizetype At = 0; At < Text.size(); ++At) {
    for (const char Byte : {'\'', '\n', '(', '<', '{', '#', '$', '-', '.', '\0', '\x80'}) {
      QByteArray Damaged = Text;
      Damaged[At] = Byte;
      Read(Damaged);
    }
  }
  for (const char* Opening : {"(", "<item X = ", "[", "object X "}) {
    QByteArray Deep = "object TKindsRecord\r\n  Lines = ";
    for (int I = 0; I < 100000; ++I) {
      Deep += Opening;
    }
    TKindsRecord Record;
    EXPECT_THROW(ReadObjectText(Deep, Record), ESyntaxFailure) << Opening;
  }
}

TEST(ObjectTextReader, AppliesARecordUnderItsLockSoReadersNeverSeeAMix) {
  TSettings Record;
  const QByteArray Texts[] = {
      "object TSettings\r\n  Server = 'a'\r\n  Port = 1\r\n  User = 'a'\r\n  Pass = 'a'\r\nend\r\n",
      "object TSettings\r\n  Server = 'b'\r\n  Port = 2\r\n  User = 'b'\r\n  Pass = 'b'\r\nend\r\n",
  };
  ReadObjectText(Texts[0], Record);
  std::atomic<bool> Done = false;
  std::atomic<int> Mixed = 0;
  std::thread Reader([&] {
    while (!Done) {
      const auto Seen = Record.Snapshot();
      const bool A = Seen.Server == u"a";
      if ((Seen.Port == 1) != A || (Seen.User == u"a") != A || (Seen.Pass == u"a") != A) {
        ++Mixed;
      }
    }
  });
  for (int I = 0; I < 2000; ++I) {
    ReadObjectText(Texts[I % 2], Record);
  }
  Done = true;
  Reader.join();
  EXPECT_EQ(Mixed, 0);
}

}  // namespace
}  // namespace wavenard::test
