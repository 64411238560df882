#pragma once

#include <QString>
#include <iterator>

namespace wavenard::bench {

// A station's playlist answer of ATracks tracks with thirteen attributes each, as a real station
// sends them, with the odd reference and non-ASCII letter.
inline QString MakePlaylistAnswer(int ATracks) {
  static const char* const Artists[] = {
      "Simon &amp; Garfunkel",
      "Beyonc\xc3\xa9",
      "The Beatles",
      "Guns N&apos; Roses",
      "Sigur R&#243;s",
      "AC/DC",
      "Earth, Wind &amp; Fire",
      "M\xc3\xb6tley Cr\xc3\xbc"
      "e",
  };
  QString Text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<PLAYLIST>\r\n");
  for (int I = 0; I < ATracks; ++I) {
    const QString Artist = QString::fromUtf8(Artists[I % std::size(Artists)]);
    const QString Title = QStringLiteral("Song number %1").arg(I);
    Text +=
        QStringLiteral(
            "<TRACK ID=\"%1\" POS=\"%2\" TYPE=\"0\" FILENAME=\"D:\\Music\\Rotation\\%3 - %4.mp3\" "
            "ARTIST=\"%3\" TITLE=\"%4\" CASTTITLE=\"%3 - %4\" DURATION=\"03:%5\" "
            "STARTTIME=\"2024-06-11 14:%6:%7\" INTRO=\"12.5\" OUTRO=\"4.2\" GENRE=\"Pop\" YEAR=\"%8\" />\r\n")
            .arg(100000 + I)
            .arg(I + 1)
            .arg(Artist, Title)
            .arg(I % 60, 2, 10, QChar(u'0'))
            .arg((I / 60) % 60, 2, 10, QChar(u'0'))
            .arg(I % 60, 2, 10, QChar(u'0'))
            .arg(1960 + I % 64);
  }
  Text += QStringLiteral("</PLAYLIST>\r\n");
  return Text;
}

}  // namespace wavenard::bench
