// The installer's INI files as they come from disk, damaged or not.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "config/ini_file.h"

using namespace wavenard;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const QByteArray Content(reinterpret_cast<const char*>(AData), static_cast<qsizetype>(ASize));
  const TIniFile Ini(Content);
  // The lookups the program makes, plus ones that take their names from the text itself.
  volatile qsizetype Sink = Ini.ReadString(QStringLiteral("Settings"), QStringLiteral("Port")).size();
  Sink =
      Sink + Ini.ReadString(QStringLiteral("settings"), QStringLiteral("server"), QStringLiteral("x")).size();
  Sink = Sink + Ini.ReadString(QString(), QString()).size();
  const qsizetype Half = Content.size() / 2;
  Sink =
      Sink +
      Ini.ReadString(QString::fromLatin1(Content.left(Half)), QString::fromLatin1(Content.mid(Half))).size();
  return 0;
}
