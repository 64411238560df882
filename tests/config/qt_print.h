#pragma once

#include <QString>
#include <QStringList>
#include <ostream>

// Readable failure output for Qt's texts; found by argument-dependent lookup in Qt's namespace.
inline void PrintTo(const QString& AText, std::ostream* AStream) {
  *AStream << '"' << AText.toStdString() << '"';
}

inline void PrintTo(const QStringList& AList, std::ostream* AStream) {
  *AStream << '{';
  for (const QString& Text : AList) {
    *AStream << ' ';
    PrintTo(Text, AStream);
  }
  *AStream << " }";
}
