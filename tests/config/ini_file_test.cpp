#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRandomGenerator>

#include "config/failures.h"
#include "tests/config/qt_print.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

struct TIniCase {
  const char* Case;
  QByteArray Content;
  const char* Section;
  const char* Key;
  QString Expected;  // "<default>" when the caller's default comes back
};

const QString Default = QStringLiteral("<default>");

TEST(IniFile, ReadsByTheInstallersRules) {
  const TIniCase Cases[] = {
      {"crlf", "[Settings]\r\nUID=7\r\nAllusers=A\r\n", "Settings", "Allusers", "A"},
      {"utf8 mark",
       "\xEF\xBB\xBF[Setup]\nLanguage=Fran\xC3\xA7"
       "ais\n",
       "Setup", "Language", u"Français"_qs},
      {"utf16le mark", QByteArray("\xFF\xFE[\0S\0]\0\n\0K\0=\0\xAC\x20", 16), "S", "K", u"€"_qs},
      {"utf16be mark", QByteArray("\xFE\xFF\0[\0S\0]\0\n\0K\0=\x20\xAC", 16), "S", "K", u"€"_qs},
      {"windows-1252",
       "[Setup]\nLanguage=Fran\xE7"
       "ais \x80\n",
       "Setup", "Language", u"Français €"_qs},
      {"utf8 without mark is 8-bit", "[S]\nK=\xC3\xA9", "S", "K", u"Ã©"_qs},
      {"trimmed lines and names", " \t[ Settings ] \t\r\n\t UID \t=  7 \x01\r\n", "settings", "uid", "7"},
      {"comment", "[S]\n;K=1\n  ;K=2\nK=3", "S", "K", "3"},
      {"before the first section", "K=1\n[S]\n", "S", "K", Default},
      {"second occurrence ignored", "[S]\nA=1\n[T]\n[s]\nB=2\nA=3", "S", "B", Default},
      {"first occurrence kept", "[S]\nA=1\n[T]\n[s]\nB=2\nA=3", "S", "A", "1"},
      {"non-ASCII names match without case", "[\xC4rger]\nK=1\n[\xE4RGER]\nK=2", "\xC3\xA4rger", "k", "1"},
      {"first of a key", "[S]\nK=1\nk=2", "S", "K", "1"},
      {"key without value", "[S]\nK\nK=2", "S", "K", Default},
      {"empty value", "[S]\nK=", "S", "K", ""},
      {"equals in value", "[S]\nK = a = b", "S", "K", "a = b"},
      {"cr line ends", "[S]\rA=1\rK=2\r", "S", "K", "2"},
      {"lone bracket is an entry", "[S]\n[\nK=1", "S", "[", Default},
      {"empty section name", "[]\nK=1", "", "K", "1"},
      {"missing section", "[S]\nK=1", "T", "K", Default},
      {"missing key", "[S]\nK=1", "S", "L", Default},
      {"empty text", "", "S", "K", Default},
  };
  for (const TIniCase& Case : Cases) {
    EXPECT_EQ(TIniFile(Case.Content).ReadString(Case.Section, Case.Key, Default), Case.Expected) << Case.Case;
  }
}

TEST(IniFile, AMissingFileReadsAsEmptyAndAnUnreadableOneFails) {
  test::TTempFolder Folder;
  EXPECT_EQ(TIniFile::Load(Folder.File("uid.ini")).ReadString("Settings", "UID", "none"), "none");
  Folder.Write("uid.ini", "[Settings]\r\nUID=3\r\n");
  EXPECT_EQ(TIniFile::Load(Folder.File("uid.ini")).ReadString("Settings", "UID"), "3");
  ASSERT_TRUE(QDir(Folder.Path()).mkdir("setup.ini"));
  EXPECT_THROW(TIniFile::Load(Folder.File("setup.ini")), EFileFailure);
}

// Whatever bytes a file holds, the reader neither fails nor lets them reach what lies around
// them: a section read before the bytes keeps its entry, and one after them is found (unless a
// UTF-16 mark makes the whole file UTF-16).
TEST(IniFile, TakesAnyBytes) {
  // Bytes that mean something to the reader, mixed with every other byte, with and without marks.
  static constexpr char Meaningful[] = "[]=;\r\n \t\xEF\xBB\xBF\xFF\xFE";
  const QByteArray Probe = "[Probe 4711]\nKey=Value\n";
  QRandomGenerator Random(4711);
  for (int Round = 0; Round < 3000; ++Round) {
    QByteArray Content(static_cast<qsizetype>(Random.bounded(200)), '\0');
    for (char& Byte : Content) {
      Byte = Random.bounded(2) == 0 ? Meaningful[Random.bounded(int(sizeof Meaningful - 1))]
                                    : static_cast<char>(Random.bounded(256));
    }
    EXPECT_EQ(TIniFile(Probe + Content).ReadString("Probe 4711", "Key"), "Value") << Content.toHex().data();
    if (!Content.startsWith("\xFF\xFE") && !Content.startsWith("\xFE\xFF")) {
      EXPECT_EQ(TIniFile(Content + "\n" + Probe).ReadString("Probe 4711", "Key"), "Value")
          << Content.toHex().data();
    }
  }
}

}  // namespace
}  // namespace wavenard
